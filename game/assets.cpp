// Asset loading: every picture, sprite, font and sound of the game, once, at
// start-up, from the mounted resource image.
//
// The order of the calls fixes the sprite registry's indices and the bitmap
// slots that CGL_LoadSprite takes, so it is kept exactly. No result is
// tested: each loader reports its own failures and the loading goes on.
// Depends on: cgl (bitmaps, sprites, fonts), sound (WAV sounds, music).
#include "game/assets.h"

s_bitmap bmp_background;
s_sprite spr_title;
s_font font_game;
s_font font_game2;
s_sprite spr_player[3];
s_sprite spr_minimap;
s_bitmap bmp_miniplanets;
s_sprite spr_miniplanets[5];
s_sprite spr_planet[8];
s_bitmap bmp_star;
s_sprite spr_star[8];
s_bitmap bmp_sparkle;
s_sprite spr_sparkle[32];
s_bitmap bmp_chain;
s_sprite spr_chain[8];
s_bitmap bmp_bgstar;
s_sprite spr_bgstar[4];
s_bitmap bmp_explosion;
s_sprite spr_explode[8];

s_sound gamemusic;
s_sound snd_explode;
s_sound snd_pickup;
s_sound snd_pressstart;
s_sound snd_select;
s_sound snd_slingshot;

// All cells cut from sheets are 8 by 8.
static const int kCell = 8;

// Cuts `count` cells of one row of a sheet, left to right.
static void CutRow(s_bitmap *sheet, int row, int count, s_sprite *cells) {
    for (int i = 0; i < count; i++)
        CGL_GetSprite(i * kCell, row * kCell, kCell, kCell, sheet, &cells[i]);
}

void LoadGraphics() {
    CGL_LoadBitmap("spacebg.tga", &bmp_background);
    CGL_LoadSprite("titlelogo64.tga", &spr_title);
    CGL_InitFont("font_game.tga", &font_game);
    CGL_InitFont("font_game2.tga", &font_game2);

    // One picture for all three turning states: the ship looks the same
    // latched and free.
    for (s_sprite &ship : spr_player) CGL_LoadSprite("ship.tga", &ship);

    CGL_LoadSprite("minimap3.tga", &spr_minimap);
    CGL_LoadBitmap("miniplanets.tga", &bmp_miniplanets);
    CutRow(&bmp_miniplanets, 0, 5, spr_miniplanets);

    // Slots 4 to 7 stay empty.
    CGL_LoadSprite("planet1.tga", &spr_planet[0]);
    CGL_LoadSprite("planet1b.tga", &spr_planet[1]);
    CGL_LoadSprite("planet2.tga", &spr_planet[2]);
    CGL_LoadSprite("planet2b.tga", &spr_planet[3]);

    CGL_LoadBitmap("stars2.tga", &bmp_star);
    CutRow(&bmp_star, 0, 8, spr_star);

    // Colour i, variant j is entry i * 4 + j.
    CGL_LoadBitmap("stardots.tga", &bmp_sparkle);
    for (int i = 0; i < 8; i++) CutRow(&bmp_sparkle, i, 4, &spr_sparkle[i * 4]);

    CGL_LoadBitmap("chaindots3.tga", &bmp_chain);
    CutRow(&bmp_chain, 0, 8, spr_chain);

    // The same sheet again, in a bitmap of its own: the background stars are
    // its second row (the sparkles of colour 1), layer 0 the brightest.
    CGL_LoadBitmap("stardots.tga", &bmp_bgstar);
    CutRow(&bmp_bgstar, 1, 4, spr_bgstar);

    CGL_LoadBitmap("explode.tga", &bmp_explosion);
    CutRow(&bmp_explosion, 0, 8, spr_explode);
}

void LoadSounds() {
    Soundsystem_LoadSound("qomusic.wav", &gamemusic);
    Soundsystem_LoadSound("explode.wav", &snd_explode);
    Soundsystem_LoadSound("pickup.wav", &snd_pickup);
    Soundsystem_LoadSound("pressstart.wav", &snd_pressstart);
    Soundsystem_LoadSound("select.wav", &snd_select);
    Soundsystem_LoadSound("sling.wav", &snd_slingshot);
    Soundsystem_SetMusicVolume(128);
    Soundsystem_PlayMusic(&gamemusic, 1);
}

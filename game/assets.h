// The game's pictures, sprites, fonts and sounds.
//
// LoadGraphics and LoadSounds fill these once at start-up from the mounted
// resource image; they live until the program ends. The load order fixes the
// sprite registry's indices and bitmap slots, so it never changes.
#pragma once

#include "cgl/cgl.h"
#include "sound/sound.h"

extern s_bitmap bmp_background;
extern s_sprite spr_title;
extern s_font font_game;
extern s_font font_game2;
extern s_sprite spr_player[3];
extern s_sprite spr_minimap;
extern s_bitmap bmp_miniplanets;
extern s_sprite spr_miniplanets[5];
extern s_sprite spr_planet[8];
extern s_bitmap bmp_star;
extern s_sprite spr_star[8];
extern s_bitmap bmp_sparkle;
extern s_sprite spr_sparkle[32];
extern s_bitmap bmp_chain;
extern s_sprite spr_chain[8];
extern s_bitmap bmp_bgstar;
extern s_sprite spr_bgstar[4];
extern s_bitmap bmp_explosion;
extern s_sprite spr_explode[8];

extern s_sound gamemusic;
extern s_sound snd_explode;
extern s_sound snd_pickup;
extern s_sound snd_pressstart;
extern s_sound snd_select;
extern s_sound snd_slingshot;

void LoadGraphics();
void LoadSounds();

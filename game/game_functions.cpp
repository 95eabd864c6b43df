// The table walkers, the camera and backdrop, the HUD and the fade.
//
// The walkers go over the fixed tables in index order. The placement
// functions draw candidates until each slot is filled; their rules keep
// planets off the edges, out of the ship's path at the start and apart from
// one another, and stars clear of the planets.
//
// Depends on: game/header.h, game/assets.h (bmp_background, fonts), cgl.
#include "game/header.h"
#include "game/assets.h"

#include <cmath>
#include "game/random.h"

namespace {

// Square root of an integer squared distance, truncated to an integer.
int TruncatedDistance(int ddx, int ddy) {
    return (int)std::sqrt((double)(ddx * ddx + ddy * ddy));
}

int PlanetsInPlay() {
    if (numPlanets < 0) return 0;
    return numPlanets > kMaxPlanets ? kMaxPlanets : numPlanets;
}

}  // namespace

// ---------------------------------------------------------------------------
// Planets

bool AcceptPlanetPosition(int x, int y, int placed) {
    // The top-left corner keeps 180 units from every edge.
    if (x < 180 || x > 2380 || y < 180 || y > 1740) return false;
    // Nothing in the half-disc ahead of the start (1280, 960), which reaches
    // 63 units below it.
    float sdx = (float)x - 1280.0f;
    float sdy = (float)y - 960.0f;
    if ((float)std::sqrt((double)(sdx * sdx + sdy * sdy)) < 300.0f && y <= 1023) return false;
    for (int j = 0; j < placed; j++)
        if (TruncatedDistance(x - planet[j].x, y - planet[j].y) <= 149) return false;
    return true;
}

// 90 planets (the most a difficulty asks for) fit the field with room to
// spare: a few thousand candidates do. The bound is for a generator state
// that comes from a file, which could be one that never gives a fitting
// candidate (all words zero, say).
bool InitPlanets() {
    int count = PlanetsInPlay();
    int placed = 0;
    for (long tries = 0; placed < count; tries++) {
        if (tries >= kMaxPlacementTries) return false;
        int x = Random() % kPlayfieldWidth;
        int y = Random() % kPlayfieldHeight;
        if (!AcceptPlanetPosition(x, y, placed)) continue;
        planet[placed].Init(x, y);
        placed++;
    }
    return true;
}

void DrawPlanets() {
    int count = PlanetsInPlay();
    for (int i = 0; i < count; i++) planet[i].Draw();
}

void AdvancePlanets() {
    int count = PlanetsInPlay();
    for (int i = 0; i < count; i++) planet[i].AdvanceExplosion();
}

// The search runs only while the ship is free, so a latched ship keeps its
// planet. best holds a truncated distance: a later planet wins only when it
// is below the integer part of the current choice.
void HandlePlanets() {
    int count = PlanetsInPlay();
    int best = 999999;
    for (int i = 0; i < count; i++) {
        c_planet &p = planet[i];
        p.Handle(player);
        if (player.flightMode == 0 && p.dist < (float)best) {
            xClosestPlanet = p.x + p.size;
            yClosestPlanet = p.y + p.size;
            best = (int)p.dist;
        }
    }
}

// ---------------------------------------------------------------------------
// Stars

// Stars keep 60 units from each planet's stored corner (not its centre);
// they may overlap one another.
bool AcceptStarPosition(int x, int y) {
    int count = PlanetsInPlay();
    for (int j = 0; j < count; j++)
        if (TruncatedDistance(x - planet[j].x, y - planet[j].y) <= 59) return false;
    return true;
}

bool InitStars() {
    long tries = 0;
    for (int i = 0; i < kNumStars; i++) {
        int x, y;
        do {
            if (tries++ >= kMaxPlacementTries) return false;
            x = Random() % kPlayfieldWidth;
            y = Random() % kPlayfieldHeight;
        } while (!AcceptStarPosition(x, y));
        star[i].Init(x, y);
    }
    return true;
}

void DrawStars() {
    for (c_star &s : star) s.Draw();
}

void HandleStars() {
    for (c_star &s : star) s.Handle(player);
}

void InitBGStars() {
    for (c_bgstar &s : bgstar) s.Init();
}

void DrawBGStars() {
    for (c_bgstar &s : bgstar) s.Draw();
}

// ---------------------------------------------------------------------------
// Camera, backdrop, HUD, fade

// The camera centres the ship's top-left corner and stops at the playfield's
// edges; the backdrop moves at half its speed.
void DrawBackground() {
    scrollx = (int)player.x - kScreenWidth / 2;
    scrolly = (int)player.y - kScreenHeight / 2;
    if (scrollx < 0) scrollx = 0;
    if (scrollx > kPlayfieldWidth - kScreenWidth) scrollx = kPlayfieldWidth - kScreenWidth;
    if (scrolly < 0) scrolly = 0;
    if (scrolly > kPlayfieldHeight - kScreenHeight) scrolly = kPlayfieldHeight - kScreenHeight;
    CGL_DrawBitmap(-scrollx / 2, -scrolly / 2, bmp_background);
}

// The notice blinks 32 frames on, 32 off, for the first 256 frames in which
// the score stands at or above the best; its timer runs until the next game.
void DrawHUD() {
    CGL_DrawCenteredText(4, font_game2, "SCORE : %05d", player.score);
    int d = difficulty < 0 ? 0 : (difficulty > 2 ? 2 : difficulty);
    if (player.score >= player.bestScore[d]) {
        if (player.newHighscoreTimer <= 255) {
            if (currentFrame % 64 <= 31)
                CGL_DrawCenteredText(232, font_game, "NEW PERSONAL SCORE!!");
            player.newHighscoreTimer += 1;
        }
        player.bestScore[d] = player.score;
    }
}

// Each step adds in double precision and rounds back to float, so the fades
// overshoot: 0 to about 1.02 in 51 frames. The state moves on in the frame
// after the last step.
void HandleFade(int *state) {
    if (*state == GAMESTATE_FADEIN) {
        if (fade < 1)
            fade = (float)(fade + 0.02);
        else
            *state = GAMESTATE_PLAY;
    }
    if (*state == GAMESTATE_FADEOUT) {
        if (fade > 0)
            fade = (float)(fade - 0.02);
        else
            *state = GAMESTATE_LEFT;
    }
    if (*state == GAMESTATE_SLOWFADEIN) {
        if (fade < 1) fade = (float)(fade + 0.002);
    }
    if (*state == GAMESTATE_CRASHED) {
        if (fade > 0)
            fade = (float)(fade - 0.01);
        else
            *state = GAMESTATE_SLOWFADEDONE;
    }
}

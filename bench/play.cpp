// One frame of play at "HARD": 90 planets, 1200 stars, 500 background
// stars, the ship latched with its chain.
// - the game thread's CPU time for the frame's drawing and handling;
// - uncapped frames per second including the presented 1280x720 picture
//   (the software renderer's work included).
#include "common/gl_context.h"

#include "cgl/cgl.h"
#include "corefile/corefile.h"
#include "game/assets.h"
#include "game/header.h"
#include "game/random.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>

static double seconds(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

namespace {

c_player g_start;

// The frame of the main loop less the wait and the present.
void DrawFrame() {
    DrawBackground();
    DrawBGStars();
    if (player.alive && player.flightMode != 0)
        player.DrawChain((int)(player.x + 16), (int)(player.y + 16), xClosestPlanet,
                         yClosestPlanet);
    DrawPlanets();
    DrawStars();
    player.Draw();
    DrawHUD();
}

void HandleFrame() {
    HandlePlanets();
    HandleStars();
    player.HandleInput();
    HandleFade(&gameState);
}

// Every frame starts from the same latched ship, so the figures do not
// drift as it would fly off; the stars it picks up burst and vanish.
void Relatch() {
    player = g_start;
    gameState = GAMESTATE_PLAY;
    xClosestPlanet = planet[0].x + planet[0].size;
    yClosestPlanet = planet[0].y + planet[0].size;
}

}  // namespace

int main() {
    // Uncapped: no waiting for the display's refresh.
    setenv("vblank_mode", "0", 0);
    if (!gl_context_up()) {
        printf("play: no OpenGL context\n");
        return 1;
    }
    corefile_mountimage("qostarfold.dat", 0);
    CGL_SetFramebuffer(CGL_InitFramebuffer(kScreenWidth, kScreenHeight));
    CGL_InitShader(vv_starfold, ff_starfold);
    CGL_SetScanlineValue(0.2f);
    LoadGraphics();
    VSyncOn(0);

    RandomSeed(1);
    InitBGStars();
    difficulty = 2;
    numPlanets = difficulty * 20 + 50;
    InitPlanets();
    InitStars();
    player.Init();
    // 100 units to the right of planet 0's centre, heading down, the action
    // key held: latched and swinging.
    player.x = (float)(planet[0].x + planet[0].size + 100);
    player.y = (float)(planet[0].y + planet[0].size);
    player.angle = 180;
    player.flightMode = 1;
    player.speed = 4;
    distClosestPlanet = 100;
    g_start = player;
    fade = 1;
    sdl_asynckeys[32].store(1);  // Space
    CGL_SetFadeValue(fade);

    // Warm up: textures resident, bursts under way.
    for (int i = 0; i < 60; i++) {
        Relatch();
        DrawFrame();
        HandleFrame();
        CGL_SwapBuffers();
        currentFrame++;
    }
    Relatch();
    HandleFrame();
    if (player.flightMode == 0) printf("play: warning: the ship is not latched\n");

    // CPU time of drawing and handling, without presenting.
    const int kFrames = 2000;
    double draw = 0, handle = 0;
    for (int i = 0; i < kFrames; i++) {
        Relatch();
        double t0 = seconds(CLOCK_THREAD_CPUTIME_ID);
        DrawFrame();
        double t1 = seconds(CLOCK_THREAD_CPUTIME_ID);
        HandleFrame();
        double t2 = seconds(CLOCK_THREAD_CPUTIME_ID);
        draw += t1 - t0;
        handle += t2 - t1;
        currentFrame++;
        // Let the renderer drain now and then, outside the measured part.
        if (i % 50 == 49) CGL_SwapBuffers();
    }
    printf("play: drawing per frame: %.1f us (game thread CPU)\n", draw / kFrames * 1e6);
    printf("play: handling per frame: %.1f us (game thread CPU)\n", handle / kFrames * 1e6);
    printf("play: drawing and handling per frame: %.1f us (target below 1000 us)\n",
           (draw + handle) / kFrames * 1e6);

    // Whole frames, presented, as fast as they go.
    const int kPresented = 300;
    double wall0 = seconds(CLOCK_MONOTONIC);
    double cpu0 = seconds(CLOCK_THREAD_CPUTIME_ID);
    for (int i = 0; i < kPresented; i++) {
        Relatch();
        DrawFrame();
        HandleFrame();
        CGL_SetFadeValue(fade);
        CGL_SwapBuffers();
        currentFrame++;
    }
    double wall = seconds(CLOCK_MONOTONIC) - wall0;
    double cpu = seconds(CLOCK_THREAD_CPUTIME_ID) - cpu0;
    printf(
        "play: uncapped presented 1280x720 frames: %.1f frames/s (%.2f ms per frame, game "
        "thread CPU %.2f ms)\n",
        kPresented / wall, wall / kPresented * 1e3, cpu / kPresented * 1e3);
    return 0;
}

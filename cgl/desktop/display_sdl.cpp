// The display and frame pacing on the desktop, through SDL2.
//
// Turns the placeholder window into the display (full screen in a 60 Hz
// mode where there is one), checks that an accepted swap interval really
// paces the frames, waits for the frame tick, and swaps. What every
// platform shares is in video.cpp and window_sdl.cpp.
#include "cgl/video.h"
#include "cgl/platform.h"
#include "cgl/desktop.h"
#include "cgl/framebuffer.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

// ---------------------------------------------------------------------------
// Start-up

// Full screen means a real display mode of exactly the asked size at 60 Hz
// (59.94 counts): every speed in the game is counted in frames, so another
// rate would change how fast it plays. A display that offers no such mode
// refuses, and the game stays in its window.
static bool is_sixty_hertz(int refresh_rate) {
    return refresh_rate >= 59 && refresh_rate <= 61;
}

static bool enter_fullscreen(int width, int height) {
    bool ok = false;
    sdl_runonmainthread([&] {
        SDL_DisplayMode got;
        bool found = false;
        for (int i = 0, n = SDL_GetNumDisplayModes(0); i < n && !found; i++) {
            if (SDL_GetDisplayMode(0, i, &got) != 0) continue;
            found = got.w == width && got.h == height && is_sixty_hertz(got.refresh_rate);
        }
        if (!found) {
            printf("- No %dx%d display mode at 60 Hz\n", width, height);
            return;
        }
        if (SDL_SetWindowDisplayMode(winhandle, &got) != 0) return;
        sdl_modechanged();
        if (SDL_SetWindowFullscreen(winhandle, SDL_WINDOW_FULLSCREEN) != 0) return;
        SDL_SetWindowPosition(winhandle, 0, 0);
        SDL_ShowCursor(SDL_DISABLE);
        ok = true;
    });
    return ok;
}

static void short_sleep_us(long us) {
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

// ---------------------------------------------------------------------------
// Vsync that is seen to work
//
// A driver may accept the swap interval and still return from every swap at
// once, and then nothing would pace the game. So the first swaps after vsync
// is turned on are timed, in two runs: one as the frames come, one with a
// short extra pause after every swap. A swap held to a 60 Hz display comes
// one period after the last in both runs; frames paced by their own drawing
// time move with the pause. Unless both runs show the period, the frame
// timer paces the game instead.

namespace {

constexpr int kProbeSettle = 4;  // swaps a driver may queue before it blocks
constexpr int kProbeRun = 8;     // timed intervals in each run
constexpr int kProbeSwaps = kProbeSettle + 2 * kProbeRun + 1;
// Short enough that a frame which takes most of a period to draw still
// meets the next vblank after it, long enough to show a swap that does not wait.
constexpr long kProbePauseUs = 4000;
int g_probe_done = kProbeSwaps;  // swaps timed so far; kProbeSwaps: not probing
uint64_t g_probe_ns[kProbeSwaps];

uint64_t now_ns() {
    return (uint64_t)std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The median interval, in ms, of the run of swaps that starts at `first`.
float median_interval(int first) {
    float intervals[kProbeRun];
    for (int i = 0; i < kProbeRun; i++)
        intervals[i] = (float)(g_probe_ns[first + i + 1] - g_probe_ns[first + i]) / 1e6f;
    std::sort(intervals, intervals + kProbeRun);
    return intervals[kProbeRun / 2];
}

// 57 to 63 Hz. Wide enough for a median of a swap held to a real 59.94 or
// 60 Hz display; narrow enough to turn down a driver that paces its swaps
// to some 66 Hz clock of its own (15 ms, seen with zink on lavapipe).
bool is_sixty_hertz_period(float ms) {
    return ms >= 15.8f && ms <= 17.6f;
}

}  // namespace

void sdl_vsync_probe() {
    g_probe_done = 0;
}

void sdl_vsync_swapped() {
    if (g_probe_done >= kProbeSwaps) return;
    g_probe_ns[g_probe_done++] = now_ns();
    if (g_probe_done < kProbeSwaps) {
        if (g_probe_done > kProbeSettle + kProbeRun) short_sleep_us(kProbePauseUs);
        return;
    }
    float plain = median_interval(kProbeSettle);
    float paused = median_interval(kProbeSettle + kProbeRun);
    if (is_sixty_hertz_period(plain) && is_sixty_hertz_period(paused) &&
        std::fabs(paused - plain) < 1.5f) {
        printf("- Vsync paces the frames: %.1f ms\n", plain);
        return;
    }
    printf("- Vsync does not pace the frames (%.1f ms a swap, %.1f with a pause): the timer does\n",
           plain, paused);
    CGL_vsync_enabled = 0;
    CGL_video_time = CGL_GetMillis();
    SDL_GL_SetSwapInterval(0);  // the swap must not add its own wait to the timer's
}

void setVSync(int) {
    if (SDL_GL_SetSwapInterval(1) == 0) {
        printf("setVsync: Vsync found!\n");
        CGL_vsync_enabled = 1;
        sdl_vsync_probe();
    } else {
        CGL_vsync_enabled = 0;
        g_probe_done = kProbeSwaps;
    }
}

void VSyncOn(char on) {
    SDL_GL_SetSwapInterval(on ? 1 : 0);
}

int sdl_openwindow(int width, int height, int flags) {
    printf("- Set window position\n");
    sdl_runonmainthread([&] {
        SDL_SetWindowSize(winhandle, width, height);
        SDL_SetWindowPosition(winhandle, (CGL_DesktopWidth - width) / 2,
                              (CGL_DesktopHeight - height) / 2);
        SDL_SetWindowBordered(winhandle, SDL_TRUE);
    });

    printf("- Init Screenmode\n");
    int working = flags;
    if ((working & 1) && !enter_fullscreen(width, height)) working &= ~1;

    printf("- Set focus\n");
    sdl_runonmainthread([&] {
        SDL_ShowWindow(winhandle);
        SDL_RaiseWindow(winhandle);
    });

    sdl_createcontext();
    return working;
}

// ---------------------------------------------------------------------------
// Frame clock

// The tick falls where a spin on the millisecond clock would put it, but
// the wait sleeps through most of the period instead of burning a core:
// whole milliseconds while more than 2 remain, then short naps.
float CGL_WaitRefresh() {
    CGL_video_numframes++;
    const bool real_clock = sdl_clock_is_real();
    sdl_parkifstopping();
    if (sdl_isminimised()) {
        // Nothing is shown, so nothing moves; on return the clock starts
        // afresh instead of catching up.
        while (sdl_isminimised()) {
            SDL_Delay(10);
            sdl_parkifstopping();
        }
        CGL_video_time = CGL_GetMillis();
    }
    uint32_t t = CGL_GetMillis();
    // Compared as a difference, so the wait also ends across the clock's wrap.
    while ((int32_t)(t - (CGL_video_time + CGL_video_updatespeed)) < 0 && CGL_vsync_enabled == 0) {
        if (real_clock) {
            uint32_t remaining = CGL_video_time + CGL_video_updatespeed - t;
            if (remaining > 2)
                SDL_Delay(remaining - 2);
            else
                short_sleep_us(200);
        }
        t = CGL_GetMillis();
    }
    uint32_t u = CGL_GetMillis();
    float elapsed = (float)(uint32_t)(u - CGL_video_time);
    CGL_video_time = t;
    float period = (float)CGL_video_updatespeed;
    if (CGL_vsync_enabled && period >= elapsed) return 1.0f;
    return elapsed / period;
}

// ---------------------------------------------------------------------------
// Presenting

void sdl_swapwindow() {
    if (!winhandle) return;
    SDL_GL_SwapWindow(winhandle);
    sdl_vsync_swapped();
}

void sdl_drawablesize(int *width, int *height) {
    if (winhandle) SDL_GL_GetDrawableSize(winhandle, width, height);
}

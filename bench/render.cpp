// Render core and frame clock figures:
// - the cost of one CGL_DrawQuad into the 360x240 framebuffer;
// - the game thread's CPU use while the frame loop idles at the frame rate.
#include "common/gl_context.h"

#include "cgl/cgl.h"

#include <GL/glew.h>
#include <time.h>

#include <cstdio>
#include <vector>

static double seconds(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

int main() {
    if (!gl_context_up()) {
        printf("render: no OpenGL context\n");
        return 1;
    }
    int fb = CGL_InitFramebuffer(360, 240);
    CGL_SetFramebuffer(fb);

    std::vector<uint32_t> pixels(16 * 16, 0xFF8040C0u);
    s_bitmap bitmap{};
    bitmap.width = bitmap.height = 16;
    bitmap.pixels = pixels.data();
    CGL_BindTexture(CGL_CreateTexture(bitmap));

    // Quads: batches of 10000, finished with glFinish so the software
    // renderer's work is counted too.
    const int kQuads = 200000;
    double start = seconds(CLOCK_MONOTONIC);
    for (int i = 0; i < kQuads; i++) {
        CGL_DrawQuad((float)(i % 344), (float)(i % 224), 16, 16, 0, 0, 1, 1);
        if (i % 10000 == 9999) glFinish();
    }
    glFinish();
    double elapsed = seconds(CLOCK_MONOTONIC) - start;
    printf("render: CGL_DrawQuad 16x16 into 360x240: %.0f quads/s (%.2f us per quad)\n",
           kQuads / elapsed, elapsed / kQuads * 1e6);

    // Idle frame loop: only the frame wait, for 10 seconds.
    CGL_SetRefreshRate(60);
    double cpu0 = seconds(CLOCK_THREAD_CPUTIME_ID);
    double wall0 = seconds(CLOCK_MONOTONIC);
    int frames = 0;
    while (seconds(CLOCK_MONOTONIC) - wall0 < 10.0) {
        CGL_WaitRefresh();
        frames++;
    }
    double wall = seconds(CLOCK_MONOTONIC) - wall0;
    double cpu = seconds(CLOCK_THREAD_CPUTIME_ID) - cpu0;
    printf(
        "render: idle frame loop: %.1f frames/s, game thread CPU %.2f %% of one core "
        "(target below 10 %%)\n",
        frames / wall, 100.0 * cpu / wall);
    return 0;
}

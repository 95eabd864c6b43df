// Video context and frame pacing, the part every platform shares.
//
// Makes the window the display through the platform (video_sdl.cpp on the
// desktop, video_web.cpp in the browser), decides which optional OpenGL
// facilities are used (GLSL, framebuffer objects), sets the fixed state all
// drawing relies on, and owns the frame counters and the projections. The
// wait for the frame tick belongs to the platform.
#include "cgl/video.h"
#include "cgl/platform.h"
#include "cgl/render.h"
#include "cgl/bitmap.h"
#include "cgl/framebuffer.h"
#include "cgl/sprite.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

s_videomode CGL_video;
int CGL_displayflags = 0;
int CGL_vsync_enabled = 0;
int CGL_shaders_enabled = 0;
int CGL_projectionmode = 1;
uint32_t CGL_video_time = 0;
uint32_t CGL_video_starttime = 0;
uint32_t CGL_video_updatespeed = 15;
float cgl_video_period = 1000.0f / 60.0f;
int CGL_video_numframes = 0;
int CGL_video_fps = 0;
uint32_t CGL_video_oldtime = 0;
int CGL_video_currentframe = 0;

int PowerOfTwo(int n) {
    return n;
}

// ---------------------------------------------------------------------------
// Start-up

void CGL_InitVideo(int width, int height, int flags) {
    CGL_displayflags = flags;
    int working = sdl_openwindow(width, height, flags);

    const char *version = (const char *)glGetString(GL_VERSION);
    if (!version) version = "";
    printf("OpenGL driver version: %s\n", version);
    int major = version[0] - '0';

    printf("- Set OpenGL Viewport and 2D projection\n");
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    CGL_Perspective(45.0f, (float)width / (float)height, 0.01f, 1000.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 1);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glAlphaFunc(GL_GREATER, 0);

    CGL_shaders_enabled = 0;
    if (major < 2) {
        printf("- Basic OpenGL1.1 support\n");
    } else {
        printf("- Init GLEW\n");
        if (!sdl_initglew()) {
            printf("- Error initialising GLEW\n");
        } else if (GLEW_ARB_vertex_shader && GLEW_ARB_fragment_shader) {
            printf("- Ready for GLSL\n");
            CGL_shaders_enabled = 1;
        } else {
            printf("- No GLSL support\n");
        }
    }

    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);

    printf("- Set Vsync (Fullscreen)\n");
    if (working & 1) {
        setVSync(1);
    } else {
        // In a window the timer paces the game. The driver's own interval
        // (often 1) would add the display's wait to it and hand the game's
        // speed to whatever rate that display runs at.
        CGL_vsync_enabled = 0;
        VSyncOn(0);
    }

    CGL_numframebuffers = 0;
    if (major < 2) {
        printf("- No Framebuffer support\n");
    } else {
        printf("- Init Framebuffer\n");
        CGL_InitFramebuffer(width, height);
        CGL_SetFramebuffer(0);
        CGL_SetPostShader(0);
    }
    CGL_SetFadeValue(1.0f);
    CGL_SetScanlineValue(0.0f);

    CGL_video = {width, height, width, 32, 4, 0x00FF0000, 0x0000FF00, 0x000000FF,
                 16,    8,      0,     8,  8, 8,          0};

    printf("- Create Scanline bitmap (non-shader platforms)\n");
    // Every odd line opaque black, every even one clear (as created), written
    // a line at a time: a pixel call each was a million calls at start-up.
    if (CGL_CreateBitmap(width, height, &CGL_scanlinebitmap)) {
        for (int y = 1; y < height; y += 2)
            std::fill_n(CGL_scanlinebitmap.pixels + (size_t)y * width, width, 0xFF000000u);
        CGL_UpdateBitmap(CGL_scanlinebitmap);
    }

    CGL_renderstate = 0;
    CGL_lasttextureid = -1;
    cgl_numbitmaps = 0;
    cgl_numsprites = 0;

    CGL_SetRefreshRate(60);
}

// ---------------------------------------------------------------------------
// Frame clock

void CGL_SetRefreshRate(int rate) {
    cgl_video_period = rate < 0 ? (float)-rate : rate == 0 ? 0.0f : 1000.0f / (float)rate;
    if (rate < 0) {
        CGL_video_updatespeed = (uint32_t)-rate;
    } else if (rate == 0) {
        CGL_video_updatespeed = 1;  // an unlimited rate
    } else {
        // The 1.1 factor makes the timer-paced period about 10 % shorter
        // than the nominal rate: 60 gives 66.0, 15.15..., 15 ms.
        float p = (float)(rate * 1.1);
        float q = 1000.0f / p;
        CGL_video_updatespeed = (uint32_t)q;
    }
    if (CGL_video_updatespeed == 0) CGL_video_updatespeed = 1;
    CGL_video_starttime = CGL_video_time = CGL_GetMillis();
    CGL_video_currentframe = 0;
}

int CGL_GetFPS() {
    uint32_t t = CGL_GetMillis();
    if (t - CGL_video_oldtime > 999) {
        CGL_video_fps = CGL_video_numframes;
        CGL_video_numframes = 0;
        CGL_video_oldtime = t;
    }
    return CGL_video_fps;
}

// ---------------------------------------------------------------------------
// Projections

void CGL_Perspective(float fovy, float aspect, float znear, float zfar) {
    double ymax = znear * tan(fovy * 3.141592653589793 / 360.0);
    double ymin = -ymax;
    double xmin = ymin * aspect;
    double xmax = ymax * aspect;
    glFrustum(xmin, xmax, ymin, ymax, znear, zfar);
}

void CGL_LookAt(float eyex, float eyey, float eyez, float centerx, float centery, float centerz) {
    double dx = (double)eyex - centerx;
    double dy = (double)eyey - centery;
    double dz = (double)eyez - centerz;
    if (dx == 0 && dy == 0 && dz == 0) return;
    if (dx == 0 && dz == 0) {
        glRotated(dy < 0 ? -90.0 : 90.0, 1, 0, 0);
        glTranslated(-dx, -dy, -dz);
        return;
    }
    double h = dx != 0 ? hypot(dx, dz) : dz;
    double r;
    if (dz == 0)
        r = hypot(dx, dy);
    else
        r = dy != 0 ? hypot(dy, h) : h;
    double pitch = asin(dy / r) * 57.29577951308232;
    double yaw = asin(dx / h) * 57.29577951308232;
    glRotated(pitch, 1, 0, 0);
    yaw = dz < 0 ? yaw + 180 : 360 - yaw;
    glRotated(yaw, 0, 1, 0);
    glTranslated(-eyex, -eyey, -eyez);
}

void CGL_Enable2D() {
    if (CGL_projectionmode != 0) {
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(viewport[0], viewport[0] + viewport[2], viewport[1] + viewport[3], viewport[1], -1,
                1);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    CGL_projectionmode = 0;
}

void CGL_Disable2D() {
    if (CGL_projectionmode != 0) return;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    int w = CGL_FrameBuffer ? CGL_FrameBuffer->width : CGL_video.width;
    int h = CGL_FrameBuffer ? CGL_FrameBuffer->height : CGL_video.height;
    CGL_Perspective(45.0f, (float)w / (float)(h ? h : 1), 0.01f, 1000.0f);
    glMatrixMode(GL_MODELVIEW);
    CGL_projectionmode = 1;
}

// Video context and frame pacing: the OpenGL context on the game thread,
// which optional OpenGL facilities are used, the frame clock and the
// projections.
#pragma once

#include <cstdint>

struct s_videomode {
    int width;
    int height;
    int pitch;
    int bitsperpixel;
    int bytesperpixel;
    int redmask;
    int greenmask;
    int bluemask;
    int redshift;
    int greenshift;
    int blueshift;
    int redbits;
    int greenbits;
    int bluebits;
    int last;
};

extern s_videomode CGL_video;
extern int CGL_displayflags;
extern int CGL_vsync_enabled;
extern int CGL_shaders_enabled;
extern int CGL_projectionmode;
extern uint32_t CGL_video_time;
extern uint32_t CGL_video_starttime;
extern uint32_t CGL_video_updatespeed;
// The asked rate's own period in ms (16.7 at 60, 0 unlimited), for a frame
// clock that follows the display rather than a millisecond timer.
extern float cgl_video_period;
extern int CGL_video_numframes;
extern int CGL_video_fps;
extern uint32_t CGL_video_oldtime;
extern int CGL_video_currentframe;

// Opens a window of width x height pixels (flags 1: full screen at that
// size, falling back to the window) with its OpenGL context, and makes
// framebuffer 0 (the window's size) the drawing target. It also starts the
// bitmap and sprite registries afresh: load pictures, sprites and fonts
// after it, never before (made without a context, they have no texture and
// draw as white boxes, and the registries forget them).
void CGL_InitVideo(int width, int height, int flags);
void CGL_CloseVideo();
// Waits for the next frame tick: 60 a second (CGL_SetRefreshRate), or the
// display's own when full screen with vsync. Games step once per frame.
float CGL_WaitRefresh();
void CGL_SetRefreshRate(int rate);
int CGL_GetFPS();
void CGL_Perspective(float fovy, float aspect, float znear, float zfar);
void CGL_LookAt(float eyex, float eyey, float eyez, float centerx, float centery, float centerz);
// The 2D projection every quad uses: one unit per pixel of the current
// drawing target, origin at its top-left corner, y growing downwards.
void CGL_Enable2D();
void CGL_Disable2D();
void setVSync(int);
void VSyncOn(char on);
int PowerOfTwo(int n);

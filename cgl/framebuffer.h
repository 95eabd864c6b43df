// Offscreen framebuffers and presenting with fade and scanlines.
//
// Offers: the framebuffer table, the current drawing target, the presenting
// step (CGL_SwapBuffers) with its fade and scanline values, and the game's
// built-in post-processing shader sources.
// Depends on: video (capability flags, window size), render core (quads),
// shaders, bitmaps (the scanline overlay), and the platform's buffer swap.
//
// Two capability paths: with framebuffer objects the picture is drawn into
// an object of its own; without, into the window's back buffer at its
// lower-left corner, read back before presenting. With GLSL the post shader
// applies fade and scanlines; without, blending and the scanline overlay do.
#pragma once

#include "cgl/bitmap.h"

enum { CGL_MAXFRAMEBUFFERS = 16 };

struct s_framebuffer {
    int width;
    int height;
    int index;
};

struct s_framebufferdata {
    uint32_t *buffer;        // read-back of the picture (path without framebuffer objects)
    unsigned framebuffer;    // framebuffer object, 0 when none was made
    unsigned colourtexture;  // the picture
    unsigned depthtexture;   // depth-and-stencil attachment
};

extern s_framebuffer CGL_framebuffers[CGL_MAXFRAMEBUFFERS];
extern s_framebufferdata CGL_framebufferdata[CGL_MAXFRAMEBUFFERS];
extern int CGL_numframebuffers;
extern s_framebuffer *CGL_FrameBuffer;
extern int CGL_framebuffers_enabled;
extern float CGL_fadevalue;
extern float CGL_scanlinevalue;
extern int CGL_postshader_id;
extern s_bitmap CGL_scanlinebitmap;

extern const char *vv_starfold;
extern const char *ff_starfold;

// Returns the new framebuffer's index, or -1 with a message when the table
// is full or the size is not usable.
int CGL_InitFramebuffer(int width, int height);
// Makes framebuffer index the target of all drawing; its size bounds the
// 2D coordinates and centres CGL_DrawCenteredText.
void CGL_SetFramebuffer(int index);
// Presents the current framebuffer stretched over the whole window, with
// the fade and scanline values applied. The framebuffer's picture is not
// cleared: each frame draws over the last one, so a game paints its whole
// background (a bitmap or a CGL_DrawBox) first.
void CGL_SwapBuffers();
void CGL_SwapBuffers2();
void CGL_DrawFramebuffer(int x, int y, int w, int h, int index);
void CGL_SetFadeValue(float value);
void CGL_SetScanlineValue(float value);
void CGL_SetPostShader(int id);

// Called, when set, with the finished window picture still in the back
// buffer, right before the swap: screenshots and tests read it there.
extern void (*cgl_beforeswap)();

// The platform's swap of the window's buffers: on the desktop it waits for
// OpenGL to finish the frame first; in the browser, which shows the frame
// once control goes back to it, it does nothing.
void sdl_swapwindow();
// True when the picture of this frame will not be seen: in the browser, a
// step taken at once to catch up with the game's clock, whose picture the
// next step's replaces before the page shows one. Never on the desktop.
bool sdl_frameunseen();
// The size in pixels of what the window shows, which may differ from the
// size asked for (framebuffer_sdl.cpp). Leaves the values as they are when
// there is no window.
void sdl_drawablesize(int *width, int *height);

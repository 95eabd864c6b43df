// Offscreen framebuffers and presenting with fade and scanlines.
#pragma once

#include "cgl/bitmap.h"

struct s_framebuffer {
    int width;
    int height;
    int index;
};

extern s_framebuffer CGL_framebuffers[16];
extern int CGL_numframebuffers;
extern s_framebuffer *CGL_FrameBuffer;
extern int CGL_framebuffers_enabled;
extern float CGL_fadevalue;
extern float CGL_scanlinevalue;
extern int CGL_postshader_id;
extern s_bitmap CGL_scanlinebitmap;

extern const char *vv_starfold;
extern const char *ff_starfold;

int CGL_InitFramebuffer(int width, int height);
void CGL_SetFramebuffer(int handle);
void CGL_SetPostShader(int id);
void CGL_SetFadeValue(float value);
void CGL_SetScanlineValue(float value);
void CGL_SwapBuffers();

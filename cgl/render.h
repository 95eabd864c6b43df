// Render core: textures, the cached bind, render states, blend modes and
// the textured quad, through which all engine drawing reaches OpenGL.
#pragma once

#include "cgl/bitmap.h"

#define CGL_RENDERSTATE_DEPTHTEST 0x01
#define CGL_RENDERSTATE_ALPHATEST 0x02
#define CGL_RENDERSTATE_BLEND 0x04
#define CGL_RENDERSTATE_LIGHTING 0x08

extern int CGL_lasttextureid;
extern int CGL_renderstate;
extern const uint16_t quad_index[6];
extern int CGL_stats_numtriangles;
extern int CGL_stats_numtexturebinds;
extern int CGL_stats_numstateswitches;

int CGL_CreateTexture(s_bitmap bitmap);
void CGL_UpdateTexture(s_bitmap bitmap);
void CGL_DeleteTexture(s_bitmap bitmap);
void CGL_BindTexture(int id);
void CGL_SetBlendMode(int mode);
void CGL_SetBlendmode(int mode);
void CGL_EnableRenderState(int bits);
void CGL_DisableRenderState(int bits);
// Quads are placed in pixels of the current drawing target, (x, y) their
// top-left corner, y growing downwards; they are tinted by the current
// colour (see CGL_DrawBox).
void CGL_DrawQuad(float x, float y, float w, float h, float tx1, float ty1, float tx2, float ty2);
void CGL_DrawRotatedQuad(float x, float y, float w, float h, float tx1, float ty1, float tx2,
                         float ty2, float angle);
// A filled untextured rectangle in colour 0xAARRGGBB (drawn opaque). Its
// colour stays current and tints every later quad, sprites and text
// included, until the next box: draw CGL_DrawBox(0, 0, 0, 0, 0xFFFFFFFF),
// which draws nothing, to go back to untinted drawing.
void CGL_DrawBox(int x, int y, int w, int h, int colour);
void CGL_DrawPoint(int x, int y, int colour);
void CGL_GetRenderStatus(int *triangles, int *texturebinds, int *stateswitches);
void CGL_DrawLine();
void CGL_UpdateMatrix();
void CGL_UpdateVertexData();
void CGL_DrawTriangles();

// Render core: texture objects, the cached bind, blend modes, render states
// and the textured quad, the only primitive the game draws.
//
// The bind and the render states skip calls that would not change the
// OpenGL state; the per-frame counters record the calls actually made and
// are reset when a frame is presented.
#include "cgl/render.h"
#include "cgl/video.h"
#include "cgl/framebuffer.h"

#include <GL/glew.h>

int CGL_lasttextureid = -1;
int CGL_renderstate = 0;
// Short indices: WebGL's emulation of client arrays takes no others.
const uint16_t quad_index[6] = {0, 3, 2, 0, 2, 1};
int CGL_stats_numtriangles = 0;
int CGL_stats_numtexturebinds = 0;
int CGL_stats_numstateswitches = 0;

// ---------------------------------------------------------------------------
// Textures

int CGL_CreateTexture(s_bitmap bitmap) {
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    // Clamped, without mipmaps: the only way WebGL samples a texture whose
    // sides are not powers of two (it draws black otherwise).
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, bitmap.width, bitmap.height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, bitmap.pixels);
    // The bind above went past the cache: forget what it holds, or the next
    // CGL_BindTexture of the previous id would be skipped and draw this one.
    CGL_lasttextureid = -1;
    return (int)id;
}

void CGL_UpdateTexture(s_bitmap bitmap) {
    glBindTexture(GL_TEXTURE_2D, (GLuint)bitmap.texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, bitmap.width, bitmap.height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, bitmap.pixels);
    CGL_lasttextureid = -1;
}

void CGL_DeleteTexture(s_bitmap bitmap) {
    GLuint id = (GLuint)bitmap.texture;
    glDeleteTextures(1, &id);
}

void CGL_BindTexture(int id) {
    if (id == CGL_lasttextureid) return;
    glBindTexture(GL_TEXTURE_2D, (GLuint)id);
    CGL_lasttextureid = id;
    CGL_stats_numtexturebinds++;
}

// ---------------------------------------------------------------------------
// Blending and render states

void CGL_SetBlendMode(int mode) {
    if (mode == 1) glBlendFunc(GL_SRC_COLOR, GL_DST_COLOR);
    if (mode == 2) glBlendFunc(GL_SRC_COLOR, GL_ONE);
}

void CGL_SetBlendmode(int mode) {
    CGL_SetBlendMode(mode);
}

static void set_capabilities(int bits, bool on) {
    const struct {
        int bit;
        GLenum capability;
    } table[] = {{CGL_RENDERSTATE_DEPTHTEST, GL_DEPTH_TEST},
                 {CGL_RENDERSTATE_ALPHATEST, GL_ALPHA_TEST},
                 {CGL_RENDERSTATE_BLEND, GL_BLEND},
                 {CGL_RENDERSTATE_LIGHTING, GL_LIGHTING}};
    for (const auto &entry : table) {
        if (!(bits & entry.bit)) continue;
        if (on)
            glEnable(entry.capability);
        else
            glDisable(entry.capability);
    }
}

// Nothing happens when any of the bits is already on: a combined request
// is all or nothing.
void CGL_EnableRenderState(int bits) {
    if (CGL_renderstate & bits) return;
    set_capabilities(bits, true);
    CGL_renderstate |= bits;
    CGL_stats_numstateswitches++;
}

void CGL_DisableRenderState(int bits) {
    if (!(CGL_renderstate & bits)) return;
    set_capabilities(bits, false);
    CGL_renderstate &= ~bits;
    CGL_stats_numstateswitches++;
}

// ---------------------------------------------------------------------------
// Quads

static bool culled(float x, float y, float w, float h) {
    if (!CGL_FrameBuffer) return true;
    float fw = (float)CGL_FrameBuffer->width;
    float fh = (float)CGL_FrameBuffer->height;
    return !(y > -h && y < fh && x > -w && x < fw);
}

// The corners go in one interleaved array (x, y, z, u, v): WebGL's emulation
// of client arrays uploads such an array in one piece, and separate ones
// one by one on its slow path.
static void draw_corners(const float (&corners)[4][5]) {
    glVertexPointer(3, GL_FLOAT, sizeof corners[0], &corners[0][0]);
    glTexCoordPointer(2, GL_FLOAT, sizeof corners[0], &corners[0][3]);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, quad_index);
    CGL_stats_numtriangles += 2;
}

void CGL_DrawQuad(float x, float y, float w, float h, float tx1, float ty1, float tx2, float ty2) {
    if (culled(x, y, w, h)) return;
    const float corners[4][5] = {{x, y, 0, tx1, ty1},
                                 {x + w, y, 0, tx2, ty1},
                                 {x + w, y + h, 0, tx2, ty2},
                                 {x, y + h, 0, tx1, ty2}};
    CGL_Enable2D();
    draw_corners(corners);
}

// Turned about the quad's centre; with y growing downwards a positive
// angle turns it clockwise on screen. The modelview matrix stays rotated
// until the next quad resets it.
void CGL_DrawRotatedQuad(float x, float y, float w, float h, float tx1, float ty1, float tx2,
                         float ty2, float angle) {
    if (culled(x, y, w, h)) return;
    float hw = w / 2, hh = h / 2;
    const float corners[4][5] = {{-hw, -hh, 0, tx1, ty1},
                                 {hw, -hh, 0, tx2, ty1},
                                 {hw, hh, 0, tx2, ty2},
                                 {-hw, hh, 0, tx1, ty2}};
    CGL_Enable2D();
    glLoadIdentity();
    glTranslatef(x + w / 2, y + h / 2, 0);
    glRotatef(angle, 0, 0, 1);
    draw_corners(corners);
}

static void set_colour(int colour) {
    glColor4f(((colour & 0xFF0000) >> 16) / 255.0f, ((colour & 0xFF00) >> 8) / 255.0f,
              (colour & 0xFF) / 255.0f, 1.0f);
}

// Drawn untextured, so no texture coordinates are read; the colour stays
// current and tints later quads until something sets it again. Texturing is
// on for everything else the engine draws (CGL_InitVideo turns it on), so
// it is turned back on after the box: asking OpenGL whether it was on is
// not possible everywhere (WebGL's emulation always answers no).
void CGL_DrawBox(int x, int y, int w, int h, int colour) {
    set_colour(colour);
    const float positions[12] = {
        (float)x,       (float)y,       0, (float)(x + w), (float)y,       0,
        (float)(x + w), (float)(y + h), 0, (float)x,       (float)(y + h), 0};
    CGL_Enable2D();
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, positions);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, quad_index);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_TEXTURE_2D);
}

void CGL_DrawPoint(int x, int y, int colour) {
    set_colour(colour);
    glBegin(GL_POINTS);
    glVertex2i(x, y);
    glEnd();
}

void CGL_GetRenderStatus(int *triangles, int *texturebinds, int *stateswitches) {
    if (triangles) *triangles = CGL_stats_numtriangles;
    if (texturebinds) *texturebinds = CGL_stats_numtexturebinds;
    if (stateswitches) *stateswitches = CGL_stats_numstateswitches;
}

void CGL_DrawLine() {}
void CGL_UpdateMatrix() {}
void CGL_UpdateVertexData() {}
void CGL_DrawTriangles() {}

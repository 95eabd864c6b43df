// Offscreen framebuffers and the presenting step.
//
// Offers: CGL_InitFramebuffer, CGL_SetFramebuffer, CGL_SwapBuffers and the
// post-processing values; the built-in shader sources vv_starfold and
// ff_starfold.
// Depends on: video (CGL_video, capability flags, CGL_Enable2D), render core
// (CGL_DrawQuad, counters), shaders, the scanline bitmap, sdl_swapwindow.
#include "cgl/framebuffer.h"

#include <GL/glew.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "cgl/render.h"
#include "cgl/shader.h"
#include "cgl/video.h"

s_framebuffer CGL_framebuffers[CGL_MAXFRAMEBUFFERS];
s_framebufferdata CGL_framebufferdata[CGL_MAXFRAMEBUFFERS];
int CGL_numframebuffers = 0;
s_framebuffer *CGL_FrameBuffer = nullptr;
int CGL_framebuffers_enabled = 0;
float CGL_fadevalue = 1.0f;
float CGL_scanlinevalue = 0.0f;
int CGL_postshader_id = 0;
s_bitmap CGL_scanlinebitmap;
void (*cgl_beforeswap)() = nullptr;

// ---------------------------------------------------------------------------
// The game's post-processing shader: 540 bands down the window, every second
// one darkened by scanlinevalue, everything multiplied by fadevalue.

const char *vv_starfold =
    "#version 120\n"
    "varying vec2 texCoord;\n"
    "void main() {\n"
    "texCoord = gl_MultiTexCoord0.xy;\n"
    "gl_Position = ftransform();\n"
    "}";

const char *ff_starfold =
    "#version 120\n"
    "uniform sampler2D fbo_texture;\n"
    "uniform sampler2D fbo_depth;\n"
    "uniform float fadevalue;\n"
    "uniform float scanlinevalue;\n"
    "varying vec2 texCoord;\n"
    "vec4 TextureColor;\n"
    "void main() {\n"
    "vec4 color;\n"
    "TextureColor = texture2D(fbo_texture, texCoord);\n"
    "vec2 output_coords = floor( texCoord * 540.0);\n"
    "float modulo = mod(output_coords.y,2.0);\n"
    "if (modulo==0.0) {color=TextureColor;} else {color=TextureColor * (1.0-scanlinevalue);}\n"
    " gl_FragColor = color*fadevalue;\n"
    "}";

// ---------------------------------------------------------------------------
// Capabilities

// Framebuffer objects need these entry points (OpenGL 3.0 or
// ARB_framebuffer_object, and WebGL); without glewInit (the basic OpenGL 1.1
// path) they are all null. In the browser some are plain functions, which
// the check takes as pointers all the same.
template <typename... F>
static bool all_present(F... entrypoints) {
    return ((entrypoints != nullptr) && ...);
}

static bool fbo_entrypoints() {
    return all_present(glGenFramebuffers, glBindFramebuffer, glFramebufferTexture2D,
                       glCheckFramebufferStatus, glDeleteFramebuffers);
}

static void bind_windowframebuffer() {
    if (all_present(glBindFramebuffer)) glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// ---------------------------------------------------------------------------
// Creating and selecting

int CGL_InitFramebuffer(int width, int height) {
    int i = CGL_numframebuffers;
    if (i < 0 || i >= CGL_MAXFRAMEBUFFERS) {
        printf("- ERROR: Framebuffer table full (%d framebuffers).\n", CGL_MAXFRAMEBUFFERS);
        return -1;
    }
    if (width <= 0 || height <= 0 || width > CGL_MAXBITMAPSIDE || height > CGL_MAXBITMAPSIDE) {
        printf("- ERROR: Framebuffer of %d x %d pixels not created.\n", width, height);
        return -1;
    }
    auto *buffer = static_cast<uint32_t *>(calloc((size_t)width * (size_t)height, 4));
    if (!buffer) {
        printf("- ERROR: Framebuffer of %d x %d pixels not created.\n", width, height);
        return -1;
    }
    CGL_framebuffers[i] = s_framebuffer{width, height, i};
    s_framebufferdata &data = CGL_framebufferdata[i];
    data = s_framebufferdata{buffer, 0, 0, 0};

    bool fbo = fbo_entrypoints();
    if (all_present(glActiveTexture)) glActiveTexture(GL_TEXTURE0);

    glGenTextures(1, &data.colourtexture);
    glBindTexture(GL_TEXTURE_2D, data.colourtexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);

    // A packed depth-and-stencil texture is only known where framebuffer
    // objects are; the basic path has no use for one.
    glGenTextures(1, &data.depthtexture);
    if (fbo) {
        glBindTexture(GL_TEXTURE_2D, data.depthtexture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_NONE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        for (int i = 0; i < 8 && glGetError() != GL_NO_ERROR; i++) {
        }
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH24_STENCIL8_EXT, width, height, 0,
                     GL_DEPTH_STENCIL_EXT, GL_UNSIGNED_INT_24_8_EXT, nullptr);
        // WebGL without its depth-texture extension has no such texture;
        // nothing drawn in 2D needs the depth, so the object goes without.
        if (glGetError() != GL_NO_ERROR) {
            glDeleteTextures(1, &data.depthtexture);
            data.depthtexture = 0;
        }
    }

    if (!fbo) {
        CGL_framebuffers_enabled = 0;
    } else {
        // The status asked first is that of the framebuffer bound now, before
        // the new object exists: a broken current target turns the objects
        // off for every framebuffer.
        GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
        if (status != GL_FRAMEBUFFER_COMPLETE) {
            printf("glCheckFramebufferStatus: error %p", (void *)(uintptr_t)status);
            CGL_framebuffers_enabled = 0;
        } else {
            glGenFramebuffers(1, &data.framebuffer);
            glBindFramebuffer(GL_FRAMEBUFFER, data.framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                                   data.colourtexture, 0);
            if (data.depthtexture)
                glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D,
                                       data.depthtexture, 0);
            // The new object itself must be complete too, or nothing drawn
            // into it would ever show; then the read-back path takes over.
            GLenum own = glCheckFramebufferStatus(GL_FRAMEBUFFER);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            if (own != GL_FRAMEBUFFER_COMPLETE) {
                printf("glCheckFramebufferStatus: error %p", (void *)(uintptr_t)own);
                glDeleteFramebuffers(1, &data.framebuffer);
                data.framebuffer = 0;
                CGL_framebuffers_enabled = 0;
            } else {
                CGL_framebuffers_enabled = 1;
            }
        }
    }
    // The textures were bound past the render core's cache: the next
    // CGL_BindTexture must not be skipped for the id it still remembers.
    CGL_lasttextureid = -1;
    CGL_numframebuffers = i + 1;
    return i;
}

void CGL_SetFramebuffer(int index) {
    if (index < 0 || index >= CGL_numframebuffers) {
        printf("- ERROR: Framebuffer %d does not exist.\n", index);
        return;
    }
    CGL_FrameBuffer = &CGL_framebuffers[index];
    const s_framebufferdata &data = CGL_framebufferdata[index];
    if (CGL_framebuffers_enabled && data.framebuffer) {
        glBindFramebuffer(GL_FRAMEBUFFER, data.framebuffer);
    } else {
        // Drawing goes to the window's back buffer on this path.
        bind_windowframebuffer();
    }
    // A direct bind: the render core's cached id no longer tells what is
    // bound, so the next CGL_BindTexture must not be skipped.
    glBindTexture(GL_TEXTURE_2D, data.colourtexture);
    CGL_lasttextureid = -1;
    glViewport(0, 0, CGL_FrameBuffer->width, CGL_FrameBuffer->height);
    CGL_projectionmode = 1;
}

// ---------------------------------------------------------------------------
// Presenting

void CGL_SwapBuffers() {
    s_framebuffer *F = CGL_FrameBuffer;
    if (!F) return;
    // A step whose picture the platform will not show (the browser taking
    // the steps it owes the clock before it shows the last) costs no
    // presentation; the next frame draws the whole picture again.
    if (sdl_frameunseen()) {
        CGL_stats_numtriangles = 0;
        CGL_stats_numtexturebinds = 0;
        CGL_stats_numstateswitches = 0;
        return;
    }
    const s_framebufferdata &data = CGL_framebufferdata[F->index];
    const int W = CGL_video.width;
    const int H = CGL_video.height;
    const bool fbo = CGL_framebuffers_enabled && data.framebuffer;

    bind_windowframebuffer();
    if (!fbo) {
        // The picture sits in the window's back buffer at (0, 0); copy it
        // into the colour texture so that it can be stretched like the
        // object's picture.
        glReadPixels(0, 0, F->width, F->height, GL_RGBA, GL_UNSIGNED_BYTE, data.buffer);
        glBindTexture(GL_TEXTURE_2D, data.colourtexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, F->width, F->height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     data.buffer);
    }

    glBindTexture(GL_TEXTURE_2D, data.colourtexture);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The picture fills the drawable the window system really gave (a mode
    // it did not honour, a tiling manager, a scaled page), as large as fits
    // at the display's aspect and centred on black.
    int vx = 0, vy = 0, vw = W, vh = H;
    int dw = W, dh = H;
    sdl_drawablesize(&dw, &dh);
    if (dw > 0 && dh > 0 && (dw != W || dh != H)) {
        if ((long long)dw * H > (long long)dh * W) {
            vh = dh;
            vw = (int)((long long)dh * W / H);
        } else {
            vw = dw;
            vh = (int)((long long)dw * H / W);
        }
        vx = (dw - vw) / 2;
        vy = (dh - vh) / 2;
    }
    glViewport(vx, vy, vw, vh);
    CGL_projectionmode = 1;
    CGL_Enable2D();

    if (CGL_shaders_enabled) {
        CGL_BindShader(CGL_postshader_id);
        CGL_SetShaderValue(CGL_postshader_id, "fbo_texture", 0.0f);
        CGL_SetShaderValue(CGL_postshader_id, "fbo_depth", 1.0f);
        CGL_SetShaderValue(CGL_postshader_id, "fadevalue", CGL_fadevalue);
        CGL_SetShaderValue(CGL_postshader_id, "scanlinevalue", CGL_scanlinevalue);
        CGL_DrawQuad((float)vx, (float)vy, (float)vw, (float)vh, 0, 1, 1, 0);
        CGL_UnbindShader();
    } else {
        // Over the black window, alpha = fade gives picture * fade; the
        // overlay then darkens its opaque rows by the scanline value.
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
        glColor4f(1.0f, 1.0f, 1.0f, CGL_fadevalue);
        CGL_DrawQuad((float)vx, (float)vy, (float)vw, (float)vh, 0, 1, 1, 0);
        glBindTexture(GL_TEXTURE_2D, (GLuint)CGL_scanlinebitmap.texture);
        glColor4f(1.0f, 1.0f, 1.0f, CGL_scanlinevalue);
        CGL_DrawQuad((float)vx, (float)vy, (float)vw, (float)vh, 0, 1, 1, 0);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glDisable(GL_BLEND);
    }

    if (cgl_beforeswap) cgl_beforeswap();
    sdl_swapwindow();

    if (fbo) glBindFramebuffer(GL_FRAMEBUFFER, data.framebuffer);
    glViewport(0, 0, F->width, F->height);
    CGL_projectionmode = 1;

    CGL_lasttextureid = -1;
    CGL_stats_numtriangles = 0;
    CGL_stats_numtexturebinds = 0;
    CGL_stats_numstateswitches = 0;
}

void CGL_SwapBuffers2() {
    sdl_swapwindow();
    if (CGL_FrameBuffer) glViewport(0, 0, CGL_FrameBuffer->width, CGL_FrameBuffer->height);
    bind_windowframebuffer();
}

void CGL_DrawFramebuffer(int x, int y, int w, int h, int index) {
    if (index < 0 || index >= CGL_numframebuffers) return;
    glBindTexture(GL_TEXTURE_2D, CGL_framebufferdata[index].colourtexture);
    CGL_lasttextureid = -1;
    CGL_DrawQuad((float)x, (float)y, (float)w, (float)h, 0, 1, 1, 0);
}

// ---------------------------------------------------------------------------
// Post-processing values

void CGL_SetFadeValue(float value) {
    CGL_fadevalue = value;
}

void CGL_SetScanlineValue(float value) {
    CGL_scanlinevalue = value;
}

void CGL_SetPostShader(int id) {
    if (CGL_shaders_enabled) CGL_postshader_id = id;
}

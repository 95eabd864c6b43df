#include "common/gl_fixture.h"

#include "cgl/cgl.h"

#include <GL/glew.h>

#include <cstdio>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

std::vector<uint32_t> gl_read_pixels(int x, int y, int w, int h) {
    std::vector<uint8_t> rgba((size_t)w * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    std::vector<uint32_t> out((size_t)w * h);
    for (int row = 0; row < h; row++) {
        for (int col = 0; col < w; col++) {
            const uint8_t *p = &rgba[((size_t)(h - 1 - row) * w + col) * 4];
            out[(size_t)row * w + col] =
                ((uint32_t)p[3] << 24) | ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
        }
    }
    return out;
}

uint32_t gl_window_pixel(int x, int y) {
    GLint fbo = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fbo);
    if (fbo) glBindFramebuffer(GL_FRAMEBUFFER, 0);
    uint32_t value = gl_read_pixels(x, CGL_video.height - 1 - y, 1, 1)[0];
    if (fbo) glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)fbo);
    return value;
}

bool gl_save_png(const std::string &path, int w, int h) {
    std::vector<uint8_t> rgba((size_t)w * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    for (int i = 0; i < w * h; i++) rgba[(size_t)i * 4 + 3] = 255;
    // OpenGL rows run bottom-up; the file wants top-down.
    stbi_flip_vertically_on_write(1);
    return stbi_write_png(path.c_str(), w, h, 4, rgba.data(), w * 4) != 0;
}

void GLTest::SetUpTestSuite() {
    gl_context_up();
}

void GLTest::SetUp() {
    if (!gl_context_up()) FAIL() << "no OpenGL context could be made";
}

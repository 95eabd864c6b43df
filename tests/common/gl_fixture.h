// A real OpenGL context for the tests: the engine's own window and video
// start-up (CGL_InitVideo at 1280x720, windowed) on the test thread, made
// once per test program. Under Xvfb this is Mesa's software renderer; with
// no X display, SDL's offscreen driver is tried.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// Brings the context up (once); false when no display of any kind works.
bool gl_context_up();

// Reads a w x h block of the current read buffer at (x, y), OpenGL's
// bottom-left origin, as 0xAARRGGBB words, top row first.
std::vector<uint32_t> gl_read_pixels(int x, int y, int w, int h);

// The window's back buffer read at window coordinates with a top-left origin.
uint32_t gl_window_pixel(int x, int y);

// Writes the whole window (1280x720, read from the back buffer before the
// swap, or the front after) to a PNG file; returns false on failure.
bool gl_save_png(const std::string &path, int w = 1280, int h = 720);

class GLTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
};

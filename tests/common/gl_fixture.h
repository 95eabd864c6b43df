// A real OpenGL context for the tests (gl_context_up, on the test thread)
// and what they read back from it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/gl_context.h"

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

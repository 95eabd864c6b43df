// The real program: its start-up lines, closing its window, and a clean
// refusal without a display.
#include <gtest/gtest.h>

#include "common/program.h"

#include <unistd.h>

#include <cstdlib>

namespace {

const std::string kBinary = QO_BINARY_DIR "/qostarfold";

TEST(Program, StartsUpInOrderAndExitsZeroWhenItsWindowIsClosed) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (make test runs under Xvfb)";
    Program program;
    ASSERT_TRUE(program_start(program, kBinary, QO_BINARY_DIR));
    ASSERT_TRUE(program_wait_for(program, "- Create Scanline bitmap", 20000)) << program.output;

    const char *lines[] = {"- Desktop size: ",
                           "- Set window position\n",
                           "- Init Screenmode\n",
                           "- Set focus\n",
                           "- Set OpenGL hdc\n",
                           "OpenGL driver version: ",
                           "- Set OpenGL Viewport and 2D projection\n",
                           "- Init GLEW\n",
                           "- Ready for GLSL\n",
                           "- Set Vsync (Fullscreen)\n",
                           "- Init Framebuffer\n",
                           "- Create Scanline bitmap (non-shader platforms)\n"};
    size_t at = 0;
    for (const char *line : lines) {
        size_t found = program.output.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n"
                                            << program.output;
        at = found;
    }

    // Let the frame loop run a little, then close the window.
    usleep(500 * 1000);
    bool closed = false;
    for (int attempt = 0; attempt < 50 && !closed; attempt++) {
        closed = program_close_window(program);
        if (!closed) usleep(100 * 1000);
    }
    ASSERT_TRUE(closed) << "no window of the program found";
    EXPECT_EQ(program_wait_exit(program, 10000), 0) << program.output;
}

TEST(Program, WithoutADisplayPrintsWhyAndFails) {
    Program program;
    ASSERT_TRUE(program_start(program, kBinary, QO_BINARY_DIR, true));
    int code = program_wait_exit(program, 20000);
    EXPECT_NE(code, 0);
    EXPECT_NE(code, -1) << "the program hung or crashed:\n" << program.output;
    EXPECT_NE(program.output.find("Could not start SDL video"), std::string::npos)
        << program.output;
}

}  // namespace

// The engine's own window and OpenGL context (CGL_InitVideo at 1280x720,
// windowed), made once per program. Under Xvfb this is Mesa's software
// renderer; with no X display, SDL's offscreen driver is tried. Free of
// GoogleTest, so that the benchmarks build without the tests.
#pragma once

// Brings the context up (once); false when no display of any kind works.
bool gl_context_up();

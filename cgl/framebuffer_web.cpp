// The platform half of presenting in the browser. The page lays the canvas
// out at 16:9 in CSS pixels; its backing store follows that box times the
// device pixel ratio, so the picture is drawn at the size it is shown and
// its scanlines stay sharp. The browser shows the frame when the frame wait
// hands control back to it: the swap has nothing to do.
#include <emscripten/html5.h>

#include "cgl/framebuffer.h"

void sdl_swapwindow() {}

void sdl_drawablesize(int *width, int *height) {
    double css_w = 0, css_h = 0;
    if (emscripten_get_element_css_size("#canvas", &css_w, &css_h) != EMSCRIPTEN_RESULT_SUCCESS)
        return;
    const double ratio = emscripten_get_device_pixel_ratio();
    int want_w = (int)(css_w * ratio + 0.5), want_h = (int)(css_h * ratio + 0.5);
    if (want_w <= 0 || want_h <= 0) return;
    int w = 0, h = 0;
    emscripten_get_canvas_element_size("#canvas", &w, &h);
    if (w != want_w || h != want_h) emscripten_set_canvas_element_size("#canvas", want_w, want_h);
    *width = want_w;
    *height = want_h;
}

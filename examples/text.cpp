// Text in a bitmap font, and a sound played on a key: Space plays the
// blip, Escape quits.
#include "cgl/cgl.h"
#include "corefile/corefile.h"
#include "sound/sound.h"

namespace {

const int kWidth = 160, kHeight = 90;

s_font font;  // fonts and sounds are kept by address: keep them alive
s_sound blip;

}  // namespace

void coremain() {
    if (!corefile_mountimage("text.dat", 0)) return;
    CGL_InitVideo(640, 360, 0);
    CGL_SetTitle("Text and sound");
    int picture = CGL_InitFramebuffer(kWidth, kHeight);
    if (picture >= 0) CGL_SetFramebuffer(picture);

    // 44100 Hz, 16 bits, stereo; without a sound device the program runs
    // silent. Sounds of any rate are played at their own speed.
    Soundsystem_Init(44100, 16, 2);

    // The font picture's top row marks where each letter starts; the
    // letters, from the space on, fill the rows below it.
    int ok = CGL_InitFont("font.tga", &font);
    ok &= Soundsystem_LoadSound("blip.wav", &blip);
    if (!ok) {
        CGL_CloseVideo();
        return;
    }
    CGL_SetFontSpacing(1, &font);

    int plays = 0;
    for (;;) {
        CGL_WaitRefresh();
        int held = 0, pressed = 0;
        CGL_GetKeys(&held, &pressed);
        if (pressed & CGL_KEY_ESCAPE) break;
        if (pressed & CGL_KEY_BUTTON1) {  // Space
            Soundsystem_PlaySound(&blip, 0);
            plays++;
        }

        CGL_DrawBox(0, 0, kWidth, kHeight, 0xFF302010);
        CGL_DrawBox(0, 0, 0, 0, 0xFFFFFFFF);
        CGL_DrawCenteredText(30, font, "PRESS SPACE");
        CGL_DrawCenteredText(30 + font.height + 4, font, "PLAYED %d TIMES", plays);
        CGL_DrawText(2, kHeight - font.height - 2, font, "ESC: QUIT");
        CGL_DrawText(2, 2, font, "%d FPS", CGL_GetFPS());
        CGL_SwapBuffers();
    }
    CGL_CloseVideo();
}

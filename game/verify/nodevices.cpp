// The engine's device calls as the verifier alone has them: none.
//
// A frame that is played but not drawn (the verifier's) still names the
// drawing and the input of a frame that is drawn, so the linker asks for
// them; the verifier never makes those calls, and one here would be a
// fault, so each stops the program. The slingshot's sound is asked for
// in every frame that triggers it, drawn or not, and is nothing here, as
// it is nothing to the game's state anywhere.
#include <cstdio>
#include <cstdlib>

#include "cgl/cgl.h"
#include "sound/sound.h"

namespace {

[[noreturn]] void NotHere(const char *call) {
    std::fprintf(stderr, "qostarfold-verify: %s called, the verifier has no devices\n", call);
    std::abort();
}

}  // namespace

void Soundsystem_PlaySound(s_sound *, int) {}
void Soundsystem_SetFrequency(s_sound *, int) {}

int CGL_GetKeys(int *, int *) {
    NotHere("CGL_GetKeys");
}
void CGL_GetMouse(int *, int *, int *) {
    NotHere("CGL_GetMouse");
}
void CGL_BindTexture(int) {
    NotHere("CGL_BindTexture");
}
void CGL_SetBlendMode(int) {
    NotHere("CGL_SetBlendMode");
}
void CGL_EnableRenderState(int) {
    NotHere("CGL_EnableRenderState");
}
void CGL_DisableRenderState(int) {
    NotHere("CGL_DisableRenderState");
}
void CGL_DrawQuad(float, float, float, float, float, float, float, float) {
    NotHere("CGL_DrawQuad");
}
void CGL_DrawRotatedQuad(float, float, float, float, float, float, float, float, float) {
    NotHere("CGL_DrawRotatedQuad");
}
void CGL_DrawBitmap(int, int, s_bitmap) {
    NotHere("CGL_DrawBitmap");
}
void CGL_DrawCenteredText(int, const s_font &, const char *, ...) {
    NotHere("CGL_DrawCenteredText");
}

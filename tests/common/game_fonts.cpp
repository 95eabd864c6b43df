#include "common/game_fonts.h"

#include "cgl/cgl.h"
#include "corefile/corefile.h"
#include "game/assets.h"

bool game_fonts_loaded() {
    static int state = 0;
    if (state == 0) {
        state = -1;
        if (corefile_mountimage("qostarfold.dat", 0) > 0) {
            CGL_InitFont("font_game.tga", &font_game);
            CGL_InitFont("font_game2.tga", &font_game2);
            if (font_game.numletters > 60 && font_game2.numletters > 60) state = 1;
        }
    }
    return state > 0;
}

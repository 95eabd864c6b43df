// The game's two fonts, loaded once from the resource image beside the
// tests (qostarfold.dat in the build directory). Needs a GL context.
#pragma once

// True when both fonts scanned to their letters.
bool game_fonts_loaded();

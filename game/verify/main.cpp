// qostarfold-verify: the replay verifier alone, `qostarfold --verify`
// without the window, the sound or the devices it never uses. It builds
// where the engine's libraries cannot (a 32-bit x86 build on a 64-bit
// system, with QO_VERIFY_ONLY), to show that such a build plays the
// committed games bit for bit as every other does.
#include <cstdio>

#include "game/play.h"

int main(int argc, char **argv) {
    if (argc < 2) {
        std::printf("usage: qostarfold-verify FILE...\n");
        return 2;
    }
    return VerifyReplayFiles(argc - 1, argv + 1, stdout);
}

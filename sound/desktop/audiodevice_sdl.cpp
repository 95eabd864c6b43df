// The desktop's audio device: SDL asks for one mix buffer at a time and
// sizes the sound server's buffer to match; a smaller one (23 ms) ran dry
// on a busy machine.
#include "sound/sound.h"

int audiodevice_pieceframes(unsigned /*rate*/) {
    return SOUNDSYSTEM_BUFFERFRAMES;
}

// The browser's audio device. SDL plays through a ScriptProcessorNode whose
// buffer holds the frames asked for here, and a buffer filled in its event
// is heard only after the one playing: with a whole desktop mix buffer
// (46 ms) that alone is half the latency budget. Half of one still leaves
// the page's main thread, where the event runs between frames, 23 ms to
// answer. The driver mixes pieces of this size too, so a sound started
// waits at most 23 ms for the mix that carries it.
//
// The audio context is made here at the mixer's rate where the browser
// allows it, so the browser resamples for the output device and SDL needs
// no conversion of its own, which would hold back up to a callback's worth
// of frames more.
#include "sound/sound.h"

// Made before SDL opens the device, which then takes this context and
// leaves it to resume at the first key, click or touch
// (cmake/cgl-web-library.js).
extern "C" void cgl_web_audiocontext(unsigned rate);

int audiodevice_pieceframes(unsigned rate) {
    cgl_web_audiocontext(rate);
    return SOUNDSYSTEM_BUFFERFRAMES / 2;
}

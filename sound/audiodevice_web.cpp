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

// Made before SDL opens the device, which then takes this context; the page
// resumes it at every gesture while it is not running, and suspends it while
// the tab is hidden (cmake/cgl-web-library.js). 0 when the browser gives no
// context at all, with the reason printed: the game then runs silent.
extern "C" int cgl_web_audiocontext(unsigned rate);

int audiodevice_pieceframes(unsigned rate) {
    if (!cgl_web_audiocontext(rate)) return 0;
    return SOUNDSYSTEM_BUFFERFRAMES / 2;
}

// Gamepads on SDL: hot-plugged game controllers, their mappings, and the
// translation of their buttons and left stick into virtual keys.
//
// Pads are opened, read and closed on the main thread, from start-up and the
// event handler; each is known by its joystick instance id, which SDL never
// hands out twice. What a pad holds is kept per source (each button, each
// stick direction), so two sources of one key, or two pads, never release
// each other. The game thread sees only the key table below.
#include "cgl/gamepad.h"
#include "cgl/input.h"
#include "cgl/paths.h"

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

enum : int {
    kVkReturn = 13,
    kVkEscape = 27,
    kVkSpace = 32,
    kVkLeft = 37,
    kVkUp = 38,
    kVkRight = 39,
    kVkDown = 40,
};

// A pad's sources: its buttons by SDL's button number, then the four
// directions of the left stick.
enum : int {
    kStickLeft = SDL_CONTROLLER_BUTTON_MAX,
    kStickRight,
    kStickUp,
    kStickDown,
    kNumSources,
};
static_assert(kNumSources <= 32, "a pad's sources fit in one word");

// The virtual key each source holds, and the key it reports as the key code.
// A gives Space to play but Enter as its code, so on the name-entry screen it
// confirms the name instead of typing a space.
struct PadKey {
    int source;
    int vk;
    int codevk;
};
const PadKey kPadKeys[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, kVkLeft, kVkLeft},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kVkRight, kVkRight},
    {SDL_CONTROLLER_BUTTON_DPAD_UP, kVkUp, kVkUp},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, kVkDown, kVkDown},
    {kStickLeft, kVkLeft, kVkLeft},
    {kStickRight, kVkRight, kVkRight},
    {kStickUp, kVkUp, kVkUp},
    {kStickDown, kVkDown, kVkDown},
    {SDL_CONTROLLER_BUTTON_A, kVkSpace, kVkReturn},
    {SDL_CONTROLLER_BUTTON_B, kVkEscape, kVkEscape},
    {SDL_CONTROLLER_BUTTON_BACK, kVkEscape, kVkEscape},
    {SDL_CONTROLLER_BUTTON_START, kVkReturn, kVkReturn},
};

// A stick direction goes down past 14000 of 32767 and up again below 10000,
// so a stick resting near the edge of its dead zone does not flicker.
constexpr int kStickPress = 14000;
constexpr int kStickRelease = 10000;

// The pads' key table, by virtual key: 1 while some pad holds it. A press
// is not remembered past its release: a screen that reads no keys must not
// find a press from before it waiting for the next one.
std::atomic<uint8_t> g_keys[256];

struct Pad {
    SDL_GameController *controller;
    SDL_JoystickID id;
    uint32_t sources;  // bit s: source s is down
};
constexpr int kMaxPads = 8;
Pad g_pads[kMaxPads];
std::atomic<int> g_numpads{0};

bool SourceDown(const Pad &pad, int source) {
    return (pad.sources >> source) & 1u;
}

// Whether any open pad holds vk, as a key or (code) as the key code.
bool PadsHold(int vk, bool code) {
    for (const Pad &pad : g_pads) {
        if (!pad.controller) continue;
        for (const PadKey &key : kPadKeys)
            if ((code ? key.codevk : key.vk) == vk && SourceDown(pad, key.source)) return true;
    }
    return false;
}

void SetSource(Pad &pad, int source, bool down) {
    if (SourceDown(pad, source) == down) return;
    pad.sources ^= 1u << source;
    for (const PadKey &key : kPadKeys) {
        if (key.source != source) continue;
        g_keys[key.vk].store(PadsHold(key.vk, false) ? 1 : 0, std::memory_order_relaxed);
        // The key code follows a key-down and is cleared when that key is
        // let go, as the keyboard's is.
        if (down) {
            cgl_keycode.store(key.codevk, std::memory_order_relaxed);
        } else if (!PadsHold(key.codevk, true) &&
                   cgl_keycode.load(std::memory_order_relaxed) == key.codevk) {
            cgl_input_prevkeycode.store(0, std::memory_order_relaxed);
            cgl_keycode.store(0, std::memory_order_relaxed);
        }
    }
}

// One stick axis: the negative and positive direction sources.
void SetStick(Pad &pad, int negative, int positive, int value) {
    int threshold = SourceDown(pad, negative) ? kStickRelease : kStickPress;
    SetSource(pad, negative, value < -threshold);
    threshold = SourceDown(pad, positive) ? kStickRelease : kStickPress;
    SetSource(pad, positive, value > threshold);
}

Pad *FindPad(SDL_JoystickID id) {
    for (Pad &pad : g_pads)
        if (pad.controller && pad.id == id) return &pad;
    return nullptr;
}

const char *PadName(SDL_GameController *controller) {
    const char *name = SDL_GameControllerName(controller);
    return name ? name : "unnamed pad";
}

void OpenPad(int index) {
    if (!SDL_IsGameController(index)) return;  // left to the controller table
    if (FindPad(SDL_JoystickGetDeviceInstanceID(index))) return;
    Pad *slot = nullptr;
    for (Pad &pad : g_pads)
        if (!pad.controller && !slot) slot = &pad;
    if (!slot) {
        const char *name = SDL_GameControllerNameForIndex(index);
        printf("- Gamepad %s ignored: %d pads are in use\n", name ? name : "unnamed pad", kMaxPads);
        return;
    }
    SDL_GameController *controller = SDL_GameControllerOpen(index);
    if (!controller) {
        printf("- Gamepad %d could not be opened: %s\n", index, SDL_GetError());
        return;
    }
    *slot = Pad{controller, SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller)), 0};
    g_numpads.fetch_add(1, std::memory_order_relaxed);
    printf("- Gamepad connected: %s\n", PadName(controller));
    // Whatever is already held when the pad arrives counts from now.
    for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX; b++)
        SetSource(*slot, b, SDL_GameControllerGetButton(controller, SDL_GameControllerButton(b)));
    SetStick(*slot, kStickLeft, kStickRight,
             SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_LEFTX));
    SetStick(*slot, kStickUp, kStickDown,
             SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_LEFTY));
}

void ClosePad(SDL_JoystickID id) {
    Pad *pad = FindPad(id);
    if (!pad) return;
    // Everything it held is let go, so no key stays down with the pad gone.
    for (int source = 0; source < kNumSources; source++) SetSource(*pad, source, false);
    printf("- Gamepad removed: %s\n", PadName(pad->controller));
    SDL_GameControllerClose(pad->controller);
    *pad = Pad{nullptr, -1, 0};
    g_numpads.fetch_sub(1, std::memory_order_relaxed);
}

// A mapping file in SDL's community format; none there is no error.
void LoadMappings(const std::string &path) {
    SDL_RWops *file = SDL_RWFromFile(path.c_str(), "rb");
    if (!file) return;
    int count = SDL_GameControllerAddMappingsFromRW(file, 1);
    if (count < 0)
        printf("- Gamepad mappings in %s not read: %s\n", path.c_str(), SDL_GetError());
    else
        printf("- Gamepad mappings: %d from %s\n", count, path.c_str());
}

}  // namespace

void sdl_gamepadinit() {
    // Pads are read whether or not the window has the focus, as the keyboard is.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (!SDL_WasInit(SDL_INIT_GAMECONTROLLER)) {
        // Pads of an earlier run went with SDL_Quit.
        for (Pad &pad : g_pads) pad = Pad{nullptr, -1, 0};
        for (auto &key : g_keys) key.store(0, std::memory_order_relaxed);
        g_numpads.store(0, std::memory_order_relaxed);
        if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
            printf("- Gamepads unavailable: %s\n", SDL_GetError());
            return;
        }
    }
    // SDL has its own database and SDL_GAMECONTROLLERCONFIG already; the
    // files add to them, the one beside the executable last so that it wins
    // over the installed one. Mappings from the environment win over both.
    for (const std::string &dir : sdl_datafolders()) LoadMappings(dir + "gamecontrollerdb.txt");
    // Pads plugged in before now, including those only the files can map.
    for (int i = 0; i < SDL_NumJoysticks(); i++) OpenPad(i);
}

void sdl_gamepadevent(const SDL_Event &event) {
    switch (event.type) {
        case SDL_CONTROLLERDEVICEADDED:
            OpenPad(event.cdevice.which);  // a device index
            break;
        case SDL_CONTROLLERDEVICEREMOVED:
            ClosePad(event.cdevice.which);  // an instance id
            break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            if (Pad *pad = FindPad(event.cbutton.which))
                if (event.cbutton.button < SDL_CONTROLLER_BUTTON_MAX)
                    SetSource(*pad, event.cbutton.button, event.cbutton.state == SDL_PRESSED);
            break;
        case SDL_CONTROLLERAXISMOTION:
            if (Pad *pad = FindPad(event.caxis.which)) {
                if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX)
                    SetStick(*pad, kStickLeft, kStickRight, event.caxis.value);
                if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY)
                    SetStick(*pad, kStickUp, kStickDown, event.caxis.value);
            }
            break;
        default:
            break;
    }
}

bool sdl_padkeydown(int vk) {
    return vk >= 0 && vk < 256 && g_keys[vk].load(std::memory_order_relaxed) != 0;
}

int sdl_numgamepads() {
    return g_numpads.load(std::memory_order_relaxed);
}

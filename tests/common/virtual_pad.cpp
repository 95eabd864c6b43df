#include "common/virtual_pad.h"

#include <string>

SDL_Joystick *virtualpad_attach(Uint16 product, bool mapped) {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.naxes = 2;
    desc.nbuttons = 12;
    desc.vendor_id = 0x7157;
    desc.product_id = product;
    desc.name = "Test Pad";
    int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index >= 0 && mapped) {
        // The mapping names the pad's GUID, known once it is attached; SDL
        // takes a pad for a controller when it arrives.
        char guid[33];
        SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid, sizeof(guid));
        SDL_JoystickDetachVirtual(index);
        std::string mapping =
            std::string(guid) + ",Test Pad,a:b3,b:b1,start:b0,back:b4,dpleft:b5,dpup:b6,leftx:a0,";
        if (SDL_GameControllerAddMapping(mapping.c_str()) < 0) return nullptr;
        index = SDL_JoystickAttachVirtualEx(&desc);
    }
    return index < 0 ? nullptr : SDL_JoystickOpen(index);
}

void virtualpad_detach(SDL_Joystick *pad) {
    SDL_JoystickID id = SDL_JoystickInstanceID(pad);
    for (int i = 0; i < SDL_NumJoysticks(); i++)
        if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
    SDL_JoystickClose(pad);
}

// The command line of a program that answers none of its own: coremain
// starts whatever it holds. Alone in its file, so that the linker takes it
// from the library only when the program defines no coremain_command.
#include "cgl/platform.h"

int coremain_command() {
    return -1;
}

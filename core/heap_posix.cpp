// The heap's usable size of a block, where the C library is a POSIX one
// (glibc, and emscripten's in the browser).
#include "core/core.h"

#include <malloc.h>

size_t _wrap_blocksize(void *block) {
    return malloc_usable_size(block);
}

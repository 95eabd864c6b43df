// The heap's usable size of a block on Windows.
#include "core/core.h"

#include <malloc.h>

size_t _wrap_blocksize(void *block) {
    return _msize(block);
}

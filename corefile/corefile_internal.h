// Pieces shared between the archive (corefile.cpp) and the listing
// (dirent.cpp); not part of the engine's interface.
#pragma once

#include <cstdint>

#include "core/core.h"

#define COREFILE_SOURCE "corefile/corefile-std"
#define CF_ALLOC(size) _wrap_malloc_dbg((size), COREFILE_SOURCE, __LINE__)
#define CF_FREE(block) _wrap_free_dbg((block), COREFILE_SOURCE, __LINE__)

// One line of output, through the message hook when one is installed.
void corefile_say(int problem, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Size of entry i: for image mounts the distance to the next offset
// (romsize for the last), cut at the image's real end, and 0 for an entry
// whose offset lies outside the image or past the next one; for a directory
// mount the file's real size on disk (0 when it cannot be read).
int32_t corefile_entrysize(uint32_t i);

// Number of records corefile_filelist has room for.
extern uint32_t corefile_listcapacity;

// Frees the labels and names of the current listing and the collected
// directory names; the listing array itself stays.
void corefile_freelisting();

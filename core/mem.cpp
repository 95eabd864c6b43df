// The counting allocator and the small memory helpers.
//
// A block counts with the heap's usable size rather than the size asked
// for, so freeing it subtracts exactly what was added.
#include "core/core.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

uint32_t g_mem_in_use = 0;
uint32_t g_mem_in_use_peak = 0;

void *_wrap_malloc(size_t size) {
    return malloc(size);
}
void _wrap_free(void *block) {
    free(block);
}

void *_wrap_malloc_dbg(size_t size, const char *source, int line) {
    void *block = malloc(size);
    if (!block) {
        printf("%s(%d): wrap_malloc(%d) failed!\n", source, line, (int)size);
        return nullptr;
    }
    g_mem_in_use += (uint32_t)_wrap_blocksize(block);
    if (g_mem_in_use > g_mem_in_use_peak) g_mem_in_use_peak = g_mem_in_use;
    return block;
}

void _wrap_free_dbg(void *block, const char *source, int line) {
    if (!block) {
        printf("%s(%d): wrap_free() tried to free a NULL pointer!\n", source, line);
        return;
    }
    g_mem_in_use -= (uint32_t)_wrap_blocksize(block);
    free(block);
}

void *_wrap_malloc_iwram(size_t size) {
    return _wrap_malloc(size);
}
void _wrap_free_iwram(void *block) {
    _wrap_free(block);
}
void *_wrap_malloc_iwram_dbg(size_t size, const char *source, int line) {
    return _wrap_malloc_dbg(size, source, line);
}
void _wrap_free_iwram_dbg(void *block, const char *source, int line) {
    _wrap_free_dbg(block, source, line);
}

// Words first, then the remaining 0..3 bytes; memcpy keeps it free of
// alignment assumptions.
void wrap_memcpy(void *destination, const void *source, int count) {
    if (count <= 0) return;
    auto *d = static_cast<unsigned char *>(destination);
    auto *s = static_cast<const unsigned char *>(source);
    int words = count / 4;
    memcpy(d, s, (size_t)words * 4);
    for (int i = words * 4; i < count; i++) d[i] = s[i];
}

void wrap_memcpy16(void *destination, const void *source, int count) {
    if (count > 0) memcpy(destination, source, (size_t)count * 2);
}

void wrap_memcpy32(void *destination, const void *source, int count) {
    if (count > 0) memcpy(destination, source, (size_t)count * 4);
}

void wrap_memset(void *destination, int value, int count) {
    if (count > 0) memset(destination, value & 0xFF, (size_t)count);
}

void wrap_memclr(void *destination, int count) {
    wrap_memset(destination, 0, count);
}

void wrap_showusage() {
    printf("memory usage: %d (peak: %d)\n", (int)g_mem_in_use, (int)g_mem_in_use_peak);
}

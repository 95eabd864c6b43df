// Core services: debug output and the counting allocator.
//
// The resource archive and the directory listing report through
// _dbg_printf and take their memory through _wrap_malloc_dbg /
// _wrap_free_dbg, which count the heap's usable size of every block so
// that wrap_showusage can tell how much is held and the most ever held.
// The counters are plain words meant for one thread (the game thread).
#pragma once

#include <cstddef>
#include <cstdint>

extern uint32_t g_mem_in_use;
extern uint32_t g_mem_in_use_peak;

void _dbg_init();
void _dbg_shutdown();
int _dbg_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void _dbg_assert(const char *source, int line, const char *expression);
[[noreturn]] void error(const char *message);

void *_wrap_malloc(size_t size);
void _wrap_free(void *block);
// The heap's usable size of a block from malloc (heap_posix.cpp,
// heap_win32.cpp).
size_t _wrap_blocksize(void *block);
void *_wrap_malloc_dbg(size_t size, const char *source, int line);
void _wrap_free_dbg(void *block, const char *source, int line);

void *_wrap_malloc_iwram(size_t size);
void _wrap_free_iwram(void *block);
void *_wrap_malloc_iwram_dbg(size_t size, const char *source, int line);
void _wrap_free_iwram_dbg(void *block, const char *source, int line);

void wrap_memcpy(void *destination, const void *source, int count);
void wrap_memcpy16(void *destination, const void *source, int count);
void wrap_memcpy32(void *destination, const void *source, int count);
void wrap_memset(void *destination, int value, int count);
void wrap_memclr(void *destination, int count);
void wrap_showusage();

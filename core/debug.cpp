// Debug output: formatted lines on standard output and the two fatal ends.
#include "core/core.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void _dbg_init() {}
void _dbg_shutdown() {}

int _dbg_printf(const char *format, ...) {
    va_list args;
    va_start(args, format);
    int written = vprintf(format, args);
    va_end(args);
    return written;
}

void _dbg_assert(const char *source, int line, const char *expression) {
    printf("%s(%d): assertion failed: %s\n", source, line, expression);
    fflush(stdout);
    exit(1);
}

void error(const char *message) {
    printf("Error: %s\n", message);
    fflush(stdout);
    exit(1);
}

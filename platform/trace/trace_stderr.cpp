#include <unistd.h>

#include "platform/trace/trace_output.h"

void trace_write(const char* line, size_t length) {
    // One write per line and no stream buffer: the line is out the moment the
    // operation happens, and lines never interleave.
    while (length > 0) {
        const ssize_t written = write(STDERR_FILENO, line, length);
        if (written <= 0) return;
        line += written;
        length -= static_cast<size_t>(written);
    }
}

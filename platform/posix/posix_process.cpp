#include "platform/posix/posix_streams.h"
#include "platform/process.h"
#include "platform/trace/trace_output.h"

// The dry-run program's process side: replies are also traced, so the trace
// reads as one story.

void platform_prepare_standard_streams() { posix_prepare_standard_streams(); }

void platform_write_reply(const char* text) {
    posix_write_line(text);
    char line[64];
    size_t length = posix_append_text(line, 0, sizeof line - 1, "reply ");
    length = posix_append_text(line, length, sizeof line - 1, text);
    trace_write(line, posix_append_text(line, length, sizeof line, "\n"));
}

bool platform_read(platform_handle input, char* buffer, uint32_t capacity, uint32_t* count) {
    return posix_read(posix_fd(input), buffer, capacity, count);
}

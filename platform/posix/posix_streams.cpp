#include "platform/posix/posix_streams.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "platform/process.h"

namespace {

void write_all(int fd, const char* bytes, size_t length) {
    while (length > 0) {
        const ssize_t written = write(fd, bytes, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return; // a peer that stopped listening is not our failure
        bytes += written;
        length -= static_cast<size_t>(written);
    }
}

int standard_input_fd = STDIN_FILENO;

} // namespace

// A reply is a few bytes, and formatting it with the C library costs more than its write.
size_t posix_append_text(char* line, size_t length, size_t capacity, const char* text) {
    while (*text != '\0' && length < capacity) line[length++] = *text++;
    return length;
}

void posix_write_line(const char* text) {
    char line[64];
    const size_t length = posix_append_text(line, 0, sizeof line - 2, text);
    write_all(STDOUT_FILENO, line, posix_append_text(line, length, sizeof line, "\r\n"));
}

void posix_prepare_standard_streams() {
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // A controller that closes our standard output must not kill us before the
    // end of input releases what we hold.
    std::signal(SIGPIPE, SIG_IGN);
}

bool posix_read(int fd, char* buffer, uint32_t capacity, uint32_t* count) {
    ssize_t got = 0;
    do {
        got = read(fd, buffer, capacity);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return false;
    *count = static_cast<uint32_t>(got);
    return true;
}

int posix_fd(void* input) { return *static_cast<int*>(input); }

// Off Windows there are no DPI, priority or timer libraries to look up.
platform_handle platform_loaded_module(const char* /*name*/) { return nullptr; }
platform_handle platform_load_module(const char* /*name*/) { return nullptr; }
platform_entry platform_find_entry(platform_handle /*module*/, const char* /*name*/) { return nullptr; }

void platform_raise_process_priority() {}
void platform_raise_thread_priority() {}

void platform_write_ready_line(const char* text) { posix_write_line(text); }

platform_handle platform_standard_input() { return &standard_input_fd; }

#pragma once
#include <cstddef>
#include <cstdint>

// What every POSIX process side shares: the standard streams as file
// descriptors, and the Windows-only start-up steps as no-ops.

/// Unbuffered standard streams, and a closed peer that cannot kill the run.
void posix_prepare_standard_streams();

/// Text and CR LF in one write, so a peer never sees half a line.
void posix_write_line(const char* text);

/// Copies text after the first `length` bytes of line, as much as fits in
/// `capacity`; returns the new length.
size_t posix_append_text(char* line, size_t length, size_t capacity, const char* text);

/// One read of up to capacity bytes from fd, retried when a signal cuts it short.
bool posix_read(int fd, char* buffer, uint32_t capacity, uint32_t* count);

/// The file descriptor behind the handle platform_standard_input gives.
int posix_fd(void* input);

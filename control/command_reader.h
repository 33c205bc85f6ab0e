#pragma once
#include <cstdint>

#include "platform/process.h"

constexpr uint32_t READ_CHUNK_SIZE = 4096;
/// Longest line kept; the rest of a longer line is dropped up to its line feed.
constexpr uint32_t LINE_CAPACITY = 511;

/// Reads and handles commands until the input ends, a read fails or QUIT.
void run_command_reader(platform_handle input);

/// Frames one chunk of input into lines and handles them, then carries out the
/// chunk's pending placement. Returns false after QUIT; the rest is unread.
bool handle_chunk(const char* bytes, uint32_t count);

/// Forgets a partly assembled line and any pending placement.
void reset_command_reader();

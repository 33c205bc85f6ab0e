#pragma once
#include <cstdint>

// The process side of the platform seam: what start-up, the reader and the
// replies need from the operating system. Entry points are looked up by name
// and called through typed pointers, so a fake of the look-ups can stand in.

#if defined(_WIN32) && !defined(_WIN64)
#define PLATFORM_API __stdcall
#else
#define PLATFORM_API
#endif

using platform_handle = void*;
/// A looked-up entry point before it is cast to its real type.
using platform_entry = void (*)();

using set_dpi_awareness_context_entry = int(PLATFORM_API*)(void* context);
using set_dpi_awareness_entry = int32_t(PLATFORM_API*)(int value);
using set_dpi_aware_entry = int(PLATFORM_API*)();
using time_period_entry = uint32_t(PLATFORM_API*)(uint32_t milliseconds);

/// A library already loaded into the process, or null; never loads it.
platform_handle platform_loaded_module(const char* name);
/// Loads a library (kept for the whole run), or null when it does not load.
platform_handle platform_load_module(const char* name);
/// An entry point of a loaded library, or null.
platform_entry platform_find_entry(platform_handle module, const char* name);

void platform_raise_process_priority();
void platform_raise_thread_priority();
/// Makes standard input and output unbuffered, so replies need no flush, and
/// keeps a closed peer from ending the run before it has released everything.
void platform_prepare_standard_streams();

/// Writes the ready line, ended by CR LF, unbuffered.
void platform_write_ready_line(const char* text);
/// Writes one reply line, ended by CR LF, unbuffered.
void platform_write_reply(const char* text);

platform_handle platform_standard_input();
/// One blocking read of up to capacity bytes. False when the read fails;
/// true with *count 0 at the end of the input.
bool platform_read(platform_handle input, char* buffer, uint32_t capacity, uint32_t* count);

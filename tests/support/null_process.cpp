#include "platform/process.h"

// The process side for programs that feed the reader themselves through
// handle_chunk (the fuzzer, the in-process benchmark): nothing to look up,
// nothing to read, and replies go nowhere.

platform_handle platform_loaded_module(const char* /*name*/) { return nullptr; }
platform_handle platform_load_module(const char* /*name*/) { return nullptr; }
platform_entry platform_find_entry(platform_handle /*module*/, const char* /*name*/) { return nullptr; }
void platform_raise_process_priority() {}
void platform_raise_thread_priority() {}
void platform_prepare_standard_streams() {}
void platform_write_ready_line(const char* /*text*/) {}
void platform_write_reply(const char* /*text*/) {}
platform_handle platform_standard_input() { return nullptr; }
bool platform_read(platform_handle /*input*/, char* /*buffer*/, uint32_t /*capacity*/, uint32_t* count) {
    *count = 0;
    return true;
}

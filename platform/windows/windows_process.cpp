#include <windows.h>

#include <cstdio>

#include "platform/process.h"

platform_handle platform_loaded_module(const char* name) { return GetModuleHandleA(name); }

platform_handle platform_load_module(const char* name) { return LoadLibraryA(name); }

platform_entry platform_find_entry(platform_handle module, const char* name) {
    return reinterpret_cast<platform_entry>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void platform_raise_process_priority() { SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS); }

void platform_raise_thread_priority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }

void platform_prepare_standard_streams() {
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

// Standard output stays in text mode, so puts ends each line with CR LF.
void platform_write_ready_line(const char* text) { std::puts(text); }

void platform_write_reply(const char* text) { std::puts(text); }

platform_handle platform_standard_input() { return GetStdHandle(STD_INPUT_HANDLE); }

bool platform_read(platform_handle input, char* buffer, uint32_t capacity, uint32_t* count) {
    DWORD got = 0;
    const BOOL ok = ReadFile(input, buffer, capacity, &got, nullptr);
    *count = got;
    return ok != 0;
}

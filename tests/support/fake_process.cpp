#include "tests/support/fake_process.h"

#include <cstring>

#include "platform/process.h"
#include "platform/trace/trace_output.h"
#include "tests/support/recorded_trace.h"

fake_process_config fake_config;

namespace {

struct scripted_read {
    bool ok;
    std::string bytes;
};

std::vector<fake_call> call_log;
std::vector<scripted_read> read_script;
size_t next_read;
std::string standard_output;

// Distinct addresses stand for module handles and the standard-input handle.
char user32_module;
char shcore_module;
char winmm_module;
char standard_input_handle;

void log_call(const std::string& text) { call_log.push_back({text, recorded_trace().size()}); }

const char* module_name(platform_handle module) {
    if (module == &user32_module) return "user32.dll";
    if (module == &shcore_module) return "shcore.dll";
    if (module == &winmm_module) return "winmm.dll";
    return "UNKNOWN_MODULE";
}

int PLATFORM_API fake_set_dpi_awareness_context(void* context) {
    const auto value = reinterpret_cast<intptr_t>(context);
    log_call("SetProcessDpiAwarenessContext " + std::to_string(value));
    if (value == -4) return fake_config.context_v2_result;
    if (value == -3) return fake_config.context_v1_result;
    return 0;
}

int32_t PLATFORM_API fake_set_dpi_awareness(int value) {
    log_call("SetProcessDpiAwareness " + std::to_string(value));
    return fake_config.shcore_result;
}

int PLATFORM_API fake_set_dpi_aware() {
    log_call("SetProcessDPIAware");
    return fake_config.dpi_aware_result;
}

uint32_t PLATFORM_API fake_time_begin_period(uint32_t milliseconds) {
    log_call("timeBeginPeriod " + std::to_string(milliseconds));
    return 0;
}

uint32_t PLATFORM_API fake_time_end_period(uint32_t milliseconds) {
    log_call("timeEndPeriod " + std::to_string(milliseconds));
    return 0;
}

struct exported_entry {
    platform_handle module;
    const char* name;
    platform_entry entry;
};

const exported_entry EXPORTS[] = {
    {&user32_module, "SetProcessDpiAwarenessContext", reinterpret_cast<platform_entry>(fake_set_dpi_awareness_context)},
    {&user32_module, "SetProcessDPIAware", reinterpret_cast<platform_entry>(fake_set_dpi_aware)},
    {&shcore_module, "SetProcessDpiAwareness", reinterpret_cast<platform_entry>(fake_set_dpi_awareness)},
    {&winmm_module, "timeBeginPeriod", reinterpret_cast<platform_entry>(fake_time_begin_period)},
    {&winmm_module, "timeEndPeriod", reinterpret_cast<platform_entry>(fake_time_end_period)},
};

} // namespace

void reset_fake_process() {
    fake_config = fake_process_config{};
    call_log.clear();
    read_script.clear();
    next_read = 0;
    standard_output.clear();
}

void script_read(const std::string& chunk) { read_script.push_back({true, chunk}); }
void script_read_failure() { read_script.push_back({false, {}}); }

const std::vector<fake_call>& fake_call_log() { return call_log; }

std::vector<std::string> fake_calls() {
    std::vector<std::string> texts;
    for (const fake_call& call : call_log) texts.push_back(call.text);
    return texts;
}

size_t trace_lines_at(const std::string& call) {
    for (const fake_call& logged : call_log) {
        if (logged.text == call) return logged.trace_lines;
    }
    return SIZE_MAX;
}

const std::string& fake_stdout() { return standard_output; }

platform_handle platform_loaded_module(const char* name) {
    log_call(std::string("loaded_module ") + name);
    if (std::strcmp(name, "user32.dll") == 0 && fake_config.user32_loaded) return &user32_module;
    return nullptr;
}

platform_handle platform_load_module(const char* name) {
    log_call(std::string("load_module ") + name);
    if (std::strcmp(name, "shcore.dll") == 0 && fake_config.shcore_loads) return &shcore_module;
    if (std::strcmp(name, "winmm.dll") == 0 && fake_config.winmm_loads) return &winmm_module;
    return nullptr;
}

platform_entry platform_find_entry(platform_handle module, const char* name) {
    log_call(std::string("find_entry ") + module_name(module) + " " + name);
    if (fake_config.entries.count(name) == 0) return nullptr;
    for (const exported_entry& exported : EXPORTS) {
        if (exported.module == module && std::strcmp(exported.name, name) == 0) return exported.entry;
    }
    return nullptr;
}

void platform_raise_process_priority() { log_call("raise_process_priority"); }
void platform_raise_thread_priority() { log_call("raise_thread_priority"); }
void platform_prepare_standard_streams() { log_call("prepare_standard_streams"); }

void platform_write_ready_line(const char* text) {
    log_call(std::string("write_ready_line ") + text);
    standard_output += text;
    standard_output += "\r\n";
}

void platform_write_reply(const char* text) {
    log_call(std::string("write_reply ") + text);
    standard_output += text;
    standard_output += "\r\n";
    const std::string line = std::string("reply ") + text + "\n";
    trace_write(line.data(), line.size());
}

platform_handle platform_standard_input() {
    log_call("standard_input");
    return &standard_input_handle;
}

bool platform_read(platform_handle input, char* buffer, uint32_t capacity, uint32_t* count) {
    if (input != &standard_input_handle) {
        log_call("read WRONG_HANDLE");
        return false;
    }
    log_call("read " + std::to_string(capacity));
    if (next_read == read_script.size()) {
        *count = 0;
        return true;
    }
    const scripted_read& scripted = read_script[next_read++];
    if (!scripted.ok) return false;
    if (scripted.bytes.size() > capacity) {
        // A script longer than one read can deliver is a broken test.
        log_call("read OVERSIZED_CHUNK");
        return false;
    }
    std::memcpy(buffer, scripted.bytes.data(), scripted.bytes.size());
    *count = static_cast<uint32_t>(scripted.bytes.size());
    return true;
}

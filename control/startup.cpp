#include "control/startup.h"

#include <cstdint>

#include "control/command_reader.h"
#include "platform/process.h"
#include "reset/release_all.h"

namespace {

constexpr intptr_t DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE = -3;
constexpr intptr_t DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 = -4;
constexpr int PROCESS_PER_MONITOR_DPI_AWARE = 2;
constexpr uint32_t TIMER_RESOLUTION_MS = 1;

time_period_entry time_end_period;

template <typename entry_type>
entry_type find_entry(platform_handle module, const char* name) {
    // GetProcAddress hands back an untyped pointer; the name fixes its real type.
    return reinterpret_cast<entry_type>(platform_find_entry(module, name));
}

// The platform's awareness contexts are small negative numbers passed as a handle.
void* awareness_context(intptr_t value) { return reinterpret_cast<void*>(value); } // NOLINT(performance-no-int-to-ptr)

// True when the shell-scaling library is there and accepted the declaration.
bool declare_through_shcore() {
    platform_handle shcore = platform_load_module("shcore.dll");
    if (shcore == nullptr) return false;
    auto set_awareness = find_entry<set_dpi_awareness_entry>(shcore, "SetProcessDpiAwareness");
    if (set_awareness == nullptr) return false;
    return set_awareness(PROCESS_PER_MONITOR_DPI_AWARE) >= 0;
}

} // namespace

void declare_dpi_awareness() {
    platform_handle user32 = platform_loaded_module("user32.dll");
    if (user32 == nullptr) {
        declare_through_shcore();
        return;
    }
    auto set_context = find_entry<set_dpi_awareness_context_entry>(user32, "SetProcessDpiAwarenessContext");
    if (set_context != nullptr) {
        if (set_context(awareness_context(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) != 0) return;
        if (set_context(awareness_context(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE)) != 0) return;
    }
    if (declare_through_shcore()) return;
    auto set_aware = find_entry<set_dpi_aware_entry>(user32, "SetProcessDPIAware");
    if (set_aware != nullptr) set_aware();
}

void begin_timer_resolution() {
    platform_handle winmm = platform_load_module("winmm.dll");
    if (winmm == nullptr) return;
    auto time_begin_period = find_entry<time_period_entry>(winmm, "timeBeginPeriod");
    time_end_period = find_entry<time_period_entry>(winmm, "timeEndPeriod");
    if (time_begin_period != nullptr) time_begin_period(TIMER_RESOLUTION_MS);
}

void end_timer_resolution() {
    if (time_end_period == nullptr) return;
    time_end_period(TIMER_RESOLUTION_MS);
    time_end_period = nullptr; // given back once, never twice
}

int run_program() {
    declare_dpi_awareness();
    platform_raise_process_priority();
    platform_raise_thread_priority();
    begin_timer_resolution();
    platform_prepare_standard_streams();
    platform_write_ready_line(READY_LINE);
    run_command_reader(platform_standard_input());
    release_all_input();
    end_timer_resolution();
    return 0;
}

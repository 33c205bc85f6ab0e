#pragma once
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Stands in for platform/process.h in the in-process tests. Which libraries are
// there, which entry points they export and what each DPI call answers are set
// per test; every look-up and call is logged in order, and reads are served
// from a scripted list of chunks. Replies go into the recorded trace as
// "reply TEXT", as the dry-run program's process side writes them.
//
// Log entries, one per call:
//   loaded_module NAME            find_entry MODULE NAME     load_module NAME
//   SetProcessDpiAwarenessContext -4    SetProcessDpiAwareness 2
//   SetProcessDPIAware            timeBeginPeriod 1          timeEndPeriod 1
//   raise_process_priority        raise_thread_priority      prepare_standard_streams
//   write_ready_line TEXT         write_reply TEXT           standard_input
//   read CAPACITY                 (read of a handle other than standard input: read WRONG_HANDLE)

struct fake_process_config {
    bool user32_loaded = true; ///< found by loaded_module("user32.dll")
    bool shcore_loads = true;
    bool winmm_loads = true;
    /// Entry points the libraries export; a name counts only in its own library.
    std::set<std::string> entries = {"SetProcessDpiAwarenessContext", "SetProcessDPIAware", "SetProcessDpiAwareness",
                                     "timeBeginPeriod", "timeEndPeriod"};
    int context_v2_result = 1; ///< SetProcessDpiAwarenessContext(-4)
    int context_v1_result = 1; ///< SetProcessDpiAwarenessContext(-3)
    int32_t shcore_result = 0; ///< SetProcessDpiAwareness(2); negative is a failure status
    int dpi_aware_result = 1;  ///< SetProcessDPIAware()
};

/// Edited by the tests; reset_fake_process() brings back the defaults above
/// (a current platform where everything is there and succeeds).
extern fake_process_config fake_config;

/// Defaults, an empty log, no scripted reads, nothing written to stdout.
void reset_fake_process();

/// The next read delivers these bytes (at most 4096).
void script_read(const std::string& chunk);
/// The next read fails.
void script_read_failure();
/// Reads after the script is used up deliver zero bytes: the end of input.

struct fake_call {
    std::string text;
    size_t trace_lines; ///< lines in the recorded trace when the call was made
};

const std::vector<fake_call>& fake_call_log();
/// The log's texts alone, for comparing a whole sequence.
std::vector<std::string> fake_calls();
/// Lines in the recorded trace when the first call with this text was made;
/// SIZE_MAX when there was none.
size_t trace_lines_at(const std::string& call);

/// Everything written to standard output, byte for byte (ready line, replies).
const std::string& fake_stdout();

#include "control/startup.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "keyboard/held_keys.h"
#include "tests/support/core_state.h"
#include "tests/support/fake_process.h"
#include "tests/support/recorded_trace.h"

namespace {

using startup_test = core_test;

const std::string READY = "BRASKELOT_WIN_INPUT_READY\r\n";

// The calls of a run on a current platform, from the end of the DPI
// declaration up to the first read.
const lines PREPARATION = {
    "raise_process_priority",
    "raise_thread_priority",
    "load_module winmm.dll",
    "find_entry winmm.dll timeBeginPeriod",
    "find_entry winmm.dll timeEndPeriod",
    "timeBeginPeriod 1",
    "prepare_standard_streams",
    "write_ready_line BRASKELOT_WIN_INPUT_READY",
    "standard_input",
};

const lines DPI_BY_CONTEXT = {
    "loaded_module user32.dll",
    "find_entry user32.dll SetProcessDpiAwarenessContext",
    "SetProcessDpiAwarenessContext -4",
};

// The calls up to (not including) the first "raise_process_priority".
lines dpi_calls() {
    lines calls;
    for (const std::string& call : fake_calls()) {
        if (call == "raise_process_priority") break;
        calls.push_back(call);
    }
    return calls;
}

TEST_F(startup_test, InputClosedAtOnce) {
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(fake_calls(), joined(joined(DPI_BY_CONTEXT, PREPARATION), {"read 4096", "timeEndPeriod 1"}));
    EXPECT_EQ(fake_stdout(), READY);
    EXPECT_EQ(recorded_trace(), modifier_release_lines());
    // The timer resolution goes back after the releases.
    EXPECT_EQ(trace_lines_at("timeEndPeriod 1"), 4u);
}

TEST_F(startup_test, QuitReleasesTwiceAndReadsNoFurther) {
    script_read("QUIT\nPING\n");
    script_read("PING\n");
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(recorded_trace(), joined(modifier_release_lines(), modifier_release_lines()));
    EXPECT_EQ(fake_stdout(), READY);
    const lines calls = fake_calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "read 4096"), 1);
    EXPECT_EQ(calls.back(), "timeEndPeriod 1");
    EXPECT_EQ(trace_lines_at("timeEndPeriod 1"), 8u);
}

TEST_F(startup_test, QuitAfterHeldInputReleasesItThenTheModifiersAgain) {
    script_read("DOWN 1 2 2\nKEY_DOWN 65 1\nQUIT\n");
    EXPECT_EQ(run_program(), 0);
    const lines first = {"place 1 2",     "mouse flags=0x0008 data=0", key_line(17, 0),
                         key_line(65, 0), "mouse flags=0x0010 data=0", key_line(65, 2),
                         key_line(17, 2)};
    EXPECT_EQ(recorded_trace(), joined(joined(first, modifier_release_lines()), modifier_release_lines()));
}

TEST_F(startup_test, EndOfInputReleasesOnce) {
    script_read("PING\n");
    script_read("KEY_DOWN 66 0\n");
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(fake_stdout(), READY + "PONG\r\n");
    EXPECT_EQ(recorded_trace(), joined({"reply PONG", key_line(66, 0), key_line(66, 2)}, modifier_release_lines()));
    const lines calls = fake_calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "read 4096"), 3);
    EXPECT_EQ(held_key_count, 0);
}

TEST_F(startup_test, AFailedReadEndsTheRunLikeTheEndOfInput) {
    script_read("PING\nKEY_DOWN 66 0\nPI");
    script_read_failure();
    script_read("PING\n"); // never read
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(fake_stdout(), READY + "PONG\r\n");
    EXPECT_EQ(recorded_trace(), joined({"reply PONG", key_line(66, 0), key_line(66, 2)}, modifier_release_lines()));
    const lines calls = fake_calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "read 4096"), 2);
    EXPECT_EQ(calls.back(), "timeEndPeriod 1");
}

TEST_F(startup_test, AFailedFirstReadStillReleasesAndEndsTheTimer) {
    script_read_failure();
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(fake_stdout(), READY);
    EXPECT_EQ(recorded_trace(), modifier_release_lines());
    EXPECT_EQ(fake_calls().back(), "timeEndPeriod 1");
}

TEST_F(startup_test, AnUnfinishedLineAtTheEndIsDropped) {
    script_read("PING");
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(fake_stdout(), READY);
}

TEST_F(startup_test, MovesSplitOverTwoReadsArePlacedBeforeTheNextRead) {
    script_read("MOVE 1 2\n");
    script_read("MOVE 3 4\n");
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(recorded_trace(),
              joined({"place 1 2", "mouse flags=0x0001 data=0", "place 3 4", "mouse flags=0x0001 data=0"},
                     modifier_release_lines()));
    // Each read logged how far the trace had got: 0, then 2 (first placement), then 4.
    std::vector<size_t> at_reads;
    for (const fake_call& call : fake_call_log()) {
        if (call.text == "read 4096") at_reads.push_back(call.trace_lines);
    }
    EXPECT_EQ(at_reads, (std::vector<size_t>{0, 2, 4}));
}

TEST_F(startup_test, AFullChunkOf4096Bytes) {
    std::string chunk = std::string(4092, ' ') + "\nPIN";
    ASSERT_EQ(chunk.size(), 4096u);
    script_read(chunk);
    script_read("G\n");
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(fake_stdout(), READY + "PONG\r\n");
}

TEST_F(startup_test, NothingIsWrittenBeforeTheReadyLine) {
    script_read("PING\n");
    run_program();
    const lines calls = fake_calls();
    const auto ready = std::find(calls.begin(), calls.end(), "write_ready_line BRASKELOT_WIN_INPUT_READY");
    const auto streams = std::find(calls.begin(), calls.end(), "prepare_standard_streams");
    const auto first_read = std::find(calls.begin(), calls.end(), "read 4096");
    ASSERT_NE(ready, calls.end());
    EXPECT_LT(streams, ready);
    EXPECT_LT(ready, first_read);
    EXPECT_EQ(fake_stdout(), READY + "PONG\r\n");
}

struct timer_row {
    const char* name;
    bool winmm_loads;
    bool has_begin;
    bool has_end;
    lines timer_calls; // every call that names winmm or a timer entry
};

TEST_F(startup_test, TheTimerResolutionIsAskedAndGivenBackOnlyWhenThere) {
    const timer_row rows[] = {
        {"winmm with both entries",
         true,
         true,
         true,
         {"load_module winmm.dll", "find_entry winmm.dll timeBeginPeriod", "find_entry winmm.dll timeEndPeriod",
          "timeBeginPeriod 1", "timeEndPeriod 1"}},
        {"no winmm", false, true, true, {"load_module winmm.dll"}},
        {"winmm without timeEndPeriod",
         true,
         true,
         false,
         {"load_module winmm.dll", "find_entry winmm.dll timeBeginPeriod", "find_entry winmm.dll timeEndPeriod",
          "timeBeginPeriod 1"}},
        {"winmm without timeBeginPeriod",
         true,
         false,
         true,
         {"load_module winmm.dll", "find_entry winmm.dll timeBeginPeriod", "find_entry winmm.dll timeEndPeriod",
          "timeEndPeriod 1"}},
    };
    for (const timer_row& row : rows) {
        SCOPED_TRACE(row.name);
        reset_core_state();
        fake_config.winmm_loads = row.winmm_loads;
        if (!row.has_begin) fake_config.entries.erase("timeBeginPeriod");
        if (!row.has_end) fake_config.entries.erase("timeEndPeriod");
        EXPECT_EQ(run_program(), 0);
        lines timer_calls;
        for (const std::string& call : fake_calls()) {
            if (call.find("winmm") != std::string::npos || call.find("Period") != std::string::npos) {
                timer_calls.push_back(call);
            }
        }
        EXPECT_EQ(timer_calls, row.timer_calls);
        EXPECT_EQ(fake_stdout(), READY);
    }
}

struct dpi_row {
    const char* name;
    fake_process_config config;
    lines calls;
};

fake_process_config platform(bool user32, bool shcore, std::set<std::string> missing, int v2, int v1,
                             int32_t shcore_result) {
    fake_process_config config;
    config.user32_loaded = user32;
    config.shcore_loads = shcore;
    for (const std::string& name : missing) config.entries.erase(name);
    config.context_v2_result = v2;
    config.context_v1_result = v1;
    config.shcore_result = shcore_result;
    return config;
}

TEST_F(startup_test, DpiAwarenessFallsBackNewestFirst) {
    const std::string user32 = "loaded_module user32.dll";
    const std::string find_context = "find_entry user32.dll SetProcessDpiAwarenessContext";
    const std::string v2 = "SetProcessDpiAwarenessContext -4";
    const std::string v1 = "SetProcessDpiAwarenessContext -3";
    const std::string load_shcore = "load_module shcore.dll";
    const std::string find_shcore = "find_entry shcore.dll SetProcessDpiAwareness";
    const std::string call_shcore = "SetProcessDpiAwareness 2";
    const std::string find_aware = "find_entry user32.dll SetProcessDPIAware";
    const std::string call_aware = "SetProcessDPIAware";
    const int32_t E_ACCESSDENIED = -2147024891;
    const std::set<std::string> no_context = {"SetProcessDpiAwarenessContext"};

    const dpi_row rows[] = {
        {"V2 context accepted", platform(true, true, {}, 1, 1, 0), {user32, find_context, v2}},
        {"V2 refused, V1 accepted", platform(true, true, {}, 0, 1, 0), {user32, find_context, v2, v1}},
        {"both contexts refused, shcore accepts",
         platform(true, true, {}, 0, 0, 0),
         {user32, find_context, v2, v1, load_shcore, find_shcore, call_shcore}},
        {"both contexts refused, shcore answers a positive status",
         platform(true, true, {}, 0, 0, 1),
         {user32, find_context, v2, v1, load_shcore, find_shcore, call_shcore}},
        {"both contexts refused, shcore refuses",
         platform(true, true, {}, 0, 0, E_ACCESSDENIED),
         {user32, find_context, v2, v1, load_shcore, find_shcore, call_shcore, find_aware, call_aware}},
        {"no context entry, shcore refuses",
         platform(true, true, no_context, 1, 1, E_ACCESSDENIED),
         {user32, find_context, load_shcore, find_shcore, call_shcore, find_aware, call_aware}},
        {"no context entry, shcore accepts",
         platform(true, true, no_context, 1, 1, 0),
         {user32, find_context, load_shcore, find_shcore, call_shcore}},
        {"no context entry, no shcore",
         platform(true, false, no_context, 1, 1, 0),
         {user32, find_context, load_shcore, find_aware, call_aware}},
        {"no context entry, shcore without its entry",
         platform(true, true, {"SetProcessDpiAwarenessContext", "SetProcessDpiAwareness"}, 1, 1, 0),
         {user32, find_context, load_shcore, find_shcore, find_aware, call_aware}},
        {"nothing but user32",
         platform(true, false, {"SetProcessDpiAwarenessContext", "SetProcessDPIAware"}, 1, 1, 0),
         {user32, find_context, load_shcore, find_aware}},
        {"without user32, shcore accepts",
         platform(false, true, {}, 1, 1, 0),
         {user32, load_shcore, find_shcore, call_shcore}},
        {"without user32, shcore's failure is ignored",
         platform(false, true, {}, 1, 1, E_ACCESSDENIED),
         {user32, load_shcore, find_shcore, call_shcore}},
        {"without user32 or shcore", platform(false, false, {}, 1, 1, 0), {user32, load_shcore}},
        {"without user32, shcore without its entry",
         platform(false, true, {"SetProcessDpiAwareness"}, 1, 1, 0),
         {user32, load_shcore, find_shcore}},
    };
    for (const dpi_row& row : rows) {
        SCOPED_TRACE(row.name);
        reset_core_state();
        fake_config = row.config;
        EXPECT_EQ(run_program(), 0);
        EXPECT_EQ(dpi_calls(), row.calls);
        EXPECT_EQ(fake_stdout(), READY);
    }
}

TEST_F(startup_test, SetProcessDpiAwareResultIsIgnored) {
    fake_config.entries.erase("SetProcessDpiAwarenessContext");
    fake_config.shcore_loads = false;
    fake_config.dpi_aware_result = 0;
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(dpi_calls(),
              (lines{"loaded_module user32.dll", "find_entry user32.dll SetProcessDpiAwarenessContext",
                     "load_module shcore.dll", "find_entry user32.dll SetProcessDPIAware", "SetProcessDPIAware"}));
    EXPECT_EQ(fake_calls().size(), dpi_calls().size() + PREPARATION.size() + 2);
}

} // namespace

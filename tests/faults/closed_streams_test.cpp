#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/blackbox/trace_child.h"

namespace {

const std::string READY = "BRASKELOT_WIN_INPUT_READY\r\n";

struct absent_input_row {
    const char* name;
    child_stdin source;
};

// However standard input is missing, the run writes the ready line, releases
// once and exits 0.
const absent_input_row ABSENT_INPUTS[] = {
    {"pipe closed before the first read", child_stdin::pipe},
    {"/dev/null", child_stdin::dev_null},
    {"no descriptor 0, so the read fails", child_stdin::closed},
};

TEST(ClosedStreams, AbsentInputReleasesOnceAndExitsZero) {
    for (const absent_input_row& row : ABSENT_INPUTS) {
        SCOPED_TRACE(row.name);
        child_options options;
        options.stdin_source = row.source;
        const child_result run = run_trace_program({}, options);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.out, READY);
        EXPECT_EQ(trace_lines(run.err), modifier_releases());
    }
}

// A controller that closes its end of standard output and goes on writing:
// every reply fails with a broken pipe, yet the program keeps reading and
// releases everything at the end of its input instead of dying of SIGPIPE.
TEST(ClosedStreams, ControllerThatStopsListeningStillGetsEverythingReleased) {
    std::string pings;
    for (int k = 0; k < 500; ++k) pings += "PING\n";
    child_options options;
    options.close_stdout_first = true;
    const child_result run = run_trace_program(
        {"DOWN 5 6 0\nKEY_DOWN 65 1\n", pings, "RESET_KEYS\n", "KEY_DOWN 66 4\nDOWN 7 8 2\n"}, options);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0) << "the program did not exit normally (SIGPIPE?)";

    std::vector<std::string> expected = {"place 5 6", "mouse flags=0x0002 data=0", "key vk=17 scan=29 flags=0",
                                         "key vk=65 scan=30 flags=0"};
    expected.insert(expected.end(), 500, "reply PONG");
    for (const char* line : {"key vk=65 scan=30 flags=2", "key vk=17 scan=29 flags=2"}) expected.push_back(line);
    for (const std::string& line : modifier_releases()) expected.push_back(line);
    expected.push_back("reply RESET_KEYS_OK");
    for (const char* line :
         {"key vk=16 scan=42 flags=0", "key vk=66 scan=48 flags=0", "place 7 8", "mouse flags=0x0008 data=0"}) {
        expected.push_back(line);
    }
    // The end of input: both buttons up, then the keys, last slot first.
    for (const char* line : {"mouse flags=0x0004 data=0", "mouse flags=0x0010 data=0", "key vk=66 scan=48 flags=2",
                             "key vk=16 scan=42 flags=2"}) {
        expected.push_back(line);
    }
    for (const std::string& line : modifier_releases()) expected.push_back(line);
    EXPECT_EQ(trace_lines(run.err), expected);
}

} // namespace

#include <gtest/gtest.h>

#include "tests/blackbox/trace_child.h"

TEST(TraceProgram, AnswersPingAndReleasesAtEndOfInput) {
    const child_result run = run_trace_program({"PING\n"});
    EXPECT_EQ(run.out, "BRASKELOT_WIN_INPUT_READY\r\nPONG\r\n");
    std::vector<std::string> expected = {"reply PONG"};
    for (const std::string& line : modifier_releases()) expected.push_back(line);
    EXPECT_EQ(trace_lines(run.err), expected);
    EXPECT_EQ(run.exit_code, 0);
}

TEST(TraceProgram, MovesSplitOverTwoReadsArePlacedTwice) {
    const child_result run = run_trace_program({"MOVE 1 2\n", "MOVE 3 4\n"});
    std::vector<std::string> expected = {"place 1 2", "mouse flags=0x0001 data=0", "place 3 4",
                                         "mouse flags=0x0001 data=0"};
    for (const std::string& line : modifier_releases()) expected.push_back(line);
    EXPECT_EQ(trace_lines(run.err), expected);
}

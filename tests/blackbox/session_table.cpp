#include "tests/blackbox/session_table.h"

#include <gtest/gtest.h>

const std::string READY = "BRASKELOT_WIN_INPUT_READY\r\n";

const trace_list MODIFIER_UPS = modifier_releases();

trace_list operator+(trace_list head, const trace_list& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

void check_session(const session_case& row) {
    SCOPED_TRACE(row.name);
    child_options options;
    options.close_stdin_at_end = !row.keep_stdin_open;
    // A run that should end by itself and does not fails in seconds, not minutes.
    options.timeout_ms = 5000;
    const child_result run = run_trace_program(row.chunks, options);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(trace_lines(run.err), row.trace);
}

void check_sessions(const std::vector<session_case>& table) {
    for (const session_case& row : table) check_session(row);
}

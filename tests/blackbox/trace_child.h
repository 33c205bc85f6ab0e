#pragma once
#include <string>
#include <vector>

// Runs the dry-run program as a controller would: pipes on stdin, stdout and
// stderr. Each chunk is written whole and the next one waits until the program
// has taken the previous one off the pipe, so a chunk of up to 4096 bytes
// arrives as exactly one read.

struct child_result {
    std::string out;   ///< standard output, byte for byte
    std::string err;   ///< the trace
    int exit_code = -1; ///< -1 when the program did not exit normally
    bool timed_out = false;
};

struct child_options {
    bool close_stdin_at_end = true; ///< false: keep stdin open, so only QUIT can end the run
    bool close_stdout_first = false; ///< the controller stops listening before it writes
    int timeout_ms = 20000;
};

child_result run_trace_program(const std::vector<std::string>& chunks, const child_options& options = {});

/// The trace split into lines without their line feeds.
std::vector<std::string> trace_lines(const std::string& err);

/// The four modifier releases every release-all ends with.
std::vector<std::string> modifier_releases();

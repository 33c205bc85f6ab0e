#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Runs the dry-run program as a controller would: pipes on stdin, stdout and
// stderr. Each chunk is written whole and the next one waits until the program
// has taken the previous one off the pipe, so a chunk of up to 4096 bytes
// arrives as exactly one read.

struct child_result {
    std::string out;    ///< standard output, byte for byte
    std::string err;    ///< the trace
    int exit_code = -1; ///< -1 when the program did not exit normally
    bool timed_out = false;
    long max_rss_kb = 0; ///< the program's peak resident set size, from wait4
};

/// What the program's standard input is.
enum class child_stdin {
    pipe,     ///< a pipe from the controller (the chunks are written to it)
    dev_null, ///< /dev/null: the first read delivers no bytes
    closed,   ///< no descriptor 0 at all: the first read fails
};

struct child_options {
    bool close_stdin_at_end = true;  ///< false: keep stdin open, so only QUIT can end the run
    bool close_stdout_first = false; ///< the controller stops listening before it writes
    int timeout_ms = 20000;
    child_stdin stdin_source = child_stdin::pipe; ///< chunks are ignored unless this is a pipe
    /// When set, runs `launcher PROGRAM` instead of the program, with the same streams.
    const char* launcher = nullptr;
};

child_result run_trace_program(const std::vector<std::string>& chunks, const child_options& options = {});

/// Fills buffer with up to capacity bytes of input and returns how many; 0 ends it.
using input_producer = std::function<size_t(char* buffer, size_t capacity)>;

/// Streams the producer's bytes into the program as fast as it reads them, with
/// no wait between reads, for inputs too large to hold as chunks.
child_result run_trace_program_streamed(const input_producer& produce, const child_options& options = {});

/// The trace split into lines without their line feeds.
std::vector<std::string> trace_lines(const std::string& err);

/// The four modifier releases every release-all ends with.
std::vector<std::string> modifier_releases();

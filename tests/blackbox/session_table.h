#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "tests/blackbox/trace_child.h"

// One row of a black-box table: what the controller sends and everything the
// dry-run program must answer, byte for byte and trace line for trace line.

using trace_list = std::vector<std::string>;

struct session_case {
    const char* name;
    std::vector<std::string> chunks; ///< each arrives as one read (at most 4096 bytes)
    std::string out;                 ///< all of standard output, the ready line included
    trace_list trace;                ///< every trace line, the final releases included
    bool keep_stdin_open = false;    ///< only QUIT may end the run
};

/// The ready line as the peer receives it.
extern const std::string READY;

/// Control, Alt, Shift and Windows logo up: the tail of every release-all.
extern const trace_list MODIFIER_UPS;

trace_list operator+(trace_list head, const trace_list& tail);

/// A string literal with its embedded NUL bytes kept.
template <std::size_t size>
std::string bytes(const char (&text)[size]) {
    return std::string(text, size - 1);
}

/// Runs one row and compares stdout, trace and exit code exactly.
void check_session(const session_case& row);

/// Runs every row of a table, each under its own name.
void check_sessions(const std::vector<session_case>& table);

#pragma once
#include <sys/resource.h>
#include <sys/types.h>

// A program under test, started with its standard input and output on pipes
// held by the driver.

struct child_process {
    pid_t pid;
    int input;  // our end of its standard input
    int output; // our end of its standard output
    int errors; // our end of its standard error, or -1 when it goes to /dev/null
};

struct child_exit {
    int status;
    rusage usage; // ru_maxrss is its peak resident set in KiB
};

/// Starts `path` with no arguments. False when it cannot be started.
bool start_child(const char* path, bool capture_errors, child_process* child);

/// Reads the ready line ("BRASKELOT_WIN_INPUT_READY" and CR LF) and nothing
/// more. False when the output ends or differs first.
bool read_ready_line(const child_process& child);

/// Writes all bytes to the child's standard input; false if the pipe breaks.
bool write_all(int fd, const char* bytes, size_t length);

/// Closes the child's input and waits for it to end.
child_exit finish_child(child_process* child);

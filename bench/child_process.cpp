#include "bench/child_process.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr char READY_LINE[] = "BRASKELOT_WIN_INPUT_READY\r\n";

void close_if_open(int* fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

} // namespace

bool start_child(const char* path, bool capture_errors, child_process* child) {
    // Close-on-exec everywhere: a second child must not inherit the first
    // one's input, or that input would never see its end.
    int input[2];
    int output[2];
    int errors[2] = {-1, -1};
    if (pipe2(input, O_CLOEXEC) != 0) return false;
    if (pipe2(output, O_CLOEXEC) != 0) return false;
    if (capture_errors && pipe2(errors, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    if (capture_errors) {
        posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    char* argv[] = {const_cast<char*>(path), nullptr};
    const int failed = posix_spawn(&child->pid, path, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    close_if_open(&errors[1]);
    child->input = input[1];
    child->output = output[0];
    child->errors = errors[0];
    return failed == 0;
}

bool read_ready_line(const child_process& child) {
    char got[sizeof READY_LINE];
    size_t have = 0;
    while (have < sizeof READY_LINE - 1) {
        const ssize_t n = read(child.output, got + have, sizeof READY_LINE - 1 - have);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        have += static_cast<size_t>(n);
    }
    return std::memcmp(got, READY_LINE, sizeof READY_LINE - 1) == 0;
}

bool write_all(int fd, const char* bytes, size_t length) {
    while (length > 0) {
        const ssize_t n = write(fd, bytes, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

child_exit finish_child(child_process* child) {
    close_if_open(&child->input);
    child_exit result{};
    while (wait4(child->pid, &result.status, 0, &result.usage) < 0 && errno == EINTR) {
    }
    close_if_open(&child->output);
    return result;
}

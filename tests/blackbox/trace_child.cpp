#include "tests/blackbox/trace_child.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using clock_type = std::chrono::steady_clock;

struct child_pipes {
    int in = -1;
    int out = -1;
    int err = -1;
};

pid_t start_child(child_pipes* pipes) {
    int in[2];
    int out[2];
    int err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execl(BRASKELOT_TRACE_PATH, BRASKELOT_TRACE_PATH, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    pipes->in = in[1];
    pipes->out = out[0];
    pipes->err = err[0];
    fcntl(pipes->in, F_SETFL, O_NONBLOCK);
    return pid;
}

// Reads whatever the child has written so far; false once both streams ended.
bool drain(child_pipes* pipes, child_result* result, int wait_ms) {
    pollfd fds[2] = {{pipes->out, POLLIN, 0}, {pipes->err, POLLIN, 0}};
    std::string* sinks[2] = {&result->out, &result->err};
    int* ends[2] = {&pipes->out, &pipes->err};
    if (poll(fds, 2, wait_ms) <= 0) return pipes->out >= 0 || pipes->err >= 0;
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[65536];
        const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0) {
            sinks[i]->append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            close(*ends[i]);
            *ends[i] = -1;
        }
    }
    return pipes->out >= 0 || pipes->err >= 0;
}

int unread_bytes(int fd) {
    int pending = 0;
    if (ioctl(fd, FIONREAD, &pending) != 0) return 0;
    return pending;
}

} // namespace

child_result run_trace_program(const std::vector<std::string>& chunks, const child_options& options) {
    std::signal(SIGPIPE, SIG_IGN);
    child_result result;
    child_pipes pipes;
    const pid_t pid = start_child(&pipes);
    if (pid < 0) return result;
    const auto deadline = clock_type::now() + std::chrono::milliseconds(options.timeout_ms);
    auto late = [&] { return clock_type::now() > deadline; };
    if (options.close_stdout_first) {
        close(pipes.out);
        pipes.out = -1;
    }
    for (const std::string& chunk : chunks) {
        size_t sent = 0;
        while (sent < chunk.size() && !late()) {
            const ssize_t put = write(pipes.in, chunk.data() + sent, chunk.size() - sent);
            if (put > 0) sent += static_cast<size_t>(put);
            else if (put < 0 && errno != EAGAIN && errno != EINTR) break;
            drain(&pipes, &result, 0);
        }
        // Wait until the program has read the chunk, so the next one starts a new read.
        while (unread_bytes(pipes.in) > 0 && !late()) drain(&pipes, &result, 1);
    }
    if (options.close_stdin_at_end) {
        close(pipes.in);
        pipes.in = -1;
    }
    while (!late() && drain(&pipes, &result, 10)) {
    }
    if (late()) {
        result.timed_out = true;
        kill(pid, SIGKILL);
    }
    if (pipes.in >= 0) close(pipes.in);
    if (pipes.out >= 0) close(pipes.out);
    if (pipes.err >= 0) close(pipes.err);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    return result;
}

std::vector<std::string> trace_lines(const std::string& err) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t lf = err.find('\n'); lf != std::string::npos; lf = err.find('\n', start)) {
        lines.push_back(err.substr(start, lf - start));
        start = lf + 1;
    }
    if (start < err.size()) lines.push_back(err.substr(start) + "<no line feed>");
    return lines;
}

std::vector<std::string> modifier_releases() {
    return {"key vk=17 scan=29 flags=2", "key vk=18 scan=56 flags=2", "key vk=16 scan=42 flags=2",
            "key vk=91 scan=91 flags=3"};
}

#include "tests/blackbox/trace_child.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using clock_type = std::chrono::steady_clock;

struct child_pipes {
    int in = -1;
    int out = -1;
    int err = -1;
};

// Pipes must never land on descriptors 0 to 2 (a test runner may start us
// without standard input), or setting up the child's streams would clobber them.
void keep_standard_descriptors_taken() {
    for (int fd = open("/dev/null", O_RDWR); fd >= 0; fd = open("/dev/null", O_RDWR)) {
        if (fd > STDERR_FILENO) {
            close(fd);
            return;
        }
    }
}

void give_stdin(child_stdin source, int pipe_end) {
    if (source == child_stdin::pipe) {
        dup2(pipe_end, STDIN_FILENO);
    } else if (source == child_stdin::dev_null) {
        const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        dup2(fd, STDIN_FILENO);
    } else {
        close(STDIN_FILENO);
    }
}

pid_t start_child(child_pipes* pipes, child_stdin source, const char* launcher) {
    keep_standard_descriptors_taken();
    int in[2] = {-1, -1};
    int out[2];
    int err[2];
    if (source == child_stdin::pipe && pipe2(in, O_CLOEXEC) != 0) return -1;
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        // The controller ignores SIGPIPE and exec keeps an ignored signal
        // ignored; the program must be seen with the default it starts with.
        std::signal(SIGPIPE, SIG_DFL);
        give_stdin(source, in[0]);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (launcher != nullptr) {
            execl(launcher, launcher, BRASKELOT_TRACE_PATH, static_cast<char*>(nullptr));
        } else {
            execl(BRASKELOT_TRACE_PATH, BRASKELOT_TRACE_PATH, static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    if (in[0] >= 0) close(in[0]);
    close(out[1]);
    close(err[1]);
    pipes->in = in[1];
    pipes->out = out[0];
    pipes->err = err[0];
    if (pipes->in >= 0) fcntl(pipes->in, F_SETFL, O_NONBLOCK);
    return pid;
}

// Reads whatever the child has written so far; false once both streams ended.
// With wait_for_room it also stops waiting when stdin can take more bytes.
bool drain(child_pipes* pipes, child_result* result, int wait_ms, bool wait_for_room = false) {
    pollfd fds[3] = {{pipes->out, POLLIN, 0}, {pipes->err, POLLIN, 0}, {wait_for_room ? pipes->in : -1, POLLOUT, 0}};
    std::string* sinks[2] = {&result->out, &result->err};
    int* ends[2] = {&pipes->out, &pipes->err};
    if (poll(fds, 3, wait_ms) <= 0) return pipes->out >= 0 || pipes->err >= 0;
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

using stdin_feeder = std::function<void(child_pipes*, child_result*, const std::function<bool()>& late)>;

// Starts the program, lets feed write its input, then ends the input (unless
// told not to), collects both streams and waits for the exit.
child_result run_child(const child_options& options, const stdin_feeder& feed) {
    std::signal(SIGPIPE, SIG_IGN);
    child_result result;
    child_pipes pipes;
    const pid_t pid = start_child(&pipes, options.stdin_source, options.launcher);
    if (pid < 0) return result;
    const auto deadline = clock_type::now() + std::chrono::milliseconds(options.timeout_ms);
    const std::function<bool()> late = [&] { return clock_type::now() > deadline; };
    if (options.close_stdout_first) {
        close(pipes.out);
        pipes.out = -1;
    }
    if (pipes.in >= 0) feed(&pipes, &result, late);
    if (options.close_stdin_at_end && pipes.in >= 0) {
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
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    result.max_rss_kb = usage.ru_maxrss;
    return result;
}

} // namespace

child_result run_trace_program(const std::vector<std::string>& chunks, const child_options& options) {
    return run_child(options, [&](child_pipes* pipes, child_result* result, const std::function<bool()>& late) {
        for (const std::string& chunk : chunks) {
            size_t sent = 0;
            while (sent < chunk.size() && !late()) {
                const ssize_t put = write(pipes->in, chunk.data() + sent, chunk.size() - sent);
                if (put > 0) {
                    sent += static_cast<size_t>(put);
                } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
                    break;
                }
                drain(pipes, result, 0);
            }
            // Wait until the program has read the chunk, so the next one starts a new read
            // (or until it has gone: then the bytes stay in the pipe for good).
            while (unread_bytes(pipes->in) > 0 && !late() && drain(pipes, result, 1)) {
            }
        }
    });
}

child_result run_trace_program_streamed(const input_producer& produce, const child_options& options) {
    return run_child(options, [&](child_pipes* pipes, child_result* result, const std::function<bool()>& late) {
        std::vector<char> buffer(65536);
        size_t filled = 0;
        size_t sent = 0;
        while (!late()) {
            if (sent == filled) {
                filled = produce(buffer.data(), buffer.size());
                sent = 0;
                if (filled == 0) return;
            }
            const ssize_t put = write(pipes->in, buffer.data() + sent, filled - sent);
            if (put > 0) {
                sent += static_cast<size_t>(put);
            } else if (put < 0 && errno == EAGAIN) {
                drain(pipes, result, 100, true);
                continue;
            } else if (put < 0 && errno != EINTR) {
                return; // the program has gone
            }
            drain(pipes, result, 0);
        }
    });
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

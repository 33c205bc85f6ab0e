// Runs a program and reports its peak resident set size on standard error once
// it has ended, as "peak_rss_kb N". A process's ru_maxrss also counts the image
// it was forked from; forked from this small probe, which allocates nothing,
// that image is small and the same on every run, so the figures of two runs
// compare the program alone. Exits with the program's status.
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) return 125;
    const pid_t pid = fork();
    if (pid < 0) return 126;
    if (pid == 0) {
        execv(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
    }
    std::fprintf(stderr, "peak_rss_kb %ld\n", usage.ru_maxrss);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

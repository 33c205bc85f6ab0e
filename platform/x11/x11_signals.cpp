#include "platform/x11/x11_signals.h"

#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace {

volatile sig_atomic_t pending_signal;
int wake_fds[2] = {-1, -1};
void (*end_run)(int);

void note_signal(int signal_number) {
    if (pending_signal == 0) pending_signal = signal_number;
    const char byte = 1;
    const ssize_t ignored = write(wake_fds[1], &byte, 1); // a full pipe is already awake
    (void)ignored;
}

} // namespace

void x11_signals_install(void (*end)(int signal_number)) {
    end_run = end;
    if (pipe2(wake_fds, O_CLOEXEC | O_NONBLOCK) != 0) wake_fds[0] = wake_fds[1] = -1;
    struct sigaction action {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a sleep or a wait returns and sees the signal
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal_number, &action, nullptr);
}

int x11_signals_fd() { return wake_fds[0]; }

void x11_signals_check() {
    if (pending_signal == 0 || end_run == nullptr) return;
    void (*end)(int) = end_run;
    end_run = nullptr; // the end itself makes events and waits
    end(pending_signal);
}

void x11_signals_reraise(int signal_number) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    sigaddset(&unblocked, signal_number);
    sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
    raise(signal_number);
    _exit(128 + signal_number);
}

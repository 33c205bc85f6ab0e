#include "platform/wayland/wayland_ending.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_input_sink.h"
#include "platform/wayland/wayland_keys.h"

namespace {

constexpr int ENDING_SIGNALS[] = {SIGTERM, SIGINT, SIGHUP};

volatile sig_atomic_t requested_signal;
int ending_pipe[2] = {-1, -1};

// A byte in the pipe wakes a wait that began just before the signal came.
void note_signal(int number) {
    requested_signal = number;
    const char byte = 0;
    const ssize_t ignored = write(ending_pipe[1], &byte, 1);
    (void)ignored;
}

} // namespace

bool wayland_ending_requested() { return requested_signal != 0; }

void wayland_ending_start() {
    if (pipe2(ending_pipe, O_CLOEXEC | O_NONBLOCK) != 0) ending_pipe[0] = ending_pipe[1] = -1;
    wayland_watch_ending(ending_pipe[0]);
    struct sigaction action = {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    for (const int number : ENDING_SIGNALS) sigaddset(&action.sa_mask, number);
    // No SA_RESTART: a sleep or a wait returns early, and the loop around it
    // looks here before going on.
    action.sa_flags = 0;
    for (const int number : ENDING_SIGNALS) sigaction(number, &action, nullptr);
}

void wayland_end_if_requested() {
    const int number = requested_signal;
    if (number == 0) return;
    wayland_release_pressed_buttons();
    wayland_release_pressed_keys();
    wayland_disconnect();
    // Ended by the signal itself, so the parent sees why.
    signal(number, SIG_DFL);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    sigaddset(&unblocked, number);
    sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
    raise(number);
    _exit(128 + number);
}

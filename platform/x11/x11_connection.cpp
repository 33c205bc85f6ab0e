#include "platform/x11/x11_connection.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <poll.h>
#include <unistd.h>

#include "platform/x11/x11_signals.h"

namespace {

Display* display;
int xkb_event_base = -1;
x11_event_handler event_handler;
char display_name[128];

uint64_t monotonic_us() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000U + static_cast<uint64_t>(now.tv_nsec) / 1000U;
}

void write_error_line(const char* what) {
    char line[256];
    const int length =
        std::snprintf(line, sizeof line, "braskelot_x11_input: X display \"%s\": %s\n", display_name, what);
    if (length > 0) {
        const ssize_t ignored =
            write(STDERR_FILENO, line,
                  static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length) : sizeof line - 1);
        (void)ignored;
    }
}

// Xlib calls this when the server has gone; returning would end the process
// with Xlib's own message, so the one line is ours and the exit immediate.
int connection_lost(Display* /*lost*/) {
    write_error_line("the connection to the server was lost");
    _exit(1);
}

// A refused request (a binding the server will not make) is not fatal: the
// read-back that follows every binding notices it.
int request_refused(Display* /*display*/, XErrorEvent* /*error*/) { return 0; }

void watch_keymap_changes() {
    int opcode = 0;
    int event_base = 0;
    int error_base = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &event_base, &error_base, &major, &minor)) return;
    const unsigned int mask = XkbMapNotifyMask | XkbNewKeyboardNotifyMask;
    if (XkbSelectEvents(display, XkbUseCoreKbd, mask, mask)) xkb_event_base = event_base;
}

} // namespace

void x11_connect(x11_event_handler handle_event) {
    event_handler = handle_event;
    const char* name = XDisplayName(nullptr);
    std::snprintf(display_name, sizeof display_name, "%s", name != nullptr ? name : "");
    display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        write_error_line(display_name[0] == '\0' ? "DISPLAY is not set" : "cannot open the display");
        std::exit(1);
    }
    int event_base = 0;
    int error_base = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) {
        write_error_line("the server has no XTEST extension");
        std::exit(1);
    }
    XSetIOErrorHandler(connection_lost);
    XSetErrorHandler(request_refused);
    // Our events still reach the server while another client holds a grab.
    XTestGrabControl(display, True);
    watch_keymap_changes();
    XSync(display, False);
}

Display* x11_display() { return display; }

int x11_xkb_event_base() { return xkb_event_base; }

void x11_handle_queued_events() {
    while (XEventsQueued(display, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        event_handler(&event);
    }
}

void x11_wait_for_input(int fd) {
    XFlush(display);
    pollfd watched[3] = {{fd, POLLIN, 0}, {ConnectionNumber(display), POLLIN, 0}, {x11_signals_fd(), POLLIN, 0}};
    for (;;) {
        x11_signals_check();
        // XPending reads what the server has sent; a closed connection makes
        // Xlib call connection_lost, so a dead server cannot make this spin.
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            event_handler(&event);
        }
        for (pollfd& one : watched) one.revents = 0;
        const int ready = poll(watched, 3, -1);
        if (ready < 0 && errno != EINTR) return; // the read that follows reports it
        if ((watched[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) continue;
        if (watched[0].revents != 0) return;
    }
}

bool x11_wait_until(bool (*done)(), uint64_t timeout_us) {
    XFlush(display);
    const uint64_t deadline = monotonic_us() + timeout_us;
    pollfd watched[2] = {{ConnectionNumber(display), POLLIN, 0}, {x11_signals_fd(), POLLIN, 0}};
    for (;;) {
        x11_signals_check();
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            event_handler(&event);
        }
        if (done()) return true;
        const uint64_t now = monotonic_us();
        if (now >= deadline) return false;
        const uint64_t left_ms = (deadline - now + 999U) / 1000U;
        for (pollfd& one : watched) one.revents = 0;
        const int ready = poll(watched, 2, static_cast<int>(left_ms));
        if (ready < 0 && errno != EINTR) return done();
    }
}

void x11_round_trip() { XSync(display, False); }

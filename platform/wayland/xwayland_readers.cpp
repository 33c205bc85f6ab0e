#include "platform/wayland/xwayland_readers.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "platform/wayland/wayland_connection.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_reader.h"

// The X side of the desktop, reached through $DISPLAY (the Xwayland of the
// session). The X11 program's reader (x11_reader.cpp) does the asking over
// this connection; the time bound for applications without the ping is the
// X11 program's too.

namespace {

constexpr uint64_t FALLBACK_EVENT_US = 200;    // what such a reader needs at least per key event
constexpr uint64_t FALLBACK_CHANGE_US = 10000; // and per keymap change (some re-read all of it)
constexpr uint64_t FALLBACK_HOLD_US = 400000;  // the margin before a binding it may still read is replaced
constexpr uint64_t KEYMAP_APPLIED_TIMEOUT_US = 1000000;
constexpr uint64_t KEYMAP_POLL_US = 1000;
constexpr uint64_t LOOK_AGAIN_US = 500000;
constexpr uint64_t KEYS_ARRIVED_TIMEOUT_US = 200000; // some went to a native window meanwhile

Display* display;
bool lost;
uint64_t looked_us;    // when an Xwayland was last looked for
int input_opcode = -1; // the input extension's, for its raw key events
uint64_t keys_sent;    // key events sent to the compositor, all told
uint64_t keys_sent_base;
uint64_t raw_keys_seen; // raw key events Xwayland has reported
uint64_t raw_keys_base;
uint64_t reader_clock_us; // when a reader that cannot answer should be done with all sent so far

uint64_t now_us() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000U + static_cast<uint64_t>(now.tv_nsec) / 1000U;
}

void sleep_until(uint64_t when_us) {
    const uint64_t now = now_us();
    if (when_us <= now) return;
    const uint64_t left = when_us - now;
    timespec wait{static_cast<time_t>(left / 1000000U), static_cast<long>(left % 1000000U) * 1000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

uint64_t reader_clock_after(uint64_t cost_us) {
    const uint64_t now = now_us();
    reader_clock_us = (reader_clock_us > now ? reader_clock_us : now) + cost_us;
    return reader_clock_us;
}

// Xwayland going away (the compositor restarts it) ends only this side:
// nothing is written (the ready line is out), nothing is waited for again.
int connection_lost(Display* /*lost_display*/) { return 0; }
void connection_lost_exit(Display* /*lost_display*/, void* /*data*/) { lost = true; }
int request_refused(Display* /*refused*/, XErrorEvent* /*error*/) { return 0; }

// Whether an Xwayland runs: connecting to a compositor's display while none
// does would start one (sway starts it at the first X client).
bool xwayland_runs() {
    DIR* processes = opendir("/proc");
    if (processes == nullptr) return false;
    bool found = false;
    char path[64];
    char name[32];
    for (dirent* entry = readdir(processes); entry != nullptr && !found; entry = readdir(processes)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        std::snprintf(path, sizeof path, "/proc/%.20s/comm", entry->d_name);
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        const ssize_t length = read(fd, name, sizeof name - 1);
        close(fd);
        found = length == 9 && std::memcmp(name, "Xwayland\n", 9) == 0;
    }
    closedir(processes);
    return found;
}

void handle_events() {
    while (!lost && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == GenericEvent && event.xcookie.extension == input_opcode) {
            if (event.xcookie.evtype == XI_RawKeyPress || event.xcookie.evtype == XI_RawKeyRelease) ++raw_keys_seen;
            continue;
        }
        x11_reader_take_event(&event);
    }
}

// Xwayland reports every key it takes in from the compositor as a raw event
// to whoever asks, as it hands the key to the focused application: once it
// has reported all we sent, a ping sent now reaches the application after them.
void watch_raw_keys() {
    int event_base = 0;
    int error_base = 0;
    int major = 2;
    int minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &input_opcode, &event_base, &error_base) ||
        XIQueryVersion(display, &major, &minor) != Success) {
        input_opcode = -1;
        return;
    }
    unsigned char mask_bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(mask_bits, XI_RawKeyPress);
    XISetMask(mask_bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof mask_bits), mask_bits};
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
}

bool keys_arrived() { return raw_keys_seen - raw_keys_base >= keys_sent - keys_sent_base; }

// Every key sent since the last time has reached Xwayland (or the time bound
// for keys a native window took passed); the count starts again from here.
void wait_for_keys() {
    if (input_opcode >= 0) x11_wait_until(keys_arrived, KEYS_ARRIVED_TIMEOUT_US);
    keys_sent_base = keys_sent;
    raw_keys_base = raw_keys_seen;
}

// Opens $DISPLAY the first time it is needed, and only while an Xwayland
// runs; looked for again at most every LOOK_AGAIN_US until one does.
bool usable() {
    if (display != nullptr) return !lost;
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') return false;
    const uint64_t now = now_us();
    if (looked_us != 0 && now - looked_us < LOOK_AGAIN_US) return false;
    looked_us = now;
    if (!xwayland_runs()) return false;
    XSetIOErrorHandler(connection_lost);
    display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    XSetIOErrorExitHandler(display, connection_lost_exit, nullptr);
    XSetErrorHandler(request_refused);
    x11_reader_watch();
    watch_raw_keys();
    XSync(display, False);
    keys_sent_base = keys_sent; // those sent before are not counted
    return !lost;
}

// sway's X window manager gives the X focus to an X window only while that
// window has the seat's focus; with a native window focused it is none or
// the pointer root.
bool x_window_focused() {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return !lost && focus != None && focus != PointerRoot && focus != DefaultRootWindow(display);
}

bool never() { return false; }

bool keymap_shows(uint8_t keycode, uint32_t keysym) {
    int per_keycode = 0;
    KeySym* keysyms = XGetKeyboardMapping(display, keycode, 1, &per_keycode);
    if (keysyms == nullptr) return false;
    const bool shows = per_keycode > 0 && keysyms[0] == keysym;
    XFree(keysyms);
    return shows;
}

} // namespace

// What x11_reader.cpp needs of a connection.
Display* x11_display() { return display; }

bool x11_wait_until(bool (*done)(), uint64_t timeout_us) {
    if (!usable()) return done();
    XFlush(display);
    const uint64_t deadline = now_us() + timeout_us;
    pollfd watched{ConnectionNumber(display), POLLIN, 0};
    for (;;) {
        handle_events();
        if (done() || lost) return done();
        const uint64_t now = now_us();
        if (now >= deadline) return false;
        watched.revents = 0;
        const int ready = poll(&watched, 1, static_cast<int>((deadline - now + 999U) / 1000U));
        if (ready < 0 && errno != EINTR) return done();
    }
}

void xwayland_note_key() {
    ++keys_sent;
    reader_clock_after(FALLBACK_EVENT_US);
}

bool xwayland_confirm_read() {
    if (!usable()) return false;
    handle_events();
    if (!x_window_focused()) return false; // a native window: it has its keymap in order
    wayland_round_trip();
    wait_for_keys();
    if (x11_reader_sync()) {
        reader_clock_us = now_us();
        return true;
    }
    sleep_until(reader_clock_after(0) + FALLBACK_HOLD_US);
    return true;
}

void xwayland_confirm_keymap(uint8_t keycode, uint32_t keysym) {
    if (!usable()) return;
    handle_events();
    if (!x_window_focused()) return;
    wayland_round_trip();
    wait_for_keys();
    // Once Xwayland shows the new keymap it has handed the application every
    // key before it, and the change after them.
    const uint64_t deadline = now_us() + KEYMAP_APPLIED_TIMEOUT_US;
    while (!lost && !keymap_shows(keycode, keysym) && now_us() < deadline) x11_wait_until(never, KEYMAP_POLL_US);
    reader_clock_after(FALLBACK_CHANGE_US);
    if (x11_reader_sync()) {
        reader_clock_us = now_us();
        return;
    }
    sleep_until(now_us() + FALLBACK_CHANGE_US);
}

#include "platform/x11/x11_watchdog.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/x11/x11_leftovers.h"

namespace {

// How long the watchdog waits for the server to notice that the program's
// connection has closed.
constexpr int SERVER_NOTICE_MS = 3000;
constexpr int MAX_FDS = 65536;

struct watch_record {
    volatile uint8_t key_down[256];
    volatile uint8_t button_down[8];
    volatile uint8_t clean;
    volatile int8_t home_group;   // the group the user had locked, -1 until asked
    volatile int8_t locked_group; // the group last locked for a spare key's press, -1 if none
};

watch_record fallback; // without shared memory: the program's own end still reads it
watch_record* record = &fallback;

int ignore_error(Display* /*display*/, XErrorEvent* /*error*/) { return 0; }
int connection_gone(Display* /*display*/) { _exit(0); }

void drop_standard_streams() {
    const int null = open("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2; ++fd) {
        if (null >= 0) dup2(null, fd);
    }
    if (null > 2) close(null);
}

void close_all_but(int kept) {
    const auto below = static_cast<unsigned int>(kept);
    if (below > 3 && close_range(3, below - 1, 0) == 0 && close_range(below + 1, ~0U, 0) == 0) return;
    long last = sysconf(_SC_OPEN_MAX);
    if (last < 0 || last > MAX_FDS) last = MAX_FDS;
    for (int fd = 3; fd < last; ++fd) {
        if (fd != kept) close(fd);
    }
}

// The parent goes on to its ready line only once this has come: from then on
// the controller's streams are the program's alone.
void tell_parent(int told) {
    const char byte = 1;
    while (write(told, &byte, 1) < 0 && errno == EINTR) {
    }
    close(told);
}

void wait_for_child(int told) {
    char byte = 0;
    while (read(told, &byte, 1) < 0 && errno == EINTR) {
    }
    close(told);
}

[[noreturn]] void watch(int pipe_fd, int told) {
    // Ctrl+C and a closed terminal reach the whole group: the program handles
    // them, the watchdog stays to see it gone.
    for (const int signal_number : {SIGINT, SIGHUP, SIGTERM, SIGQUIT, SIGPIPE, SIGTSTP}) {
        std::signal(signal_number, SIG_IGN);
    }
    drop_standard_streams(); // the controller waits for the end of our copies of its pipes
    tell_parent(told);
    close_all_but(pipe_fd);
    char byte = 0;
    for (;;) {
        const ssize_t got = read(pipe_fd, &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
    }
    if (record->clean != 0) _exit(0);
    XSetErrorHandler(ignore_error);
    XSetIOErrorHandler(connection_gone);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) _exit(0); // the server went with the program
    x11_watchdog_release_recorded(display);
    x11_leftovers_undo_after_exit(display, SERVER_NOTICE_MS);
    _exit(0);
}

} // namespace

void x11_watchdog_start() {
    void* shared = mmap(nullptr, sizeof(watch_record), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return;
    record = new (shared) watch_record{};
    record->home_group = -1;
    record->locked_group = -1;
    int fds[2];
    int told[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    if (pipe2(told, O_CLOEXEC) != 0) {
        close(fds[0]);
        close(fds[1]);
        return;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(fds[1]);
        close(told[0]);
        watch(fds[0], told[1]);
    }
    close(fds[0]); // the write end stays open, unread, for as long as the program lives
    close(told[1]);
    if (child < 0) {
        close(fds[1]);
        close(told[0]);
        return;
    }
    wait_for_child(told[0]);
}

void x11_watchdog_note_key(uint8_t keycode, bool down) { record->key_down[keycode] = down ? 1 : 0; }

void x11_watchdog_note_button(unsigned int button, bool down) {
    if (button < 8) record->button_down[button] = down ? 1 : 0;
}

void x11_watchdog_note_home_group(int group) { record->home_group = static_cast<int8_t>(group); }

void x11_watchdog_note_locked_group(int group) { record->locked_group = static_cast<int8_t>(group); }

void x11_watchdog_publish_down() { x11_leftovers_note_down(record->key_down, record->button_down); }

void x11_watchdog_release_recorded(Display* display) {
    char keys[32] = {};
    XQueryKeymap(display, keys);
    for (int keycode = 8; keycode < 256; ++keycode) {
        const bool down = ((static_cast<unsigned>(keys[keycode / 8]) >> (keycode % 8)) & 1U) != 0;
        if (down && record->key_down[keycode] != 0)
            XTestFakeKeyEvent(display, static_cast<unsigned>(keycode), False, 0);
        record->key_down[keycode] = 0;
    }
    Window root = 0;
    Window child = 0;
    int x = 0;
    int y = 0;
    unsigned int mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &x, &y, &mask);
    for (unsigned int button = 1; button < 8; ++button) {
        if (record->button_down[button] == 0) continue;
        // Buttons 6 and 7 have no mask; a press of theirs is always released at once.
        if (button > 5 || (mask & (static_cast<unsigned int>(Button1Mask) << (button - 1))) != 0)
            XTestFakeButtonEvent(display, button, False, 0);
        record->button_down[button] = 0;
    }
    // A press in another group ended before its group was put back: the
    // user's keys would read in that group from now on.
    if (record->home_group >= 0 && record->locked_group >= 0 && record->locked_group != record->home_group)
        XkbLockGroup(display, XkbUseCoreKbd, static_cast<unsigned int>(record->home_group));
    record->locked_group = -1;
    XSync(display, False);
}

void x11_watchdog_done() { record->clean = 1; }

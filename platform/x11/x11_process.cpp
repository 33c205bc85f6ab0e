#include <cstdlib>
#include <cstring>

#include "platform/posix/posix_streams.h"
#include "platform/process.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_keymap.h"
#include "platform/x11/x11_keys.h"
#include "platform/x11/x11_leftovers.h"
#include "platform/x11/x11_reader.h"
#include "platform/x11/x11_signals.h"
#include "platform/x11/x11_spare_keycodes.h"
#include "platform/x11/x11_watchdog.h"

// The X11 program's process side: the connection is opened before the ready
// line, watched while the program waits for input, and every reply follows a
// round trip, so a controller that reads it knows the server has seen all.
//
// However the run ends, the server is left as found: no key or button down,
// every spare keycode unbound, every borrowed key and auto-repeat put back.
//   QUIT, end of input    the core releases, then leave_server_as_found
//   SIGTERM/INT/HUP       end_on_signal at the next event or wait: the events
//                         held for bindings are dropped, what the server has
//                         down is released, the keymap put back; then the
//                         signal again with its default action (the parent
//                         sees the signal as the cause of the exit)
//   SIGKILL               the watchdog (x11_watchdog.h) does the same from
//                         the program's record
//   SIGKILL to the group  the next program to start does it from the record
//                         on the server (x11_leftovers.h); that record has
//                         the keys held at the last pause of the input, so a
//                         key pressed in the chunk being typed can stay down
//   the server gone       nothing is left to undo

namespace {

// Runs when the program ends normally, after the core's last releases: what
// only the backend knows of is let go, and the keyboard is left as it was.
void leave_server_as_found() {
    x11_release_pressed_keys();
    x11_spare_unbind_all();
    x11_leftovers_restore_own();
    x11_watchdog_done();
    XCloseDisplay(x11_display());
}

// Typing stops: what is held back for bindings never leaves, what the server
// has down is let go while its binding is still there, then the keymap goes
// back. No wait for the reader: a signal means now.
void end_on_signal(int signal_number) {
    x11_watchdog_release_recorded(x11_display());
    x11_leftovers_restore_own();
    x11_watchdog_done();
    x11_signals_reraise(signal_number);
}

void handle_event(XEvent* event) {
    if (!x11_reader_take_event(event)) x11_keymap_handle_event(event);
}

} // namespace

void platform_prepare_standard_streams() {
    posix_prepare_standard_streams();
    // The X11 modules in a line: the connection hands its events to the keymap,
    // a fresh keymap refreshes the spare keycodes, which see the keys held down.
    x11_connect(handle_event);
    x11_leftovers_start(x11_display());
    x11_watchdog_start();
    x11_signals_install(end_on_signal);
    x11_reader_watch();
    x11_keymap_on_fetch(x11_spare_keycodes_refresh);
    x11_spare_use_keys(x11_keycodes_down(), x11_release_keycode);
    std::atexit(leave_server_as_found);
}

void platform_write_reply(const char* text) {
    // After a reset the core has released all it knows; a Unicode key held
    // down is known only here.
    if (std::strcmp(text, "RESET_OK") == 0 || std::strcmp(text, "RESET_KEYS_OK") == 0) x11_release_pressed_keys();
    x11_spare_commit();
    x11_watchdog_publish_down();
    x11_round_trip();
    x11_spare_note_flush();
    posix_write_line(text);
}

bool platform_read(platform_handle input, char* buffer, uint32_t capacity, uint32_t* count) {
    const int fd = posix_fd(input);
    x11_spare_commit();
    x11_watchdog_publish_down();
    x11_wait_for_input(fd);
    x11_spare_note_flush(); // the wait sent what was buffered
    return posix_read(fd, buffer, capacity, count);
}

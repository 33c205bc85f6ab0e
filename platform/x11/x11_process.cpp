#include <cstdlib>
#include <cstring>

#include "platform/posix/posix_streams.h"
#include "platform/process.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_keymap.h"
#include "platform/x11/x11_keys.h"
#include "platform/x11/x11_reader.h"
#include "platform/x11/x11_spare_keycodes.h"

// The X11 program's process side: the connection is opened before the ready
// line, watched while the program waits for input, and every reply follows a
// round trip, so a controller that reads it knows the server has seen all.

namespace {

// Runs when the program ends normally, after the core's last releases: what
// only the backend knows of is let go, and the keyboard is left as it was.
void leave_server_as_found() {
    x11_release_pressed_keys();
    x11_spare_unbind_all();
    XCloseDisplay(x11_display());
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
    x11_round_trip();
    x11_spare_note_flush();
    posix_write_line(text);
}

bool platform_read(platform_handle input, char* buffer, uint32_t capacity, uint32_t* count) {
    const int fd = posix_fd(input);
    x11_spare_commit();
    x11_wait_for_input(fd);
    x11_spare_note_flush(); // the wait sent what was buffered
    return posix_read(fd, buffer, capacity, count);
}

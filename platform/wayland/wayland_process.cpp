#include <cstdlib>
#include <cstring>

#include "platform/posix/posix_streams.h"
#include "platform/process.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_ending.h"
#include "platform/wayland/wayland_keys.h"
#include "platform/wayland/wayland_watchdog.h"

// The Wayland program's process side: the connection is opened before the
// ready line, watched while the program waits for input, and every reply
// follows a round trip, so a controller that reads it knows the compositor
// has processed all that came before.

namespace {

// Runs when the program ends normally, after the core's last releases: what
// only the backend knows of is let go before the devices go away.
void leave_compositor() {
    wayland_release_pressed_keys();
    wayland_disconnect();
}

} // namespace

void platform_prepare_standard_streams() {
    posix_prepare_standard_streams();
    wayland_watchdog_start(); // before any descriptor of ours it must not share
    wayland_ending_start();
    wayland_connect();
    wayland_keys_start();
    wayland_round_trip();
    std::atexit(leave_compositor);
}

void platform_write_reply(const char* text) {
    // After a reset the core has released all it knows; a Unicode key held
    // down is known only here.
    if (std::strcmp(text, "RESET_OK") == 0 || std::strcmp(text, "RESET_KEYS_OK") == 0) wayland_release_pressed_keys();
    wayland_round_trip();
    posix_write_line(text);
}

bool platform_read(platform_handle input, char* buffer, uint32_t capacity, uint32_t* count) {
    const int fd = posix_fd(input);
    wayland_wait_for_input(fd);
    wayland_end_if_requested();
    if (!posix_read(fd, buffer, capacity, count)) return false;
    wayland_keys_prepare(buffer, *count);
    return true;
}

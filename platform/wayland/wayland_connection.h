#pragma once
#include <cstdint>

struct wl_display;
struct zwp_virtual_keyboard_v1;
struct zwlr_virtual_pointer_v1;

// The program's one connection to the compositor: opened and checked before
// the ready line, watched beside standard input, and fatal to the run when lost.

/// Connects to $WAYLAND_DISPLAY, binds the seat, both virtual-device managers
/// and the outputs, and creates the virtual keyboard and pointer. On failure
/// writes one line on standard error, naming the display and what is missing,
/// and exits with code 1.
void wayland_connect();

zwp_virtual_keyboard_v1* wayland_keyboard();
zwlr_virtual_pointer_v1* wayland_pointer();

/// The bounding box of all outputs, in the compositor's logical pixels.
struct output_box {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};
output_box wayland_output_box();

/// Milliseconds of a monotonic clock, as event time stamps.
uint32_t wayland_now();

/// Counts one request sent; sends what is buffered before libwayland's own
/// buffer could fill, so a burst never makes it fail.
void wayland_note_request();

/// Sends everything buffered, waiting while the compositor is slow to read.
void wayland_flush();

/// Sends what is buffered, then waits until fd has input, handling the
/// compositor's events meanwhile. A lost compositor ends the process.
void wayland_wait_for_input(int fd);

/// A round trip: when it returns the compositor has processed every request sent.
void wayland_round_trip();

/// Destroys the virtual devices (after every key and button is up) and disconnects.
void wayland_disconnect();

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

/// Sends what is buffered, then waits until fd (-1: none) has input, the
/// ending descriptor is readable, or timeout_ms (-1: no limit) has passed,
/// handling the compositor's events meanwhile; false when nothing but events
/// or the time came. A lost compositor ends the process.
bool wayland_wait(int fd, int timeout_ms);

/// The descriptor that becomes readable when a signal asks the program to end.
void wayland_watch_ending(int fd);

/// True once a signal has asked the program to end (wayland_ending.cpp).
bool wayland_ending_requested();

/// Hold the first key (or pointer) event of a program whose device gave the
/// seat its keyboard (or pointer) until applications have had time to bind
/// theirs; return at once otherwise, and ever after.
void wayland_settle_keyboard();
void wayland_settle_pointer();

/// A round trip: when it returns the compositor has processed every request sent.
void wayland_round_trip();

/// Destroys the virtual devices (after every key and button is up) and disconnects.
void wayland_disconnect();

#pragma once

// What the Wayland input sink adds to platform/input_sink.h.

/// Releases every button the virtual pointer holds down.
void wayland_release_pressed_buttons();

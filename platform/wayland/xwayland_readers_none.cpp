#include "platform/wayland/xwayland_readers.h"

// Built without libX11: no X application can be asked, and none is waited for.

void xwayland_note_key() {}
bool xwayland_confirm_read() { return false; }
void xwayland_confirm_keymap(uint8_t /*keycode*/, uint32_t /*keysym*/) {}

#pragma once
#include <cstdint>

// A key held down repeats by the server's own auto-repeat, read at the level
// of the modifiers then: a character bound on the shifted level would repeat
// as the plain one, and the Windows program's held key never repeats at all.
// A spare keycode in use therefore does not repeat; the server's setting of
// each key is put back when the program is done with it.

void x11_auto_repeat_stop(uint8_t keycode);
void x11_auto_repeat_restore(uint8_t keycode);
void x11_auto_repeat_restore_all();

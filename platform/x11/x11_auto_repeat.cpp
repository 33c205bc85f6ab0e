#include "platform/x11/x11_auto_repeat.h"

#include <X11/Xlib.h>

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_leftovers.h"

namespace {

bool repeat_off[256]; // keycodes whose auto-repeat this program turned off
bool repeats_saved;
char saved_repeats[32]; // the server's per-key auto-repeat bits before that

void set_auto_repeat(uint8_t keycode, bool on) {
    XKeyboardControl control{};
    control.key = keycode;
    control.auto_repeat_mode = on ? AutoRepeatModeOn : AutoRepeatModeOff;
    XChangeKeyboardControl(x11_display(), KBKey | KBAutoRepeatMode, &control);
}

} // namespace

void x11_auto_repeat_stop(uint8_t keycode) {
    // Every binding stops its key's repeat first, so this records the key
    // ahead of both changes.
    x11_leftovers_note(keycode);
    if (repeat_off[keycode]) return;
    if (!repeats_saved) {
        XKeyboardState state{};
        XGetKeyboardControl(x11_display(), &state);
        for (int i = 0; i < 32; ++i) saved_repeats[i] = state.auto_repeats[i];
        repeats_saved = true;
    }
    set_auto_repeat(keycode, false);
    repeat_off[keycode] = true;
}

void x11_auto_repeat_restore(uint8_t keycode) {
    if (!repeat_off[keycode]) return;
    set_auto_repeat(keycode, ((static_cast<unsigned>(saved_repeats[keycode / 8]) >> (keycode % 8)) & 1U) != 0);
    repeat_off[keycode] = false;
}

void x11_auto_repeat_restore_all() {
    for (int keycode = 0; keycode < 256; ++keycode) x11_auto_repeat_restore(static_cast<uint8_t>(keycode));
}

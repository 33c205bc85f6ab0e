#include "reset/release_all.h"

#include "keyboard/held_keys.h"
#include "keyboard/key_record.h"
#include "keyboard/modifier_chords.h"
#include "pointer/mouse_record.h"
#include "pointer/pointer_commands.h"

namespace {

void release_button(bool* is_down, uint32_t up_flags) {
    if (!*is_down) return;
    *is_down = false;
    send_mouse_record(up_flags, 0);
}

} // namespace

void release_mouse_buttons() {
    release_button(&left_button_down, MOUSEEVENTF_LEFTUP);
    release_button(&middle_button_down, MOUSEEVENTF_MIDDLEUP);
    release_button(&right_button_down, MOUSEEVENTF_RIGHTUP);
}

void release_all_keys() {
    // Each key-up removes the code in the last slot, so the loop shrinks the
    // table by one per pass.
    while (held_key_count > 0) send_key_record(held_keys[held_key_count - 1], 0, true);
    // A modifier can be down without being recorded (a full table, or pressed
    // under another code), so the four generic keys always go up.
    press_modifiers(MODIFIER_CTRL | MODIFIER_ALT | MODIFIER_SHIFT | MODIFIER_WIN, false);
    held_modifiers = 0;
    chord_modifiers = 0;
}

void release_all_input() {
    release_mouse_buttons();
    release_all_keys();
}

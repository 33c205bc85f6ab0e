#include "tests/support/fresh_core.h"

#include <cstring>

#include "control/command_reader.h"
#include "keyboard/held_keys.h"
#include "keyboard/modifier_chords.h"
#include "pointer/pointer_commands.h"

void zero_core_state() {
    std::memset(held_keys, 0, sizeof held_keys);
    held_key_count = 0;
    chord_modifiers = 0;
    held_modifiers = 0;
    left_button_down = false;
    middle_button_down = false;
    right_button_down = false;
    reset_command_reader();
}

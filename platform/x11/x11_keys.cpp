#include "platform/x11/x11_keys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "platform/unicode_keysyms.h"
#include "platform/vk_keysyms.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_device_events.h"
#include "platform/x11/x11_keymap.h"
#include "platform/x11/x11_spare_choice.h"
#include "platform/x11/x11_spare_keycodes.h"
#include "platform/x11/x11_watchdog.h"

namespace {

constexpr int MAX_UNICODE_PRESSES = 32;

struct unicode_press {
    uint16_t unit;
    uint8_t keycode;
};

bool keycode_down[256];
uint8_t keycode_of_vk[256];
unicode_press unicode_presses[MAX_UNICODE_PRESSES];
int unicode_press_count;
int home_group = -1; // the group the keyboard is locked in when we select none; -1 until asked
int read_group;      // the group our key events are read in now

bool shift_is_down() {
    for (int keycode = 0; keycode < 256; ++keycode) {
        if (!keycode_down[keycode]) continue;
        const uint32_t keysym = x11_keymap_keysym(static_cast<uint8_t>(keycode), KEYMAP_PLAIN);
        if (keysym == XK_Shift_L || keysym == XK_Shift_R) return true;
    }
    return false;
}

// The keycode for a virtual-key code: where the keymap has its keysym
// unshifted, else a spare one. A letter's spare binding has both cases, so a
// held Shift still makes it a capital, as the key would.
uint8_t keycode_for_vk(uint16_t vk) {
    const uint32_t keysym = vk_to_keysym(vk);
    if (keysym == 0) return 0;
    const uint8_t keycode = x11_keymap_find(keysym, KEYMAP_PLAIN);
    if (keycode != 0) return keycode;
    const bool letter = keysym >= XK_a && keysym <= XK_z;
    return x11_spare_bind(keysym, letter ? keysym - XK_a + XK_A : keysym);
}

void vk_event(uint16_t vk, bool up) {
    if (vk >= 256) return;
    if (!up) {
        const uint8_t keycode = keycode_for_vk(vk);
        if (keycode == 0) return;
        keycode_of_vk[vk] = keycode;
        x11_press_keycode(keycode);
        return;
    }
    uint8_t keycode = keycode_of_vk[vk];
    keycode_of_vk[vk] = 0;
    // A release without a press of ours still reaches the key, as on Windows,
    // but never binds a spare keycode for it.
    if (keycode == 0) keycode = x11_keymap_find(vk_to_keysym(vk), KEYMAP_PLAIN);
    if (keycode != 0) x11_release_keycode(keycode);
}

// A key with nothing shifted types a letter's capital with Shift for a client
// that converts the case itself, the letter for one that reads the server's
// key type: with Shift held, only a key that has the letter shifted too is sure.
bool has_case(uint32_t keysym) {
    KeySym lower = NoSymbol;
    KeySym upper = NoSymbol;
    XConvertCase(keysym, &lower, &upper);
    return lower != upper;
}

uint8_t press_shifted(uint8_t shift_keycode, uint8_t keycode) {
    x11_press_keycode(shift_keycode);
    x11_press_keycode(keycode);
    x11_release_keycode(shift_keycode);
    return keycode;
}

// Asked once: the layout the user has locked (a second one, say) is put back
// after every press in another group.
int keyboard_group() {
    if (home_group < 0) {
        XkbStateRec state{};
        home_group = XkbGetState(x11_display(), XkbUseCoreKbd, &state) == Success ? state.locked_group : 0;
        read_group = home_group;
        x11_watchdog_note_home_group(home_group);
    }
    return home_group;
}

void select_group(int group) {
    x11_device_lock_group(static_cast<unsigned int>(group));
    read_group = group;
}

// A spare key carries characters in up to four groups: it is typed with its
// group locked for the press alone, so the release, and every key of the
// controller's, is read in the group it would be otherwise. A lock is no key:
// it leaves the modifiers the controller holds as they are.
uint8_t press_spare_level(uint8_t shift_keycode, uint8_t keycode, int level) {
    const int group = level / 2;
    const int home = keyboard_group();
    if (group != home) select_group(group);
    if (level % 2 == 1) {
        press_shifted(shift_keycode, keycode);
    } else {
        x11_press_keycode(keycode);
    }
    if (group != home) select_group(home);
    return keycode;
}

// Types the character whatever the modifiers we hold: a key that has it at
// the level the Shift we hold selects, or that key with a Shift added around
// the press, or else a spare keycode bound to it.
uint8_t press_character(uint32_t keysym) {
    const bool shift = shift_is_down();
    uint8_t keycode = x11_keymap_find(keysym, KEYMAP_PLAIN);
    if (keycode != 0) {
        const uint32_t shifted = x11_keymap_keysym(keycode, KEYMAP_SHIFTED);
        if (!shift || shifted == keysym || (shifted == 0 && !has_case(keysym))) {
            x11_press_keycode(keycode);
            return keycode;
        }
    }
    keycode = x11_keymap_find(keysym, KEYMAP_SHIFTED);
    if (keycode != 0 && shift) {
        x11_press_keycode(keycode);
        return keycode;
    }
    const uint8_t shift_keycode = x11_keymap_find(XK_Shift_L, KEYMAP_PLAIN);
    if (keycode != 0 && shift_keycode != 0) return press_shifted(shift_keycode, keycode);
    int level = SPARE_PLAIN;
    // A spare binding on one level leaves the others for other characters;
    // with Shift held, or no Shift to add, the key carries it on both of its
    // first group.
    keycode = shift || shift_keycode == 0 ? x11_spare_bind(keysym, keysym) : x11_spare_bind_level(keysym, &level);
    if (keycode == 0) return 0;
    return press_spare_level(shift_keycode, keycode, level);
}

void unicode_event_of(uint16_t unit, bool up) {
    const unicode_event event = pair_surrogates(unit, up);
    if (up) {
        for (int i = 0; i < unicode_press_count; ++i) {
            if (unicode_presses[i].unit != event.key_unit) continue;
            x11_release_keycode(unicode_presses[i].keycode);
            unicode_presses[i] = unicode_presses[--unicode_press_count];
            return;
        }
        return;
    }
    if (event.code_point == 0) return;
    const uint8_t keycode = press_character(unicode_keysym(event.code_point));
    if (keycode != 0 && unicode_press_count < MAX_UNICODE_PRESSES) {
        unicode_presses[unicode_press_count++] = {event.key_unit, keycode};
    }
}

} // namespace

void x11_key_event(uint16_t vk, uint16_t unit, bool unicode, bool up) {
    if (vk != 0) {
        vk_event(vk, up);
    } else if (unicode && unit != 0) {
        unicode_event_of(unit, up);
    }
}

void x11_press_keycode(uint8_t keycode) {
    const int level = 2 * (read_group % SPARE_GROUPS) + (shift_is_down() ? 1 : 0);
    keycode_down[keycode] = true;
    x11_spare_note_event(keycode, true, level, x11_device_key(keycode, true));
}

void x11_release_keycode(uint8_t keycode) {
    const int level = 2 * (read_group % SPARE_GROUPS) + (shift_is_down() ? 1 : 0);
    keycode_down[keycode] = false;
    x11_spare_note_event(keycode, false, level, x11_device_key(keycode, false));
}

bool x11_keycode_is_down(uint8_t keycode) { return keycode_down[keycode]; }

const bool* x11_keycodes_down() { return keycode_down; }

void x11_release_pressed_keys() {
    for (int keycode = 0; keycode < 256; ++keycode) {
        if (keycode_down[keycode]) x11_release_keycode(static_cast<uint8_t>(keycode));
    }
    for (uint8_t& keycode : keycode_of_vk) keycode = 0;
    unicode_press_count = 0;
    home_group = -1; // asked again: the user may have switched layouts since
    reset_surrogate_pairing();
}

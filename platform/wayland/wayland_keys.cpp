#include "platform/wayland/wayland_keys.h"

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include "platform/unicode_keysyms.h"
#include "platform/vk_keysyms.h"
#include "platform/wayland/wayland_characters.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_keymap_text.h"
#include "platform/wayland/xwayland_readers.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace {

constexpr int MAX_UNICODE_PRESSES = 32;
constexpr uint32_t KEYMAP_FORMAT_XKB_V1 = 1;
constexpr size_t KEYMAP_CAPACITY = 32768;
constexpr size_t MAX_PREPARED = 256;
constexpr uint8_t SHIFT_KEYCODE = 42 + XKB_KEYCODE_OFFSET;

struct unicode_press {
    uint16_t unit;
    uint8_t keycode;
};

struct sent_modifiers {
    uint32_t depressed;
    uint32_t latched;
    uint32_t locked;
    uint32_t group;
};

char keymap_text[KEYMAP_CAPACITY];
xkb_context* context;
xkb_state* state; // the modifiers of the keys held; character keys set none
sent_modifiers modifiers;
bool keycode_down[256];
uint8_t keycode_of_vk[256];
unicode_press unicode_presses[MAX_UNICODE_PRESSES];
int unicode_press_count;
uint32_t prepared[MAX_PREPARED]; // the characters of this chunk that need a character key, in order
size_t prepared_count;
size_t prepared_next;                          // where the next one is likely to be
uint32_t uploaded[CHARACTER_KEY_COUNT];        // the bindings of the last keymap sent
bool pressed_unconfirmed[CHARACTER_KEY_COUNT]; // pressed since an X reader last said it read all

[[noreturn]] void keymap_failed(const char* what) {
    std::fprintf(stderr, "braskelot_wayland_input: %s\n", what);
    std::exit(1);
}

void send_modifiers(bool always) {
    const sent_modifiers now = {xkb_state_serialize_mods(state, XKB_STATE_MODS_DEPRESSED),
                                xkb_state_serialize_mods(state, XKB_STATE_MODS_LATCHED),
                                xkb_state_serialize_mods(state, XKB_STATE_MODS_LOCKED),
                                xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE)};
    if (!always && now.depressed == modifiers.depressed && now.latched == modifiers.latched &&
        now.locked == modifiers.locked && now.group == modifiers.group) {
        return;
    }
    modifiers = now;
    zwp_virtual_keyboard_v1_modifiers(wayland_keyboard(), now.depressed, now.latched, now.locked, now.group);
    wayland_note_request();
}

// Before a keymap that replaces a binding an X application may not have read
// yet, it is asked to confirm it has; the slot of a changed binding to check
// the new keymap on afterwards, or -1.
int confirm_before_upload(const uint32_t* keysyms) {
    bool replaces_unread = false;
    int changed = -1;
    for (size_t slot = 0; slot < CHARACTER_KEY_COUNT; ++slot) {
        if (keysyms[slot] == uploaded[slot]) continue;
        if (uploaded[slot] != 0 && pressed_unconfirmed[slot]) replaces_unread = true;
        if (changed < 0 && keysyms[slot] != 0) changed = static_cast<int>(slot);
    }
    if (replaces_unread) {
        xwayland_confirm_read();
        for (bool& pressed : pressed_unconfirmed) pressed = false;
    }
    return changed;
}

// The keymap goes in a file of its own each time: the compositor reads it
// when it gets to the request, after we may have written the next one.
void upload_keymap() {
    const uint32_t* keysyms = characters_keysyms();
    const size_t length = keymap_write_text(keymap_text, sizeof keymap_text, keysyms);
    const int fd = memfd_create("braskelot-keymap", MFD_CLOEXEC);
    if (length == 0 || fd < 0) return;
    const int changed = confirm_before_upload(keysyms);
    const char* bytes = keymap_text;
    size_t left = length + 1; // with its NUL
    while (left > 0) {
        const ssize_t written = write(fd, bytes, left);
        if (written <= 0) break;
        bytes += written;
        left -= static_cast<size_t>(written);
    }
    if (left == 0) {
        zwp_virtual_keyboard_v1_keymap(wayland_keyboard(), KEYMAP_FORMAT_XKB_V1, fd, static_cast<uint32_t>(length + 1));
        wayland_note_request();
        // A new keymap starts the compositor's modifier state afresh.
        send_modifiers(true);
        for (size_t slot = 0; slot < CHARACTER_KEY_COUNT; ++slot) uploaded[slot] = keysyms[slot];
        if (changed >= 0) {
            xwayland_confirm_keymap(keymap_character_keycode(static_cast<size_t>(changed)), keysyms[changed]);
        }
    }
    close(fd); // libwayland has sent or holds its own copy
}

void key(uint8_t keycode, bool down) {
    if (down) wayland_settle_keyboard();
    keycode_down[keycode] = down;
    zwp_virtual_keyboard_v1_key(wayland_keyboard(), wayland_now(), keycode - XKB_KEYCODE_OFFSET, down ? 1u : 0u);
    wayland_note_request();
    xwayland_note_key();
    xkb_state_update_key(state, keycode, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    send_modifiers(false);
}

int slot_of_keycode(uint8_t keycode) {
    for (size_t slot = 0; slot < CHARACTER_KEY_COUNT; ++slot) {
        if (keymap_character_keycode(slot) == keycode) return static_cast<int>(slot);
    }
    return -1;
}

void press(uint8_t keycode) {
    const int slot = slot_of_keycode(keycode);
    if (slot >= 0) pressed_unconfirmed[slot] = true;
    characters_note_down(slot, true);
    key(keycode, true);
}

void release(uint8_t keycode) {
    characters_note_down(slot_of_keycode(keycode), false);
    key(keycode, false);
}

void vk_event(uint16_t vk, bool up) {
    if (vk >= 256) return;
    if (!up) {
        const uint8_t keycode = keymap_vk_keycode(vk);
        if (keycode == 0) return;
        keycode_of_vk[vk] = keycode;
        press(keycode);
        return;
    }
    // A release without a press of ours still reaches the key, as on Windows.
    const uint8_t keycode = keycode_of_vk[vk] != 0 ? keycode_of_vk[vk] : keymap_vk_keycode(vk);
    keycode_of_vk[vk] = 0;
    if (keycode != 0) release(keycode);
}

bool no_modifiers() { return xkb_state_serialize_mods(state, XKB_STATE_MODS_EFFECTIVE) == 0; }

// The US key that types the character with the modifiers held, or that key
// with a Shift around the press when none is held, or else a character key,
// which types it whatever the modifiers.
uint8_t press_character(uint32_t keysym) {
    bool shifted = false;
    const uint8_t keycode = keymap_keysym_keycode(keysym, &shifted);
    if (keycode != 0 && xkb_state_key_get_one_sym(state, keycode) == keysym) {
        press(keycode);
        return keycode;
    }
    if (keycode != 0 && shifted && no_modifiers()) {
        press(SHIFT_KEYCODE);
        press(keycode);
        release(SHIFT_KEYCODE);
        return keycode;
    }
    // A character the chunk's binding left out: it and the ones after it get
    // the keys of those already typed, in one new keymap.
    if (characters_find(keysym) < 0) {
        for (size_t i = prepared_next; i < prepared_count; ++i) {
            if (prepared[i] != keysym) continue;
            if (characters_bind_all(prepared + i, prepared_count - i)) upload_keymap();
            prepared_next = i + 1;
            break;
        }
    }
    bool changed = false;
    const int slot = characters_bind(keysym, &changed);
    if (slot < 0) return 0;
    if (changed) upload_keymap();
    const uint8_t character_keycode = keymap_character_keycode(static_cast<size_t>(slot));
    press(character_keycode);
    return character_keycode;
}

void unicode_event_of(uint16_t unit, bool up) {
    const unicode_event event = pair_surrogates(unit, up);
    if (up) {
        for (int i = 0; i < unicode_press_count; ++i) {
            if (unicode_presses[i].unit != event.key_unit) continue;
            release(unicode_presses[i].keycode);
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

// The next unsigned number of a line, as the reader parses it; false at none.
bool next_number(const char** cursor, const char* end, uint32_t* value) {
    const char* at = *cursor;
    while (at < end && *at == ' ') ++at;
    if (at == end || *at < '0' || *at > '9') return false;
    uint64_t number = 0;
    while (at < end && *at >= '0' && *at <= '9') {
        number = number * 10 + static_cast<uint64_t>(*at - '0');
        if (number > 0xFFFFFFFFu) return false;
        ++at;
    }
    *value = static_cast<uint32_t>(number);
    *cursor = at;
    return true;
}

bool starts_with(const char* line, const char* end, const char* prefix) {
    for (; *prefix != '\0'; ++prefix, ++line) {
        if (line == end || *line != *prefix) return false;
    }
    return true;
}

// The character a Unicode key press line types, paired across lines as the
// backend pairs surrogates; 0 for none.
uint32_t line_character(const char* line, const char* end, uint16_t* high) {
    const char* cursor = line;
    if (starts_with(line, end, "KEY_TAP ")) {
        cursor += 8;
    } else if (starts_with(line, end, "KEY_DOWN ")) {
        cursor += 9;
    } else {
        return 0;
    }
    uint32_t vk = 0;
    uint32_t mods = 0;
    uint32_t unit = 0;
    if (!next_number(&cursor, end, &vk) || !next_number(&cursor, end, &mods) || !next_number(&cursor, end, &unit) ||
        (vk & 0xFFFFu) != 0) {
        return 0;
    }
    unit &= 0xFFFFu;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        *high = static_cast<uint16_t>(unit);
        return 0;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        const uint32_t code_point = *high == 0 ? 0 : 0x10000u + ((*high - 0xD800u) << 10u) + (unit - 0xDC00u);
        *high = 0;
        return code_point;
    }
    *high = 0;
    return unit;
}

} // namespace

void wayland_keys_start() {
    context = xkb_context_new(
        static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    const size_t length = keymap_write_text(keymap_text, sizeof keymap_text, characters_keysyms());
    xkb_keymap* keymap =
        context == nullptr || length == 0
            ? nullptr
            : xkb_keymap_new_from_string(context, keymap_text, XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap == nullptr) keymap_failed("the program's own keymap does not compile");
    // Character keys never change the modifiers, so this one state serves
    // every keymap the program uploads.
    state = xkb_state_new(keymap);
    xkb_keymap_unref(keymap);
    if (state == nullptr) keymap_failed("no keyboard state for the program's keymap");
    upload_keymap();
}

void wayland_key_event(uint16_t vk, uint16_t unit, bool unicode, bool up) {
    if (vk != 0) {
        vk_event(vk, up);
    } else if (unicode && unit != 0) {
        unicode_event_of(unit, up);
    }
}

void wayland_keys_prepare(const char* chunk, size_t length) {
    size_t count = 0;
    uint16_t high = 0;
    const char* end = chunk + length;
    for (const char* line = chunk; line < end && count < MAX_PREPARED;) {
        const char* line_end = line;
        while (line_end < end && *line_end != '\n') ++line_end;
        const uint32_t code_point = line_character(line, line_end, &high);
        if (code_point != 0) {
            const uint32_t keysym = unicode_keysym(code_point);
            bool shifted = false;
            if (keymap_keysym_keycode(keysym, &shifted) == 0) prepared[count++] = keysym;
        }
        line = line_end + 1;
    }
    prepared_count = count;
    prepared_next = 0;
    if (count > 0 && characters_bind_all(prepared, count)) upload_keymap();
}

void wayland_release_pressed_keys() {
    for (int keycode = 0; keycode < 256; ++keycode) {
        if (keycode_down[keycode]) release(static_cast<uint8_t>(keycode));
    }
    for (uint8_t& keycode : keycode_of_vk) keycode = 0;
    unicode_press_count = 0;
    reset_surrogate_pairing();
}

#include "fuzz/recording_sink.h"

#include <cstdio>
#include <cstdlib>

#include "keyboard/held_keys.h"
#include "keyboard/key_record.h"
#include "platform/input_sink.h"
#include "pointer/mouse_record.h"

namespace {

constexpr uint32_t KEY_CODES = 65536;

bool key_down[KEY_CODES];
bool key_tracked[KEY_CODES];
bool key_seen[KEY_CODES];
uint16_t seen_codes[KEY_CODES];
uint32_t seen_count;
bool button_down[3];

bool in_held_keys(uint16_t vk) {
    for (int32_t slot = 0; slot < held_key_count; ++slot) {
        if (held_keys[slot] == vk) return true;
    }
    return false;
}

void record_key(const keyboard_input& ki) {
    if ((ki.dwFlags & KEYEVENTF_UNICODE) != 0) {
        if (ki.wVk != 0) invariant_broken("Unicode record with a key code", ki.wVk);
        return;
    }
    const uint16_t vk = ki.wVk;
    if (vk == 0) return; // an empty record presses nothing
    const bool up = (ki.dwFlags & KEYEVENTF_KEYUP) != 0;
    // The table is updated before the record goes out.
    const bool tracked = in_held_keys(vk);
    if (up) {
        if (tracked) invariant_broken("key still in the held-key table at its key-up", vk);
    } else if (!tracked && held_key_count != HELD_KEYS_CAPACITY) {
        invariant_broken("key press not recorded though the table has room", vk);
    }
    key_down[vk] = !up;
    if (!up) key_tracked[vk] = tracked;
    if (!key_seen[vk]) {
        key_seen[vk] = true;
        seen_codes[seen_count++] = vk;
    }
}

void record_mouse(const mouse_input& mi) {
    const uint32_t flags = mi.dwFlags;
    if ((flags & MOUSEEVENTF_LEFTDOWN) != 0) button_down[0] = true;
    if ((flags & MOUSEEVENTF_LEFTUP) != 0) button_down[0] = false;
    if ((flags & MOUSEEVENTF_MIDDLEDOWN) != 0) button_down[1] = true;
    if ((flags & MOUSEEVENTF_MIDDLEUP) != 0) button_down[1] = false;
    if ((flags & MOUSEEVENTF_RIGHTDOWN) != 0) button_down[2] = true;
    if ((flags & MOUSEEVENTF_RIGHTUP) != 0) button_down[2] = false;
}

} // namespace

void invariant_broken(const char* what, uint32_t value) {
    std::fprintf(stderr, "\n*** invariant broken: %s (value %u)\n", what, value);
    std::abort();
}

void recording_sink_reset() {
    for (uint32_t k = 0; k < seen_count; ++k) {
        key_down[seen_codes[k]] = false;
        key_tracked[seen_codes[k]] = false;
        key_seen[seen_codes[k]] = false;
    }
    seen_count = 0;
    button_down[0] = button_down[1] = button_down[2] = false;
}

bool recorded_key_down(uint16_t vk) { return key_down[vk]; }
bool recorded_key_tracked(uint16_t vk) { return key_tracked[vk]; }
const uint16_t* pressed_codes() { return seen_codes; }
uint32_t pressed_code_count() { return seen_count; }
bool recorded_button_down(int button) { return button_down[button]; }

void input_sink_inject(const input_record& record) {
    if (record.type == RECORD_TYPE_KEYBOARD) {
        if (record.ki.time != 0 || record.ki.dwExtraInfo != 0) invariant_broken("keyboard record not cleared", 0);
        record_key(record.ki);
    } else if (record.type == RECORD_TYPE_MOUSE) {
        if (record.mi.time != 0 || record.mi.dwExtraInfo != 0) invariant_broken("mouse record not cleared", 0);
        record_mouse(record.mi);
    } else {
        invariant_broken("record of unknown type", record.type);
    }
}

void input_sink_place_pointer(int32_t /*x*/, int32_t /*y*/) {}

uint32_t input_sink_scan_code(uint16_t vk) { return vk & 0x7fu; }

// A multiple click waits between its clicks; here that would only slow the fuzzer.
void input_sink_pause(uint32_t /*milliseconds*/) {}

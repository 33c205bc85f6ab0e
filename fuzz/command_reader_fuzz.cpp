// Feeds arbitrary bytes to the command reader as a run of reads, then ends the
// input the way the program does (release everything) and checks that nothing
// is left down and the shared state is sound.
//
// Input layout: byte 0 is a count n; the next 2n bytes are n read sizes (16-bit
// little-endian, each taken modulo 4096, plus 1); everything after them is the
// stream. Reads take the sizes in turn; the stream left over after them goes
// in reads of 4096 bytes, as the program's own reader would take it. An input
// shorter than its header uses the whole sizes it has.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "control/command_reader.h"
#include "fuzz/recording_sink.h"
#include "keyboard/held_keys.h"
#include "keyboard/modifier_chords.h"
#include "pointer/pointer_commands.h"
#include "reset/release_all.h"
#include "tests/support/fresh_core.h"

namespace {

void start_clean() {
    zero_core_state();
    recording_sink_reset();
}

bool is_generic_modifier(uint16_t vk) { return vk == VK_CONTROL || vk == VK_MENU || vk == VK_SHIFT || vk == VK_LWIN; }

// What must hold between any two reads.
void check_state() {
    if (held_key_count < 0 || held_key_count > HELD_KEYS_CAPACITY) {
        invariant_broken("held_key_count out of range", static_cast<uint32_t>(held_key_count));
    }
    static bool in_table[65536];
    for (int32_t slot = 0; slot < held_key_count; ++slot) {
        const uint16_t vk = held_keys[slot];
        if (vk == 0) invariant_broken("code 0 in the held-key table", 0);
        if (in_table[vk]) invariant_broken("code twice in the held-key table", vk);
        in_table[vk] = true;
        // The table holds only what was pressed and not released since.
        if (!recorded_key_down(vk)) invariant_broken("held-key table lists a key that is up", vk);
    }
    // And every key that is down and was recorded at its press is still there,
    // so a release-all now would let it go.
    const uint16_t* codes = pressed_codes();
    for (uint32_t k = 0; k < pressed_code_count(); ++k) {
        const uint16_t vk = codes[k];
        if (recorded_key_down(vk) && recorded_key_tracked(vk) && !in_table[vk]) {
            invariant_broken("key down and recorded at its press, yet gone from the held-key table", vk);
        }
    }
    for (int32_t slot = 0; slot < held_key_count; ++slot) in_table[held_keys[slot]] = false;
    if ((chord_modifiers & held_modifiers) != 0) {
        invariant_broken("modifier bit in both masks", chord_modifiers & held_modifiers);
    }
    const bool flags[3] = {left_button_down, middle_button_down, right_button_down};
    for (int button = 0; button < 3; ++button) {
        if (flags[button] != recorded_button_down(button)) {
            invariant_broken("button flag disagrees with the records sent", static_cast<uint32_t>(button));
        }
    }
}

// After the final release-all.
void check_all_released() {
    check_state();
    if (held_key_count != 0)
        invariant_broken("held-key table not empty after release-all", static_cast<uint32_t>(held_key_count));
    if (chord_modifiers != 0 || held_modifiers != 0)
        invariant_broken("modifier mask not cleared", chord_modifiers | held_modifiers);
    if (left_button_down || middle_button_down || right_button_down) invariant_broken("button flag still set", 0);
    for (int button = 0; button < 3; ++button) {
        if (recorded_button_down(button)) invariant_broken("mouse button left down", static_cast<uint32_t>(button));
    }
    // A press that found the table full is knowingly not tracked and may stay
    // down; every tracked key, and the four generic modifiers always, must not.
    const uint16_t* codes = pressed_codes();
    for (uint32_t k = 0; k < pressed_code_count(); ++k) {
        const uint16_t vk = codes[k];
        if (!recorded_key_down(vk)) continue;
        if (is_generic_modifier(vk)) invariant_broken("generic modifier left down", vk);
        if (recorded_key_tracked(vk)) invariant_broken("tracked key left down", vk);
    }
}

// One read: a copy of exactly this size, so reading past it is caught.
bool feed(const uint8_t* bytes, size_t count) {
    std::unique_ptr<char[]> chunk(new char[count]);
    std::memcpy(chunk.get(), bytes, count);
    const bool go_on = handle_chunk(chunk.get(), static_cast<uint32_t>(count));
    check_state();
    return go_on;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    start_clean();
    size_t split_count = data[0];
    if (split_count > (size - 1) / 2) split_count = (size - 1) / 2;
    const uint8_t* sizes = data + 1;
    const uint8_t* stream = sizes + 2 * split_count;
    size_t left = size - 1 - 2 * split_count;
    bool go_on = true;
    for (size_t k = 0; k < split_count && go_on && left > 0; ++k) {
        const size_t wanted = ((sizes[2 * k] | static_cast<size_t>(sizes[2 * k + 1]) << 8) % READ_CHUNK_SIZE) + 1;
        const size_t count = wanted < left ? wanted : left;
        go_on = feed(stream, count);
        stream += count;
        left -= count;
    }
    while (go_on && left > 0) {
        const size_t count = left < READ_CHUNK_SIZE ? left : READ_CHUNK_SIZE;
        go_on = feed(stream, count);
        stream += count;
        left -= count;
    }
    // The end of the input (or QUIT) is followed by the program's final release.
    release_all_input();
    check_all_released();
    return 0;
}

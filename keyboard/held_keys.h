#pragma once
#include <cstdint>

// Every virtual-key code the system has pressed and not yet released, so that a
// reset or the end of the run can release it. Only send_key_record changes it.

constexpr int32_t HELD_KEYS_CAPACITY = 256;

/// Slots 0 .. held_key_count - 1 hold distinct, non-zero codes.
extern uint16_t held_keys[HELD_KEYS_CAPACITY];
extern int32_t held_key_count;

/// Records vk at the end unless it is already there or the table is full.
void add_held_key(uint16_t vk);
/// Forgets vk, moving the last code into its slot; unknown codes change nothing.
void remove_held_key(uint16_t vk);

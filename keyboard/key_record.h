#pragma once
#include <cstdint>

constexpr uint32_t KEYEVENTF_EXTENDEDKEY = 1;
constexpr uint32_t KEYEVENTF_KEYUP = 2;
constexpr uint32_t KEYEVENTF_UNICODE = 4;

/// True for the keys that sit on the extended part of the keyboard (arrows,
/// the navigation block, Windows and Applications keys, right Control and Alt,
/// keypad divide, Num Lock, Print Screen).
bool is_extended_key(uint16_t vk);

/// Builds and injects one keyboard record: a key record when vk is not 0, a
/// Unicode keystroke of ch when vk is 0 and ch is not, otherwise an empty
/// record. Key records keep held_keys in step before they are injected.
void send_key_record(uint16_t vk, uint16_t ch, bool up);

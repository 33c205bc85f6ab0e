#pragma once
#include <cstdint>

// Unicode keystrokes come as UTF-16 units; X wants one keysym per character.

/// The keysym of a code point: Latin-1 is its own keysym, the rest 0x01000000 + code point.
uint32_t unicode_keysym(uint32_t code_point);

/// What one Unicode key event stands for once surrogates are paired.
struct unicode_event {
    uint32_t code_point; // 0 when the event types nothing
    uint16_t key_unit;   // the unit a press is filed under and a release looks for
};

/// Pairs a high surrogate with the low one that follows it, as two taps or as
/// press, press, release, release. Other units stand for themselves; a lone
/// surrogate stands for nothing.
unicode_event pair_surrogates(uint16_t unit, bool up);

/// Forgets a high surrogate still waiting for its partner.
void reset_surrogate_pairing();

#pragma once
#include <cstdint>

// The fuzzer's input sink: it injects nothing, but follows every key and
// mouse button that the records press and release, so that the harness can
// tell at the end of an input whether anything was left down.

/// Forgets everything recorded, for a fresh input.
void recording_sink_reset();

/// True while the last record of this key code was a press.
bool recorded_key_down(uint16_t vk);
/// True when the key's last press found it in the held-key table afterwards,
/// so a release-all owes it a key-up.
bool recorded_key_tracked(uint16_t vk);

/// The key codes pressed at least once since the reset, each once.
const uint16_t* pressed_codes();
uint32_t pressed_code_count();

/// What the mouse records left down: left, middle, right.
bool recorded_button_down(int button);

/// Stops the run with a message; the fuzzer keeps the input that did it.
[[noreturn]] void invariant_broken(const char* what, uint32_t value);

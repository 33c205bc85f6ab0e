#pragma once
#include <cstdint>

constexpr uint32_t MODIFIER_CTRL = 1;
constexpr uint32_t MODIFIER_ALT = 2;
constexpr uint32_t MODIFIER_SHIFT = 4;
constexpr uint32_t MODIFIER_WIN = 8;

constexpr uint16_t VK_SHIFT = 16;
constexpr uint16_t VK_CONTROL = 17;
constexpr uint16_t VK_MENU = 18;
constexpr uint16_t VK_LWIN = 91;

/// Modifiers pressed on behalf of the mask of a KEY_DOWN.
extern uint32_t chord_modifiers;
/// Modifiers whose own key a KEY_DOWN pressed. Never shares a bit with
/// chord_modifiers.
extern uint32_t held_modifiers;

/// The modifier bit a key stands for (left, right and generic alike), or 0.
uint32_t key_modifier_bit(uint16_t vk);

/// Presses or releases the generic keys of the mask's modifier bits, always in
/// the order Control, Alt, Shift, Windows. Leaves both masks alone.
void press_modifiers(uint32_t mask, bool down);

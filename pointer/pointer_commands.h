#pragma once
#include <cstdint>

// What the system itself pressed and has not released; the user's own mouse
// never changes these. Read and cleared by the release-all routine.
extern bool left_button_down;
extern bool middle_button_down;
extern bool right_button_down;

constexpr int32_t MULTI_CLICK_PAUSE_MS = 10;

void move_pointer(int32_t x, int32_t y);
/// Button numbers: 2 right, 1 middle, anything else left.
void button_down(int32_t x, int32_t y, int32_t button);
void button_up(int32_t x, int32_t y, int32_t button);
/// count is held to 1..3: single, double or triple click.
void button_click(int32_t x, int32_t y, int32_t button, int32_t count);
/// Positive vertical amounts turn the wheel toward the user.
void scroll_wheel(int32_t horizontal, int32_t vertical);

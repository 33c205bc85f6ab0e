#pragma once
#include <cstdint>

// The wheel as a high-resolution wheel sees it: 120 units are one click, and
// what is left of a record counts toward the next one on the same axis.

constexpr int32_t WHEEL_UNITS_PER_CLICK = 120;
/// No record turns the wheel more than this many clicks, so a huge amount
/// cannot flood the server; the excess is dropped.
constexpr int32_t WHEEL_MAX_CLICKS = 10000;

struct wheel_axis {
    int32_t remainder; // below one click, with its sign
};

/// Adds a record's signed amount to the axis and returns the whole clicks it
/// makes (signed, at most WHEEL_MAX_CLICKS either way).
int32_t wheel_clicks(wheel_axis* axis, int32_t amount);

#include "platform/wheel.h"

int32_t wheel_clicks(wheel_axis* axis, int32_t amount) {
    // 64 bits: a remainder plus the lowest 32-bit amount must not overflow.
    const int64_t total = static_cast<int64_t>(axis->remainder) + amount;
    axis->remainder = static_cast<int32_t>(total % WHEEL_UNITS_PER_CLICK);
    int64_t clicks = total / WHEEL_UNITS_PER_CLICK;
    if (clicks > WHEEL_MAX_CLICKS) clicks = WHEEL_MAX_CLICKS;
    if (clicks < -WHEEL_MAX_CLICKS) clicks = -WHEEL_MAX_CLICKS;
    return static_cast<int32_t>(clicks);
}

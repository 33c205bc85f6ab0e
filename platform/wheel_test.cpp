#include "platform/wheel.h"

#include <climits>

#include <gtest/gtest.h>

namespace {

struct wheel_row {
    const char* name;
    int32_t amounts[4];
    int amount_count;
    int32_t clicks[4];
    int32_t remainder;
};

TEST(X11Wheel, ClicksAndRemaindersPerRecord) {
    const wheel_row rows[] = {
        {"one click", {120}, 1, {1}, 0},
        {"one click down", {-120}, 1, {-1}, 0},
        {"below a click waits", {119}, 1, {0}, 119},
        {"halves make a click", {60, 60}, 2, {0, 1}, 0},
        {"a remainder counts toward the next", {200, 50}, 2, {1, 1}, 10},
        {"negative remainders keep their sign", {-200, -50}, 2, {-1, -1}, -10},
        {"the other way cancels a remainder", {100, -100}, 2, {0, 0}, 0},
        {"a turn back passes zero", {60, -200}, 2, {0, -1}, -20},
        {"several clicks at once", {360, 480}, 2, {3, 4}, 0},
        {"many small steps", {30, 30, 30, 30}, 4, {0, 0, 0, 1}, 0},
    };
    for (const wheel_row& row : rows) {
        SCOPED_TRACE(row.name);
        wheel_axis axis{0};
        for (int i = 0; i < row.amount_count; ++i) EXPECT_EQ(wheel_clicks(&axis, row.amounts[i]), row.clicks[i]) << i;
        EXPECT_EQ(axis.remainder, row.remainder);
    }
}

TEST(X11Wheel, HugeAmountsAreCutToTheBound) {
    wheel_axis axis{0};
    EXPECT_EQ(wheel_clicks(&axis, INT32_MAX), WHEEL_MAX_CLICKS);
    EXPECT_EQ(axis.remainder, INT32_MAX % 120);
    axis.remainder = -119;
    EXPECT_EQ(wheel_clicks(&axis, INT32_MIN), -WHEEL_MAX_CLICKS);
    EXPECT_EQ(axis.remainder, static_cast<int32_t>((static_cast<int64_t>(INT32_MIN) - 119) % 120));
    axis.remainder = 0;
    EXPECT_EQ(wheel_clicks(&axis, WHEEL_MAX_CLICKS * 120), WHEEL_MAX_CLICKS);
    EXPECT_EQ(wheel_clicks(&axis, (WHEEL_MAX_CLICKS + 1) * 120), WHEEL_MAX_CLICKS);
}

} // namespace

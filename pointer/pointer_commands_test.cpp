#include "pointer/pointer_commands.h"

#include <climits>

#include <gtest/gtest.h>

#include "tests/support/core_state.h"
#include "tests/support/recorded_trace.h"

namespace {

using pointer_commands_test = core_test;

struct button_flags {
    bool left;
    bool middle;
    bool right;
    bool operator==(const button_flags& other) const {
        return left == other.left && middle == other.middle && right == other.right;
    }
};

std::ostream& operator<<(std::ostream& out, const button_flags& flags) {
    return out << "left " << flags.left << " middle " << flags.middle << " right " << flags.right;
}

button_flags current_flags() { return {left_button_down, middle_button_down, right_button_down}; }

TEST_F(pointer_commands_test, MovePlacesThenSendsAZeroMove) {
    move_pointer(-5, 100000);
    EXPECT_EQ(recorded_trace(), (lines{"place -5 100000", "mouse flags=0x0001 data=0"}));
}

struct button_row {
    int32_t button;
    uint32_t down_flags;
    uint32_t up_flags;
    button_flags pressed;
};

const button_row BUTTONS[] = {
    {2, 0x0008, 0x0010, {false, false, true}},       {1, 0x0020, 0x0040, {false, true, false}},
    {0, 0x0002, 0x0004, {true, false, false}},       {3, 0x0002, 0x0004, {true, false, false}},
    {7, 0x0002, 0x0004, {true, false, false}},       {-1, 0x0002, 0x0004, {true, false, false}},
    {INT_MIN, 0x0002, 0x0004, {true, false, false}}, {INT_MAX, 0x0002, 0x0004, {true, false, false}},
};

TEST_F(pointer_commands_test, DownPlacesSetsTheFlagAndPresses) {
    for (const button_row& row : BUTTONS) {
        SCOPED_TRACE(row.button);
        reset_core_state();
        button_down(10, 20, row.button);
        EXPECT_EQ(recorded_trace(), (lines{"place 10 20", mouse_line(row.down_flags, 0)}));
        EXPECT_EQ(current_flags(), row.pressed);
        button_down(10, 20, row.button); // pressed again: a second down record
        EXPECT_EQ(recorded_trace().size(), 4u);
        EXPECT_EQ(current_flags(), row.pressed);
    }
}

TEST_F(pointer_commands_test, CoordinatesReachThePlacementUnchanged) {
    button_down(INT_MIN, INT_MAX, 0);
    button_up(-1, 70000, 0);
    EXPECT_EQ(recorded_trace(),
              (lines{"place -2147483648 2147483647", mouse_line(0x0002, 0), "place -1 70000", mouse_line(0x0004, 0)}));
}

TEST_F(pointer_commands_test, UpOfAPressedButtonReleasesIt) {
    for (const button_row& row : BUTTONS) {
        SCOPED_TRACE(row.button);
        reset_core_state();
        button_down(1, 2, row.button);
        clear_recorded_trace();
        button_up(7, 8, row.button);
        EXPECT_EQ(recorded_trace(), (lines{"place 7 8", mouse_line(row.up_flags, 0)}));
        EXPECT_EQ(current_flags(), (button_flags{false, false, false}));
    }
}

TEST_F(pointer_commands_test, UpOfAClearRightOrMiddleButtonDoesNothing) {
    left_button_down = true;
    button_up(7, 8, 2);
    button_up(7, 8, 1);
    EXPECT_TRUE(recorded_trace().empty());
    EXPECT_EQ(current_flags(), (button_flags{true, false, false}));
}

TEST_F(pointer_commands_test, UpOfTheLeftButtonIsAlwaysSent) {
    for (int32_t button : {0, 5, -1}) {
        SCOPED_TRACE(button);
        reset_core_state();
        right_button_down = true;
        middle_button_down = true;
        button_up(7, 8, button);
        EXPECT_EQ(recorded_trace(), (lines{"place 7 8", mouse_line(0x0004, 0)}));
        EXPECT_EQ(current_flags(), (button_flags{false, true, true}));
    }
}

TEST_F(pointer_commands_test, ASingleLeftClick) {
    button_click(30, 40, 0, 1);
    EXPECT_EQ(recorded_trace(), (lines{"place 30 40", "place 30 40", "mouse flags=0x0002 data=0", "place 30 40",
                                       "mouse flags=0x0004 data=0"}));
    EXPECT_FALSE(left_button_down);
}

TEST_F(pointer_commands_test, ATripleMiddleClickPausesBetweenClicks) {
    button_click(30, 40, 1, 3);
    const std::string p = "place 30 40";
    const std::string d = "mouse flags=0x0020 data=0";
    const std::string u = "mouse flags=0x0040 data=0";
    EXPECT_EQ(recorded_trace(), (lines{p, p, d, p, u, "pause ms=10", p, d, p, u, "pause ms=10", p, d, p, u}));
    EXPECT_FALSE(middle_button_down);
}

TEST_F(pointer_commands_test, TheClickCountIsHeldToOneToThree) {
    const std::pair<int32_t, int> counts[] = {{1, 1},       {2, 2}, {3, 3},  {4, 3},      {9, 3},
                                              {INT_MAX, 3}, {0, 1}, {-4, 1}, {INT_MIN, 1}};
    for (const auto& [count, clicks] : counts) {
        SCOPED_TRACE(count);
        reset_core_state();
        button_click(1, 2, 2, count);
        lines expected{"place 1 2"};
        for (int k = 1; k <= clicks; ++k) {
            expected = joined(expected, {"place 1 2", mouse_line(0x0008, 0), "place 1 2", mouse_line(0x0010, 0)});
            if (k < clicks) expected.push_back("pause ms=10");
        }
        EXPECT_EQ(recorded_trace(), expected);
    }
}

TEST_F(pointer_commands_test, AClickAfterADownLeavesTheButtonUp) {
    button_down(1, 2, 2);
    clear_recorded_trace();
    button_click(3, 4, 2, 1);
    EXPECT_EQ(recorded_trace(),
              (lines{"place 3 4", "place 3 4", mouse_line(0x0008, 0), "place 3 4", mouse_line(0x0010, 0)}));
    EXPECT_EQ(current_flags(), (button_flags{false, false, false}));
}

struct scroll_row {
    int32_t horizontal;
    int32_t vertical;
    lines records;
};

TEST_F(pointer_commands_test, ScrollSendsVerticalNegatedThenHorizontal) {
    const scroll_row rows[] = {
        {0, 0, {}},
        {0, 120, {"mouse flags=0x0800 data=-120"}},
        {0, -120, {"mouse flags=0x0800 data=120"}},
        {120, 0, {"mouse flags=0x1000 data=120"}},
        {-7, 0, {"mouse flags=0x1000 data=-7"}},
        {30, -240, {"mouse flags=0x0800 data=240", "mouse flags=0x1000 data=30"}},
        {0, INT_MIN, {"mouse flags=0x0800 data=-2147483648"}},
        {0, INT_MAX, {"mouse flags=0x0800 data=-2147483647"}},
        {INT_MIN, 0, {"mouse flags=0x1000 data=-2147483648"}},
    };
    for (const scroll_row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.horizontal << " " << row.vertical);
        reset_core_state();
        scroll_wheel(row.horizontal, row.vertical);
        EXPECT_EQ(recorded_trace(), row.records);
        EXPECT_EQ(current_flags(), (button_flags{false, false, false}));
    }
}

} // namespace

#include <gtest/gtest.h>

#include "tests/blackbox/session_table.h"

// DOWN, UP, CLICK and SCROLL for every button and axis, as the trace shows
// them, including what the final release still owes.

namespace {

TEST(PointerCommands, DownAndUp) {
    check_sessions({
        {"DOWN left",
         {"DOWN 10 20 0\n"},
         READY,
         trace_list{"place 10 20", "mouse flags=0x0002 data=0", "mouse flags=0x0004 data=0"} + MODIFIER_UPS},
        {"DOWN middle",
         {"DOWN 10 20 1\n"},
         READY,
         trace_list{"place 10 20", "mouse flags=0x0020 data=0", "mouse flags=0x0040 data=0"} + MODIFIER_UPS},
        {"DOWN right",
         {"DOWN 10 20 2\n"},
         READY,
         trace_list{"place 10 20", "mouse flags=0x0008 data=0", "mouse flags=0x0010 data=0"} + MODIFIER_UPS},
        {"other button numbers press the left button",
         {"DOWN 10 20 7\nDOWN 11 21 -1\n"},
         READY,
         trace_list{"place 10 20", "mouse flags=0x0002 data=0", "place 11 21", "mouse flags=0x0002 data=0",
                    "mouse flags=0x0004 data=0"} +
             MODIFIER_UPS},
        {"DOWN twice sends two downs, one release",
         {"DOWN 10 20 2\nDOWN 10 20 2\n"},
         READY,
         trace_list{"place 10 20", "mouse flags=0x0008 data=0", "place 10 20", "mouse flags=0x0008 data=0",
                    "mouse flags=0x0010 data=0"} +
             MODIFIER_UPS},
        {"all three held are released left, middle, right",
         {"DOWN 1 1 2\nDOWN 2 2 1\nDOWN 3 3 0\n"},
         READY,
         trace_list{"place 1 1", "mouse flags=0x0008 data=0", "place 2 2", "mouse flags=0x0020 data=0", "place 3 3",
                    "mouse flags=0x0002 data=0", "mouse flags=0x0004 data=0", "mouse flags=0x0040 data=0",
                    "mouse flags=0x0010 data=0"} +
             MODIFIER_UPS},
        {"UP left while not down still goes up",
         {"UP 7 8 0\nUP 7 8 5\n"},
         READY,
         trace_list{"place 7 8", "mouse flags=0x0004 data=0", "place 7 8", "mouse flags=0x0004 data=0"} + MODIFIER_UPS},
        {"UP right or middle while not down does nothing", {"UP 7 8 2\nUP 7 8 1\n"}, READY, MODIFIER_UPS},
        {"DOWN then UP left",
         {"DOWN 1 2 0\nUP 3 4 0\n"},
         READY,
         trace_list{"place 1 2", "mouse flags=0x0002 data=0", "place 3 4", "mouse flags=0x0004 data=0"} + MODIFIER_UPS},
        {"DOWN then UP middle",
         {"DOWN 1 2 1\nUP 3 4 1\n"},
         READY,
         trace_list{"place 1 2", "mouse flags=0x0020 data=0", "place 3 4", "mouse flags=0x0040 data=0"} + MODIFIER_UPS},
        {"DOWN then UP right, then UP right again",
         {"DOWN 1 2 2\nUP 3 4 2\nUP 5 6 2\n"},
         READY,
         trace_list{"place 1 2", "mouse flags=0x0008 data=0", "place 3 4", "mouse flags=0x0010 data=0"} + MODIFIER_UPS},
    });
}

TEST(PointerCommands, Clicks) {
    check_sessions({
        {"left click, no count",
         {"CLICK 30 40 0\n"},
         READY,
         trace_list{"place 30 40", "place 30 40", "mouse flags=0x0002 data=0", "place 30 40",
                    "mouse flags=0x0004 data=0"} +
             MODIFIER_UPS},
        {"middle click",
         {"CLICK 30 40 1\n"},
         READY,
         trace_list{"place 30 40", "place 30 40", "mouse flags=0x0020 data=0", "place 30 40",
                    "mouse flags=0x0040 data=0"} +
             MODIFIER_UPS},
        {"right click",
         {"CLICK 30 40 2\n"},
         READY,
         trace_list{"place 30 40", "place 30 40", "mouse flags=0x0008 data=0", "place 30 40",
                    "mouse flags=0x0010 data=0"} +
             MODIFIER_UPS},
        {"double left click",
         {"CLICK 30 40 0 2\n"},
         READY,
         trace_list{"place 30 40", "place 30 40", "mouse flags=0x0002 data=0", "place 30 40",
                    "mouse flags=0x0004 data=0", "pause ms=10", "place 30 40", "mouse flags=0x0002 data=0",
                    "place 30 40", "mouse flags=0x0004 data=0"} +
             MODIFIER_UPS},
        {"triple middle click",
         {"CLICK 30 40 1 3\n"},
         READY,
         trace_list{"place 30 40", "place 30 40", "mouse flags=0x0020 data=0", "place 30 40",
                    "mouse flags=0x0040 data=0", "pause ms=10", "place 30 40", "mouse flags=0x0020 data=0",
                    "place 30 40", "mouse flags=0x0040 data=0", "pause ms=10", "place 30 40",
                    "mouse flags=0x0020 data=0", "place 30 40", "mouse flags=0x0040 data=0"} +
             MODIFIER_UPS},
        {"count 9 is a triple right click",
         {"CLICK -5 -6 2 9\n"},
         READY,
         trace_list{"place -5 -6", "place -5 -6", "mouse flags=0x0008 data=0", "place -5 -6",
                    "mouse flags=0x0010 data=0", "pause ms=10", "place -5 -6", "mouse flags=0x0008 data=0",
                    "place -5 -6", "mouse flags=0x0010 data=0", "pause ms=10", "place -5 -6",
                    "mouse flags=0x0008 data=0", "place -5 -6", "mouse flags=0x0010 data=0"} +
             MODIFIER_UPS},
        {"count 0 and -4 are single clicks",
         {"CLICK 1 2 1 0\nCLICK 3 4 1 -4\n"},
         READY,
         trace_list{"place 1 2", "place 1 2", "mouse flags=0x0020 data=0", "place 1 2", "mouse flags=0x0040 data=0",
                    "place 3 4", "place 3 4", "mouse flags=0x0020 data=0", "place 3 4", "mouse flags=0x0040 data=0"} +
             MODIFIER_UPS},
        {"a click frees a button held by DOWN",
         {"DOWN 5 5 2\nCLICK 6 6 2\n"},
         READY,
         trace_list{"place 5 5", "mouse flags=0x0008 data=0", "place 6 6", "place 6 6", "mouse flags=0x0008 data=0",
                    "place 6 6", "mouse flags=0x0010 data=0"} +
             MODIFIER_UPS},
    });
}

TEST(PointerCommands, Scroll) {
    check_sessions({
        {"SCROLL 0 0 sends nothing", {"SCROLL 0 0\n"}, READY, MODIFIER_UPS},
        {"vertical amount is negated",
         {"SCROLL 0 120\n"},
         READY,
         trace_list{"mouse flags=0x0800 data=-120"} + MODIFIER_UPS},
        {"horizontal amount unchanged",
         {"SCROLL 120 0\n"},
         READY,
         trace_list{"mouse flags=0x1000 data=120"} + MODIFIER_UPS},
        {"both axes: vertical first",
         {"SCROLL 30 -240\n"},
         READY,
         trace_list{"mouse flags=0x0800 data=240", "mouse flags=0x1000 data=30"} + MODIFIER_UPS},
        {"vertical -2147483648 stays -2147483648",
         {"SCROLL 0 -2147483648\n"},
         READY,
         trace_list{"mouse flags=0x0800 data=-2147483648"} + MODIFIER_UPS},
        {"vertical 2147483647",
         {"SCROLL 0 2147483647\n"},
         READY,
         trace_list{"mouse flags=0x0800 data=-2147483647"} + MODIFIER_UPS},
        {"horizontal -2147483648",
         {"SCROLL -2147483648 0\n"},
         READY,
         trace_list{"mouse flags=0x1000 data=-2147483648"} + MODIFIER_UPS},
        {"SCROLL places nothing and leaves a held button down",
         {"DOWN 1 1 0\nSCROLL 0 -1\n"},
         READY,
         trace_list{"place 1 1", "mouse flags=0x0002 data=0", "mouse flags=0x0800 data=1",
                    "mouse flags=0x0004 data=0"} +
             MODIFIER_UPS},
    });
}

} // namespace

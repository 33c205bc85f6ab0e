#include <gtest/gtest.h>

#include "tests/blackbox/session_table.h"

// A run of MOVE lines in one read becomes one placement, carried out before
// the next other line or at the end of the read, and never carried over.

namespace {

trace_list placed(int x, int y) {
    return {"place " + std::to_string(x) + " " + std::to_string(y), "mouse flags=0x0001 data=0"};
}

TEST(MoveCoalescing, WithinOneRead) {
    check_sessions({
        {"MOVE 1 2, MOVE 3 4, PING, MOVE 7 8",
         {"MOVE 1 2\nMOVE 3 4\nPING\nMOVE 7 8\n"},
         READY + "PONG\r\n",
         placed(3, 4) + trace_list{"reply PONG"} + placed(7, 8) + MODIFIER_UPS},
        {"single MOVE is placed at the end of the read", {"MOVE 10 20\n"}, READY, placed(10, 20) + MODIFIER_UPS},
        {"bad MOVE lines keep the earlier target",
         {"MOVE 1 2\nMOVE x y\nMOVE 9\nMOVE 1,2\n"},
         READY,
         placed(1, 2) + MODIFIER_UPS},
        {"bad MOVE alone places nothing", {"MOVE x y\nMOVE 9\n"}, READY, MODIFIER_UPS},
        {"empty and all-space lines neither place nor clear",
         {"MOVE 1 2\n\n\r\n   \nMOVE 3 4\n"},
         READY,
         placed(3, 4) + MODIFIER_UPS},
        {"empty lines after the run", {"MOVE 1 2\n\n   \n"}, READY, placed(1, 2) + MODIFIER_UPS},
        {"bare MOVE carries out the placement and clears it", {"MOVE 1 2\nMOVE\n"}, READY, placed(1, 2) + MODIFIER_UPS},
        {"bare MOVE with trailing spaces, then a new run",
         {"MOVE 1 2\nMOVE   \nMOVE 3 4\n"},
         READY,
         placed(1, 2) + placed(3, 4) + MODIFIER_UPS},
        {"bare MOVE with nothing pending does nothing", {"MOVE\n"}, READY, MODIFIER_UPS},
        {"a command with too few fields carries out the placement",
         {"MOVE 1 2\nDOWN 1 2\nMOVE 3 4\n"},
         READY,
         placed(1, 2) + placed(3, 4) + MODIFIER_UPS},
        {"a line naming no command carries out the placement",
         {"MOVE 1 2\nmove 5 6\nMOVE 3 4\n"},
         READY,
         placed(1, 2) + placed(3, 4) + MODIFIER_UPS},
        {"MOVE with a tab instead of its space names no command",
         {"MOVE 1 2\nMOVE\t5 6\n"},
         READY,
         placed(1, 2) + MODIFIER_UPS},
        {"the placement comes before the command's own records",
         {"MOVE 1 2\nSCROLL 0 120\n"},
         READY,
         placed(1, 2) + trace_list{"mouse flags=0x0800 data=-120"} + MODIFIER_UPS},
        {"MOVE then QUIT: placement before the releases",
         {"MOVE 1 2\nQUIT\n"},
         READY,
         placed(1, 2) + MODIFIER_UPS + MODIFIER_UPS},
    });
}

TEST(MoveCoalescing, AcrossReads) {
    check_sessions({
        {"one placement per read", {"MOVE 1 2\n", "MOVE 3 4\n"}, READY, placed(1, 2) + placed(3, 4) + MODIFIER_UPS},
        {"a run split by a read",
         {"MOVE 1 2\nMOVE 3 4\n", "MOVE 5 6\nPING\n"},
         READY + "PONG\r\n",
         placed(3, 4) + placed(5, 6) + trace_list{"reply PONG"} + MODIFIER_UPS},
        {"the placement is not carried into the next read",
         {"MOVE 1 2\n", "PING\n"},
         READY + "PONG\r\n",
         placed(1, 2) + trace_list{"reply PONG"} + MODIFIER_UPS},
        {"a bad MOVE in the next read finds nothing pending",
         {"MOVE 1 2\nMOVE x y\n", "MOVE 9\nPING\n"},
         READY + "PONG\r\n",
         placed(1, 2) + trace_list{"reply PONG"} + MODIFIER_UPS},
        {"a MOVE line split over reads belongs to the read that ends it",
         {"MOVE 1", "0 20\n"},
         READY,
         placed(10, 20) + MODIFIER_UPS},
        {"split MOVE line, then a command",
         {"MOVE 1 2\nMO", "VE 3 4\nPING\n"},
         READY + "PONG\r\n",
         placed(1, 2) + placed(3, 4) + trace_list{"reply PONG"} + MODIFIER_UPS},
    });
}

TEST(MoveCoalescing, MoveArguments) {
    check_sessions({
        {"MOVE 1-2 reads two numbers", {"MOVE 1-2\n"}, READY, placed(1, -2) + MODIFIER_UPS},
        {"spaces, signs and junk", {"MOVE  -5   +6junk\n"}, READY, placed(-5, 6) + MODIFIER_UPS},
        {"tabs between the numbers", {"MOVE \t7\t8\n"}, READY, placed(7, 8) + MODIFIER_UPS},
        {"extra fields are ignored", {"MOVE 1 2 3\n"}, READY, placed(1, 2) + MODIFIER_UPS},
        {"the 32-bit extremes",
         {"MOVE -2147483648 2147483647\n"},
         READY,
         placed(-2147483647 - 1, 2147483647) + MODIFIER_UPS},
        {"off-screen coordinates go through unchanged",
         {"MOVE -30000 90000\n"},
         READY,
         placed(-30000, 90000) + MODIFIER_UPS},
        {"a number beyond 32 bits places nothing", {"MOVE 1 99999999999\n"}, READY, MODIFIER_UPS},
        {"a number beyond 32 bits keeps the earlier target",
         {"MOVE 5 6\nMOVE 1 99999999999\n"},
         READY,
         placed(5, 6) + MODIFIER_UPS},
        {"MOVE with a lone sign places nothing", {"MOVE 1 -\n"}, READY, MODIFIER_UPS},
    });
}

} // namespace

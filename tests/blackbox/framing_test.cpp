#include <gtest/gtest.h>

#include "tests/blackbox/session_table.h"

// How bytes become lines: carriage returns, trimming, the 511-byte cut, NUL
// bytes, lines spread over reads and input that stops mid-line.

namespace {

const trace_list PONG_TRACE = trace_list{"reply PONG"} + MODIFIER_UPS;

std::string repeated(char byte, std::size_t count) { return std::string(count, byte); }

TEST(Framing, LinesAndTerminators) {
    check_sessions({
        {"line feed alone", {"PING\n"}, READY + "PONG\r\n", PONG_TRACE},
        {"CR LF ends a line", {"PING\r\n"}, READY + "PONG\r\n", PONG_TRACE},
        {"CR inside the keyword is dropped", {"PI\rNG\n"}, READY + "PONG\r\n", PONG_TRACE},
        {"CRs before, inside and after", {"\rP\r\rING\r\r\n"}, READY + "PONG\r\n", PONG_TRACE},
        {"CR between trailing spaces", {"PING \r \n"}, READY + "PONG\r\n", PONG_TRACE},
        {"CR inside a number",
         {"KEY_TAP 6\r5 0\n"},
         READY,
         trace_list{"key vk=65 scan=30 flags=0", "key vk=65 scan=30 flags=2"} + MODIFIER_UPS},
        {"trailing spaces are trimmed", {"PING     \n"}, READY + "PONG\r\n", PONG_TRACE},
        {"trailing spaces after a whole-line reset",
         {"RESET \n"},
         READY + "RESET_OK\r\n",
         MODIFIER_UPS + trace_list{"reply RESET_OK"} + MODIFIER_UPS},
        {"leading space names no command", {" PING\n"}, READY, MODIFIER_UPS},
        {"trailing tab is kept", {"PING\t\n"}, READY, MODIFIER_UPS},
        {"tab before trailing spaces is kept", {"PING\t  \n"}, READY, MODIFIER_UPS},
        {"lower case names no command", {"ping\n"}, READY, MODIFIER_UPS},
        {"byte above 127 is part of the line", {"PING\xff\n"}, READY, MODIFIER_UPS},
        {"empty, CR-only and all-space lines do nothing", {"\n\r\n   \n \r \n"}, READY, MODIFIER_UPS},
        {"several lines in one read",
         {"PING\nPING\r\nPING\n"},
         READY + "PONG\r\nPONG\r\nPONG\r\n",
         trace_list{"reply PONG", "reply PONG", "reply PONG"} + MODIFIER_UPS},
    });
}

TEST(Framing, NulInsideALine) {
    check_sessions({
        {"NUL ends what the keyword test sees", {bytes("PING\0junk\n")}, READY + "PONG\r\n", PONG_TRACE},
        {"NUL ends what the parse sees", {bytes("KEY_TAP 65\0 1\n")}, READY, MODIFIER_UPS},
        {"NUL after enough fields",
         {bytes("KEY_TAP 65 0\0 1\n")},
         READY,
         trace_list{"key vk=65 scan=30 flags=0", "key vk=65 scan=30 flags=2"} + MODIFIER_UPS},
        {"NUL first names no command", {bytes("\0PING\n")}, READY, MODIFIER_UPS},
    });
}

TEST(Framing, LongLines) {
    check_sessions({
        {"RESET, 506 spaces and junk is cut to a RESET",
         {"RESET" + repeated(' ', 506) + "junk\n"},
         READY + "RESET_OK\r\n",
         MODIFIER_UPS + trace_list{"reply RESET_OK"} + MODIFIER_UPS},
        {"carriage returns do not count toward the 511 bytes",
         {"RESET" + repeated('\r', 40) + repeated(' ', 506) + "junk\n"},
         READY + "RESET_OK\r\n",
         MODIFIER_UPS + trace_list{"reply RESET_OK"} + MODIFIER_UPS},
        {"byte 511 is kept", {"PING" + repeated(' ', 506) + "x\n"}, READY, MODIFIER_UPS},
        {"byte 512 is lost", {"PING" + repeated(' ', 507) + "x\n"}, READY + "PONG\r\n", PONG_TRACE},
        {"cut takes the last field of a key command", {"KEY_TAP 65" + repeated(' ', 501) + "1\n"}, READY, MODIFIER_UPS},
        {"the rest of a long line never becomes a line of its own",
         {repeated('x', 511) + "PING\n"},
         READY,
         MODIFIER_UPS},
        {"long line naming no command, then a normal line",
         {repeated('x', 600) + "\nPING\n"},
         READY + "PONG\r\n",
         PONG_TRACE},
        {"long line over two reads, then a normal line",
         {repeated('x', 4000), repeated('x', 3000) + "\nPING\n"},
         READY + "PONG\r\n",
         PONG_TRACE},
    });
}

TEST(Framing, LinesAcrossReads) {
    check_sessions({
        {"split over two reads", {"PI", "NG\n"}, READY + "PONG\r\n", PONG_TRACE},
        {"CR and LF in different reads", {"PING\r", "\n"}, READY + "PONG\r\n", PONG_TRACE},
        {"split over three reads, inside numbers",
         {"CLICK 1", "0 2", "0 0\n"},
         READY,
         trace_list{"place 10 20", "place 10 20", "mouse flags=0x0002 data=0", "place 10 20",
                    "mouse flags=0x0004 data=0"} +
             MODIFIER_UPS},
        {"line feed alone in the last read",
         {"KEY_", "TAP 65 0", "\n"},
         READY,
         trace_list{"key vk=65 scan=30 flags=0", "key vk=65 scan=30 flags=2"} + MODIFIER_UPS},
        {"trailing spaces spread over reads", {"PING ", " ", " \n"}, READY + "PONG\r\n", PONG_TRACE},
    });
}

TEST(Framing, InputEndingMidLine) {
    check_sessions({
        {"no line feed: the line is dropped", {"PING"}, READY, MODIFIER_UPS},
        {"only the finished line counts", {"PING\nPING"}, READY + "PONG\r\n", PONG_TRACE},
        {"unfinished key command presses nothing", {"KEY_DOWN 65 0"}, READY, MODIFIER_UPS},
        {"nothing at all", {}, READY, MODIFIER_UPS},
    });
}

} // namespace

#include <gtest/gtest.h>

#include "tests/blackbox/session_table.h"

// RESET and RESET_KEYS with their replies, QUIT (two release runs, the rest of
// its read ignored, the run ends with stdin still open) and the end of input.

namespace {

const char* const CTRL_DOWN = "key vk=17 scan=29 flags=0";
const char* const CTRL_UP = "key vk=17 scan=29 flags=2";
const char* const A_DOWN = "key vk=65 scan=30 flags=0";
const char* const A_UP = "key vk=65 scan=30 flags=2";

TEST(ResetAndEnd, Resets) {
    check_sessions({
        {"RESET with nothing held",
         {"RESET\n"},
         READY + "RESET_OK\r\n",
         MODIFIER_UPS + trace_list{"reply RESET_OK"} + MODIFIER_UPS},
        {"RESET_KEYS with nothing held",
         {"RESET_KEYS\n"},
         READY + "RESET_KEYS_OK\r\n",
         MODIFIER_UPS + trace_list{"reply RESET_KEYS_OK"} + MODIFIER_UPS},
        {"RESET releases buttons, held keys, then the modifiers",
         {"DOWN 0 0 0\nDOWN 0 0 2\nKEY_DOWN 65 1\nRESET\n"},
         READY + "RESET_OK\r\n",
         trace_list{"place 0 0", "mouse flags=0x0002 data=0", "place 0 0", "mouse flags=0x0008 data=0", CTRL_DOWN,
                    A_DOWN, "mouse flags=0x0004 data=0", "mouse flags=0x0010 data=0", A_UP, CTRL_UP} +
             MODIFIER_UPS + trace_list{"reply RESET_OK"} + MODIFIER_UPS},
        {"RESET_KEYS leaves a held button for RESET",
         {"DOWN 3 4 0\nRESET_KEYS\nRESET\n"},
         READY + "RESET_KEYS_OK\r\nRESET_OK\r\n",
         trace_list{"place 3 4", "mouse flags=0x0002 data=0"} + MODIFIER_UPS + trace_list{"reply RESET_KEYS_OK"} +
             trace_list{"mouse flags=0x0004 data=0"} + MODIFIER_UPS + trace_list{"reply RESET_OK"} + MODIFIER_UPS},
        {"RESET_KEYS releases keys but not the middle button",
         {"KEY_DOWN 65 1\nDOWN 1 1 1\nRESET_KEYS\n"},
         READY + "RESET_KEYS_OK\r\n",
         trace_list{CTRL_DOWN, A_DOWN, "place 1 1", "mouse flags=0x0020 data=0", A_UP, CTRL_UP} + MODIFIER_UPS +
             trace_list{"reply RESET_KEYS_OK", "mouse flags=0x0040 data=0"} + MODIFIER_UPS},
        {"RESET_KEYS forgets the chord",
         {"KEY_DOWN 65 1\nRESET_KEYS\nKEY_TAP 66 1\n"},
         READY + "RESET_KEYS_OK\r\n",
         trace_list{CTRL_DOWN, A_DOWN, A_UP, CTRL_UP} + MODIFIER_UPS +
             trace_list{"reply RESET_KEYS_OK", CTRL_DOWN, "key vk=66 scan=48 flags=0", "key vk=66 scan=48 flags=2",
                        CTRL_UP} +
             MODIFIER_UPS},
        {"RESET forgets an explicitly held Shift",
         {"KEY_DOWN 16 0\nRESET\nKEY_TAP 65 4\n"},
         READY + "RESET_OK\r\n",
         trace_list{"key vk=16 scan=42 flags=0", "key vk=16 scan=42 flags=2"} + MODIFIER_UPS +
             trace_list{"reply RESET_OK", "key vk=16 scan=42 flags=0", A_DOWN, A_UP, "key vk=16 scan=42 flags=2"} +
             MODIFIER_UPS},
        {"PING, RESET and RESET_KEYS replies in order",
         {"PING\nRESET_KEYS\nPING\nRESET\n"},
         READY + "PONG\r\nRESET_KEYS_OK\r\nPONG\r\nRESET_OK\r\n",
         trace_list{"reply PONG"} + MODIFIER_UPS + trace_list{"reply RESET_KEYS_OK", "reply PONG"} + MODIFIER_UPS +
             trace_list{"reply RESET_OK"} + MODIFIER_UPS},
    });
}

TEST(ResetAndEnd, Quit) {
    session_case quit_first = {"QUIT first: the modifiers go up twice", {"QUIT\n"}, READY, MODIFIER_UPS + MODIFIER_UPS};
    session_case quit_held = {"QUIT releases what is held, then the rest of its read is ignored",
                              {"DOWN 1 2 2\nKEY_DOWN 65 1\nQUIT\nPING\nKEY_TAP 66 0\nRESET\n"},
                              READY,
                              trace_list{"place 1 2", "mouse flags=0x0008 data=0", CTRL_DOWN, A_DOWN,
                                         "mouse flags=0x0010 data=0", A_UP, CTRL_UP} +
                                  MODIFIER_UPS + MODIFIER_UPS};
    session_case quit_spaces = {"QUIT with trailing spaces", {"QUIT   \r\n"}, READY, MODIFIER_UPS + MODIFIER_UPS};
    session_case quit_later = {"QUIT in a later read",
                               {"PING\n", "QUIT\n"},
                               READY + "PONG\r\n",
                               trace_list{"reply PONG"} + MODIFIER_UPS + MODIFIER_UPS};
    session_case quit_split = {"QUIT split over reads", {"QU", "IT\n"}, READY, MODIFIER_UPS + MODIFIER_UPS};
    // Standard input stays open in all of these: only QUIT can end the run.
    for (session_case* row : {&quit_first, &quit_held, &quit_spaces, &quit_later, &quit_split}) {
        row->keep_stdin_open = true;
        check_session(*row);
    }
}

TEST(ResetAndEnd, EndOfInput) {
    check_sessions({
        {"empty input: ready line, one release",
         {},
         READY,
         {"key vk=17 scan=29 flags=2", "key vk=18 scan=56 flags=2", "key vk=16 scan=42 flags=2",
          "key vk=91 scan=91 flags=3"}},
        {"end of input releases what is held, once",
         {"DOWN 1 2 2\nKEY_DOWN 37 0\nKEY_DOWN 65 1\n"},
         READY,
         trace_list{"place 1 2", "mouse flags=0x0008 data=0", "key vk=37 scan=75 flags=1", CTRL_DOWN, A_DOWN,
                    "mouse flags=0x0010 data=0", A_UP, CTRL_UP, "key vk=37 scan=75 flags=3"} +
             MODIFIER_UPS},
        {"a line that is not QUIT does not end the run", {"quit\nQUIT 1\n QUIT\n"}, READY, MODIFIER_UPS},
    });
}

} // namespace

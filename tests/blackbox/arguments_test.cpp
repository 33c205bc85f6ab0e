#include <gtest/gtest.h>

#include "tests/blackbox/session_table.h"

// What the argument parse accepts: field counts, extra text, white space and
// signs, numbers beyond 32 bits, and the low 16 bits of key fields.

namespace {

const trace_list TAP_A = {"key vk=65 scan=30 flags=0", "key vk=65 scan=30 flags=2"};

const trace_list LEFT_CLICK_AT_1_2 = {"place 1 2", "place 1 2", "mouse flags=0x0002 data=0", "place 1 2",
                                      "mouse flags=0x0004 data=0"};

TEST(Arguments, TooFewFieldsDoNothing) {
    check_sessions({
        {"DOWN x y", {"DOWN 1 2\n"}, READY, MODIFIER_UPS},
        {"UP x y", {"UP 1 2\n"}, READY, MODIFIER_UPS},
        {"CLICK x y", {"CLICK 10 20\n"}, READY, MODIFIER_UPS},
        {"SCROLL h", {"SCROLL 5\n"}, READY, MODIFIER_UPS},
        {"KEY_TAP vk", {"KEY_TAP 65\n"}, READY, MODIFIER_UPS},
        {"KEY_DOWN vk", {"KEY_DOWN 65\n"}, READY, MODIFIER_UPS},
        {"KEY_UP vk", {"KEY_UP 65\n"}, READY, MODIFIER_UPS},
        {"a field that does not parse ends the parse", {"DOWN 1 x 0\n"}, READY, MODIFIER_UPS},
        {"DOWN with a lone sign does nothing", {"DOWN 1 2 -\n"}, READY, MODIFIER_UPS},
    });
}

TEST(Arguments, KeywordsMustMatchExactly) {
    check_sessions({
        {"prefix keyword without its space", {"UP1 2 0\n"}, READY, MODIFIER_UPS},
        {"prefix keyword alone", {"UP\nDOWN \nKEY_TAP\nSCROLL\n"}, READY, MODIFIER_UPS},
        {"whole-line keyword with a word after it", {"PING 1\nRESET_KEYS x\nRESET 1\n"}, READY, MODIFIER_UPS},
        {"whole-line keyword run on", {"PINGPING\nRESETX\nRESET_KEYSX\n"}, READY, MODIFIER_UPS},
        {"QUIT with a word after it does not end the run",
         {"QUIT 1\nPING\n"},
         READY + "PONG\r\n",
         trace_list{"reply PONG"} + MODIFIER_UPS},
        {"mixed case", {"Ping\nKey_Tap 65 0\nreset\n"}, READY, MODIFIER_UPS},
    });
}

TEST(Arguments, ExtraTextWhiteSpaceAndSigns) {
    check_sessions({
        {"DOWN with extra text",
         {"DOWN 1 2 0 extra\n"},
         READY,
         trace_list{"place 1 2", "mouse flags=0x0002 data=0", "mouse flags=0x0004 data=0"} + MODIFIER_UPS},
        {"CLICK with junk for the count is a single click",
         {"CLICK 1 2 0 x\n"},
         READY,
         LEFT_CLICK_AT_1_2 + MODIFIER_UPS},
        {"SCROLL with a third number",
         {"SCROLL 1 2 3\n"},
         READY,
         trace_list{"mouse flags=0x0800 data=-2", "mouse flags=0x1000 data=1"} + MODIFIER_UPS},
        {"KEY_TAP with text after the character", {"KEY_TAP 65 0 97 more\n"}, READY, TAP_A + MODIFIER_UPS},
        {"tabs and runs of spaces between fields", {"CLICK \t1  \t 2\t0\n"}, READY, LEFT_CLICK_AT_1_2 + MODIFIER_UPS},
        {"explicit signs",
         {"UP +1 -2 +0\n"},
         READY,
         trace_list{"place 1 -2", "mouse flags=0x0004 data=0"} + MODIFIER_UPS},
        {"SCROLL 1-2 reads two numbers",
         {"SCROLL 1-2\n"},
         READY,
         trace_list{"mouse flags=0x0800 data=2", "mouse flags=0x1000 data=1"} + MODIFIER_UPS},
        {"leading zeros", {"KEY_TAP 0065 00\n"}, READY, TAP_A + MODIFIER_UPS},
    });
}

TEST(Arguments, NumbersBeyondThirtyTwoBits) {
    check_sessions({
        {"CLICK with an oversized count is a single click",
         {"CLICK 1 2 0 99999999999\n"},
         READY,
         LEFT_CLICK_AT_1_2 + MODIFIER_UPS},
        {"MOVE with an oversized coordinate places nothing", {"MOVE 1 99999999999\n"}, READY, MODIFIER_UPS},
        {"oversized key code", {"KEY_TAP 99999999999 0\n"}, READY, MODIFIER_UPS},
        {"mask 2^32 is beyond 32 bits", {"KEY_TAP 65 4294967296\n"}, READY, MODIFIER_UPS},
        {"mask 2^32 - 1 presses the whole chord",
         {"KEY_TAP 65 4294967295\n"},
         READY,
         trace_list{"key vk=17 scan=29 flags=0", "key vk=18 scan=56 flags=0", "key vk=16 scan=42 flags=0",
                    "key vk=91 scan=91 flags=1", "key vk=65 scan=30 flags=0", "key vk=65 scan=30 flags=2",
                    "key vk=17 scan=29 flags=2", "key vk=18 scan=56 flags=2", "key vk=16 scan=42 flags=2",
                    "key vk=91 scan=91 flags=3"} +
             MODIFIER_UPS},
        {"oversized character with enough fields before it",
         {"KEY_TAP 65 0 99999999999\n"},
         READY,
         TAP_A + MODIFIER_UPS},
    });
}

TEST(Arguments, KeyFieldsUseTheirLowSixteenBits) {
    check_sessions({
        {"KEY_TAP -1 0 gives key code 65535",
         {"KEY_TAP -1 0\n"},
         READY,
         trace_list{"key vk=65535 scan=0 flags=0", "key vk=65535 scan=0 flags=2"} + MODIFIER_UPS},
        {"65601 acts as 65", {"KEY_TAP 65601 0\n"}, READY, TAP_A + MODIFIER_UPS},
        {"65536 acts as key code 0",
         {"KEY_TAP 65536 0\n"},
         READY,
         trace_list{"key vk=0 scan=0 flags=0", "key vk=0 scan=0 flags=2"} + MODIFIER_UPS},
        {"character 65536 acts as 0",
         {"KEY_TAP 0 0 65536\n"},
         READY,
         trace_list{"key vk=0 scan=0 flags=0", "key vk=0 scan=0 flags=2"} + MODIFIER_UPS},
        {"character 65769 acts as 233",
         {"KEY_TAP 0 0 65769\n"},
         READY,
         trace_list{"key vk=0 scan=233 flags=4", "key vk=0 scan=233 flags=6"} + MODIFIER_UPS},
        {"KEY_DOWN 65601 is released as 65",
         {"KEY_DOWN 65601 0\n"},
         READY,
         trace_list{"key vk=65 scan=30 flags=0", "key vk=65 scan=30 flags=2"} + MODIFIER_UPS},
    });
}

} // namespace

#include <gtest/gtest.h>

#include "tests/blackbox/session_table.h"

// KEY_TAP, KEY_DOWN and KEY_UP: chords, Unicode and empty records, extended
// keys, US scan codes, and the keys the final release still owes.

namespace {

const char* const CTRL_DOWN = "key vk=17 scan=29 flags=0";
const char* const CTRL_UP = "key vk=17 scan=29 flags=2";
const char* const ALT_DOWN = "key vk=18 scan=56 flags=0";
const char* const ALT_UP = "key vk=18 scan=56 flags=2";
const char* const SHIFT_DOWN = "key vk=16 scan=42 flags=0";
const char* const SHIFT_UP = "key vk=16 scan=42 flags=2";
const char* const WIN_DOWN = "key vk=91 scan=91 flags=1";
const char* const WIN_UP = "key vk=91 scan=91 flags=3";
const char* const A_DOWN = "key vk=65 scan=30 flags=0";
const char* const A_UP = "key vk=65 scan=30 flags=2";
const char* const B_DOWN = "key vk=66 scan=48 flags=0";
const char* const B_UP = "key vk=66 scan=48 flags=2";
const char* const C_DOWN = "key vk=67 scan=46 flags=0";
const char* const C_UP = "key vk=67 scan=46 flags=2";

TEST(KeyCommands, Tap) {
    check_sessions({
        {"plain key", {"KEY_TAP 65 0\n"}, READY, trace_list{A_DOWN, A_UP} + MODIFIER_UPS},
        {"Control chord", {"KEY_TAP 65 1\n"}, READY, trace_list{CTRL_DOWN, A_DOWN, A_UP, CTRL_UP} + MODIFIER_UPS},
        {"all four modifiers, releases not reversed",
         {"KEY_TAP 65 15\n"},
         READY,
         trace_list{CTRL_DOWN, ALT_DOWN, SHIFT_DOWN, WIN_DOWN, A_DOWN, A_UP, CTRL_UP, ALT_UP, SHIFT_UP, WIN_UP} +
             MODIFIER_UPS},
        {"left Shift under Control and Shift",
         {"KEY_TAP 160 5\n"},
         READY,
         trace_list{CTRL_DOWN, "key vk=160 scan=42 flags=0", "key vk=160 scan=42 flags=2", CTRL_UP} + MODIFIER_UPS},
        {"Windows key with its own bit", {"KEY_TAP 91 8\n"}, READY, trace_list{WIN_DOWN, WIN_UP} + MODIFIER_UPS},
        {"Control and Shift with their own bits",
         {"KEY_TAP 17 1\nKEY_TAP 16 4\n"},
         READY,
         trace_list{CTRL_DOWN, CTRL_UP, SHIFT_DOWN, SHIFT_UP} + MODIFIER_UPS},
        {"KEY_TAP Unicode character under Shift",
         {"KEY_TAP 0 4 233\n"},
         READY,
         trace_list{SHIFT_DOWN, "key vk=0 scan=233 flags=4", "key vk=0 scan=233 flags=6", SHIFT_UP} + MODIFIER_UPS},
        {"empty record",
         {"KEY_TAP 0 0 0\n"},
         READY,
         trace_list{"key vk=0 scan=0 flags=0", "key vk=0 scan=0 flags=2"} + MODIFIER_UPS},
        {"KEY_TAP ignores the character beside a key code",
         {"KEY_TAP 65 0 97\n"},
         READY,
         trace_list{A_DOWN, A_UP} + MODIFIER_UPS},
        {"mask bit 16 alone presses nothing", {"KEY_TAP 65 16\n"}, READY, trace_list{A_DOWN, A_UP} + MODIFIER_UPS},
        {"Control already down from a KEY_DOWN chord",
         {"KEY_DOWN 66 1\nKEY_TAP 65 1\n"},
         READY,
         trace_list{CTRL_DOWN, B_DOWN, A_DOWN, A_UP, B_UP, CTRL_UP} + MODIFIER_UPS},
        {"Shift already held as a key",
         {"KEY_DOWN 16 0\nKEY_TAP 65 4\n"},
         READY,
         trace_list{SHIFT_DOWN, A_DOWN, A_UP, SHIFT_UP} + MODIFIER_UPS},
        {"tapping a held key releases it for good",
         {"KEY_DOWN 65 0\nKEY_TAP 65 0\n"},
         READY,
         trace_list{A_DOWN, A_DOWN, A_UP} + MODIFIER_UPS},
        {"tapping held Shift keeps the Shift bit held",
         {"KEY_DOWN 16 0\nKEY_TAP 16 0\nKEY_DOWN 65 4\n"},
         READY,
         trace_list{SHIFT_DOWN, SHIFT_DOWN, SHIFT_UP, A_DOWN, A_UP} + MODIFIER_UPS},
        {"tapping Control keeps the chord's Control bit",
         {"KEY_DOWN 65 1\nKEY_TAP 17 0\nKEY_UP 65 1\n"},
         READY,
         trace_list{CTRL_DOWN, A_DOWN, CTRL_DOWN, CTRL_UP, A_UP, CTRL_UP} + MODIFIER_UPS},
    });
}

TEST(KeyCommands, ScanCodesAndExtendedKeys) {
    check_sessions({
        {"US layout scan codes",
         {"KEY_TAP 13 0\nKEY_TAP 32 0\nKEY_TAP 27 0\nKEY_TAP 48 0\n"},
         READY,
         trace_list{"key vk=13 scan=28 flags=0", "key vk=13 scan=28 flags=2", "key vk=32 scan=57 flags=0",
                    "key vk=32 scan=57 flags=2", "key vk=27 scan=1 flags=0", "key vk=27 scan=1 flags=2",
                    "key vk=48 scan=11 flags=0", "key vk=48 scan=11 flags=2"} +
             MODIFIER_UPS},
        {"codes without a scan code still send records",
         {"KEY_TAP 255 0\nKEY_TAP 300 0\n"},
         READY,
         trace_list{"key vk=255 scan=0 flags=0", "key vk=255 scan=0 flags=2", "key vk=300 scan=0 flags=0",
                    "key vk=300 scan=0 flags=2"} +
             MODIFIER_UPS},
        {"left arrow is extended",
         {"KEY_TAP 37 0\n"},
         READY,
         trace_list{"key vk=37 scan=75 flags=1", "key vk=37 scan=75 flags=3"} + MODIFIER_UPS},
        {"right Control is extended, left Control is not",
         {"KEY_TAP 163 0\nKEY_TAP 162 0\n"},
         READY,
         trace_list{"key vk=163 scan=29 flags=1", "key vk=163 scan=29 flags=3", "key vk=162 scan=29 flags=0",
                    "key vk=162 scan=29 flags=2"} +
             MODIFIER_UPS},
        {"held left arrow goes up extended",
         {"KEY_DOWN 37 0\n"},
         READY,
         trace_list{"key vk=37 scan=75 flags=1", "key vk=37 scan=75 flags=3"} + MODIFIER_UPS},
    });
}

TEST(KeyCommands, DownAndUp) {
    check_sessions({
        {"Control chord down and up",
         {"KEY_DOWN 65 1\nKEY_UP 65 1\n"},
         READY,
         trace_list{CTRL_DOWN, A_DOWN, A_UP, CTRL_UP} + MODIFIER_UPS},
        {"Shift as a key under a Control and Shift mask",
         {"KEY_DOWN 16 5\nKEY_UP 16 5\n"},
         READY,
         trace_list{CTRL_DOWN, SHIFT_DOWN, SHIFT_UP, CTRL_UP} + MODIFIER_UPS},
        {"Windows key", {"KEY_DOWN 91 8\nKEY_UP 91 8\n"}, READY, trace_list{WIN_DOWN, WIN_UP} + MODIFIER_UPS},
        {"KEY_DOWN/KEY_UP Unicode character under Shift",
         {"KEY_DOWN 0 4 233\nKEY_UP 0 4 233\n"},
         READY,
         trace_list{SHIFT_DOWN, "key vk=0 scan=233 flags=4", "key vk=0 scan=233 flags=6", SHIFT_UP} + MODIFIER_UPS},
        {"empty records",
         {"KEY_DOWN 0 0 0\nKEY_UP 0 0 0\n"},
         READY,
         trace_list{"key vk=0 scan=0 flags=0", "key vk=0 scan=0 flags=2"} + MODIFIER_UPS},
        {"empty record under Control",
         {"KEY_DOWN 0 1 0\nKEY_UP 0 1 0\n"},
         READY,
         trace_list{CTRL_DOWN, "key vk=0 scan=0 flags=0", "key vk=0 scan=0 flags=2", CTRL_UP} + MODIFIER_UPS},
        {"KEY_DOWN ignores the character beside a key code",
         {"KEY_DOWN 65 0 97\n"},
         READY,
         trace_list{A_DOWN, A_UP} + MODIFIER_UPS},
        {"same chord twice presses Control once",
         {"KEY_DOWN 65 1\nKEY_DOWN 65 1\n"},
         READY,
         trace_list{CTRL_DOWN, A_DOWN, A_DOWN, A_UP, CTRL_UP} + MODIFIER_UPS},
        {"first KEY_UP naming the chord releases it",
         {"KEY_DOWN 65 1\nKEY_DOWN 66 1\nKEY_UP 65 1\nKEY_UP 66 1\n"},
         READY,
         trace_list{CTRL_DOWN, A_DOWN, B_DOWN, A_UP, CTRL_UP, B_UP} + MODIFIER_UPS},
        {"KEY_UP without the mask leaves Control down",
         {"KEY_DOWN 65 1\nKEY_UP 65 0\n"},
         READY,
         trace_list{CTRL_DOWN, A_DOWN, A_UP, CTRL_UP} + MODIFIER_UPS},
        {"held Shift is not pressed or released by chords",
         {"KEY_DOWN 16 0\nKEY_DOWN 65 4\nKEY_UP 65 4\nKEY_UP 16 0\n"},
         READY,
         trace_list{SHIFT_DOWN, A_DOWN, A_UP, SHIFT_UP} + MODIFIER_UPS},
        {"Shift pressed as a key takes over the chord's Shift",
         {"KEY_DOWN 65 4\nKEY_DOWN 16 0\nKEY_UP 65 4\n"},
         READY,
         trace_list{SHIFT_DOWN, A_DOWN, SHIFT_DOWN, A_UP, SHIFT_UP} + MODIFIER_UPS},
        {"KEY_UP of Control releases the chord's Alt",
         {"KEY_DOWN 65 3\nKEY_DOWN 17 0\nKEY_UP 17 3\n"},
         READY,
         trace_list{CTRL_DOWN, ALT_DOWN, A_DOWN, CTRL_DOWN, CTRL_UP, ALT_UP, A_UP} + MODIFIER_UPS},
        {"right Control with its own bit",
         {"KEY_DOWN 163 1\n"},
         READY,
         trace_list{"key vk=163 scan=29 flags=1", "key vk=163 scan=29 flags=3"} + MODIFIER_UPS},
        {"KEY_UP of Shift ends the chord's Shift",
         {"KEY_DOWN 65 4\nKEY_UP 16 0\n"},
         READY,
         trace_list{SHIFT_DOWN, A_DOWN, SHIFT_UP, A_UP} + MODIFIER_UPS},
        {"KEY_UP of generic Shift leaves left Shift down",
         {"KEY_DOWN 160 0\nKEY_UP 16 0\n"},
         READY,
         trace_list{"key vk=160 scan=42 flags=0", SHIFT_UP, "key vk=160 scan=42 flags=2"} + MODIFIER_UPS},
        {"KEY_UP of a key never pressed",
         {"KEY_UP 99 0\n"},
         READY,
         trace_list{"key vk=99 scan=81 flags=2"} + MODIFIER_UPS},
        {"KEY_UP of an unpressed key releases the chord",
         {"KEY_DOWN 65 4\nKEY_DOWN 66 4\nKEY_UP 67 4\n"},
         READY,
         trace_list{SHIFT_DOWN, A_DOWN, B_DOWN, C_UP, SHIFT_UP, A_UP, B_UP} + MODIFIER_UPS},
        {"held keys go up last pressed first",
         {"KEY_DOWN 65 0\nKEY_DOWN 66 0\nKEY_DOWN 67 0\n"},
         READY,
         trace_list{A_DOWN, B_DOWN, C_DOWN, C_UP, B_UP, A_UP} + MODIFIER_UPS},
        {"a release moves the last held key into the gap",
         {"KEY_DOWN 65 0\nKEY_DOWN 66 0\nKEY_DOWN 67 0\nKEY_DOWN 68 0\nKEY_UP 66 0\n"},
         READY,
         trace_list{A_DOWN, B_DOWN, C_DOWN, "key vk=68 scan=32 flags=0", B_UP, C_UP, "key vk=68 scan=32 flags=2",
                    A_UP} +
             MODIFIER_UPS},
    });
}

} // namespace

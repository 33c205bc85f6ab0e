#include "keyboard/key_commands.h"

#include <gtest/gtest.h>

#include "keyboard/held_keys.h"
#include "tests/unit/key_scenario.h"

namespace {

using key_commands_test = core_test;

std::string empty_record(uint32_t flags) { return unicode_line(0, flags); }

TEST_F(key_commands_test, TapSequences) {
    const key_scenario scenarios[] = {
        {"plain key", {{T, 65, 0, 0, {dn(65), up(65)}, {}, 0, 0}}},
        {"with Control", {{T, 65, 1, 0, {dn(17), dn(65), up(65), up(17)}, {}, 0, 0}}},
        {"all four modifiers, releases not reversed",
         {{T,
           65,
           15,
           0,
           {dn(17), dn(18), dn(16), dnx(91), dn(65), up(65), up(17), up(18), up(16), upx(91)},
           {},
           0,
           0}}},
        {"left Shift does not press its own modifier", {{T, 160, 5, 0, {dn(17), dn(160), up(160), up(17)}, {}, 0, 0}}},
        {"Windows key with its own bit", {{T, 91, 8, 0, {dnx(91), upx(91)}, {}, 0, 0}}},
        {"right Windows key with its own bit", {{T, 92, 8, 0, {dnx(92), upx(92)}, {}, 0, 0}}},
        {"right Control with its own bit", {{T, 163, 1, 0, {dnx(163), upx(163)}, {}, 0, 0}}},
        {"Control with its own bit", {{T, 17, 1, 0, {dn(17), up(17)}, {}, 0, 0}}},
        {"Shift with its own bit", {{T, 16, 4, 0, {dn(16), up(16)}, {}, 0, 0}}},
        {"Unicode inside a chord",
         {{T, 0, 4, 233, {dn(16), unicode_line(233, 4), unicode_line(233, 6), up(16)}, {}, 0, 0}}},
        {"empty records", {{T, 0, 0, 0, {empty_record(0), empty_record(2)}, {}, 0, 0}}},
        {"character ignored beside a key code", {{T, 65, 0, 97, {dn(65), up(65)}, {}, 0, 0}}},
        {"mask without modifier bits", {{T, 65, 16, 0, {dn(65), up(65)}, {}, 0, 0}}},
        {"every mask bit set",
         {{T,
           65,
           0xFFFFFFFFu,
           0,
           {dn(17), dn(18), dn(16), dnx(91), dn(65), up(65), up(17), up(18), up(16), upx(91)},
           {},
           0,
           0}}},
        {"key code above 16 bits", {{T, 65536 + 65, 0, 0, {dn(65), up(65)}, {}, 0, 0}}},
        {"character above 16 bits", {{T, 0, 0, 65536 + 233, {unicode_line(233, 4), unicode_line(233, 6)}, {}, 0, 0}}},
        {"character of exactly 2^16 is empty", {{T, 0, 0, 65536, {empty_record(0), empty_record(2)}, {}, 0, 0}}},
        {"Control already down through a chord",
         {{D, 66, 1, 0, {dn(17), dn(66)}, {17, 66}, 1, 0}, {T, 65, 1, 0, {dn(65), up(65)}, {17, 66}, 1, 0}}},
        {"only the missing modifiers are pressed",
         {{D, 66, 1, 0, {dn(17), dn(66)}, {17, 66}, 1, 0},
          {T, 65, 5, 0, {dn(16), dn(65), up(65), up(16)}, {17, 66}, 1, 0}}},
        {"Shift held as a key", {{D, 16, 0, 0, {dn(16)}, {16}, 0, 4}, {T, 65, 4, 0, {dn(65), up(65)}, {16}, 0, 4}}},
        {"a held key is tapped out of the registry",
         {{D, 65, 0, 0, {dn(65)}, {65}, 0, 0}, {T, 65, 0, 0, {dn(65), up(65)}, {}, 0, 0}}},
        {"tap of a held Shift keeps its bit",
         {{D, 16, 0, 0, {dn(16)}, {16}, 0, 4},
          {T, 16, 0, 0, {dn(16), up(16)}, {}, 0, 4},
          {D, 65, 4, 0, {dn(65)}, {65}, 0, 4}}},
        {"tap of a chord's Control leaves the chord bit",
         {{D, 65, 1, 0, {dn(17), dn(65)}, {17, 65}, 1, 0},
          {T, 17, 0, 0, {dn(17), up(17)}, {65}, 1, 0},
          {U, 65, 1, 0, {up(65), up(17)}, {}, 0, 0}}},
    };
    for (const key_scenario& scenario : scenarios) run_key_scenario(scenario);
}

TEST_F(key_commands_test, DownAndUpSequences) {
    const key_scenario scenarios[] = {
        {"key with Control",
         {{D, 65, 1, 0, {dn(17), dn(65)}, {17, 65}, 1, 0}, {U, 65, 1, 0, {up(65), up(17)}, {}, 0, 0}}},
        {"Shift with Control and its own bit",
         {{D, 16, 5, 0, {dn(17), dn(16)}, {17, 16}, 1, 4}, {U, 16, 5, 0, {up(16), up(17)}, {}, 0, 0}}},
        {"Windows key with its own bit", {{D, 91, 8, 0, {dnx(91)}, {91}, 0, 8}, {U, 91, 8, 0, {upx(91)}, {}, 0, 0}}},
        {"Unicode inside a Shift chord",
         {{D, 0, 4, 233, {dn(16), unicode_line(233, 4)}, {16}, 4, 0},
          {U, 0, 4, 233, {unicode_line(233, 6), up(16)}, {}, 0, 0}}},
        {"empty records", {{D, 0, 0, 0, {empty_record(0)}, {}, 0, 0}, {U, 0, 0, 0, {empty_record(2)}, {}, 0, 0}}},
        {"empty record inside a Control chord",
         {{D, 0, 1, 0, {dn(17), empty_record(0)}, {17}, 1, 0}, {U, 0, 1, 0, {empty_record(2), up(17)}, {}, 0, 0}}},
        {"character ignored beside a key code", {{D, 65, 0, 97, {dn(65)}, {65}, 0, 0}}},
        {"key code above 16 bits", {{D, 65536 + 65, 0, 0, {dn(65)}, {65}, 0, 0}}},
        {"modifier code above 16 bits", {{D, 65536 + 17, 0, 0, {dn(17)}, {17}, 0, 1}}},
        {"character of exactly 2^16 is empty", {{U, 0, 0, 65536, {empty_record(2)}, {}, 0, 0}}},
        {"key never pressed", {{U, 99, 0, 0, {up(99)}, {}, 0, 0}}},
        {"second press of a chord key",
         {{D, 65, 1, 0, {dn(17), dn(65)}, {17, 65}, 1, 0}, {D, 65, 1, 0, {dn(65)}, {17, 65}, 1, 0}}},
    };
    for (const key_scenario& scenario : scenarios) run_key_scenario(scenario);
}

TEST_F(key_commands_test, TapIntoAFullRegistrySendsBothRecords) {
    for (int i = 0; i < 256; ++i) add_held_key(static_cast<uint16_t>(1000 + i));
    key_tap(65, 0, 0);
    EXPECT_EQ(recorded_trace(), (lines{dn(65), up(65)}));
    EXPECT_EQ(held_key_count, 256);
    EXPECT_EQ(held_keys[255], 1255);
}

} // namespace

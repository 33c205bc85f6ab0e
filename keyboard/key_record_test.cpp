#include "keyboard/key_record.h"

#include <set>

#include <gtest/gtest.h>

#include "keyboard/held_keys.h"
#include "tests/support/core_state.h"
#include "tests/support/recorded_trace.h"

namespace {

using key_record_test = core_test;

const std::set<uint16_t> EXTENDED_KEYS = {33, 34, 35, 36, 37, 38, 39, 40, 44, 45, 46, 91, 92, 93, 111, 144, 163, 165};

struct record_row {
    uint16_t vk;
    uint16_t ch;
    bool up;
    const char* line;
    codes held_after; // starting from an empty registry
};

TEST_F(key_record_test, EachFormBuildsItsRecord) {
    const record_row rows[] = {
        {65, 0, false, "key vk=65 scan=30 flags=0", {65}},
        {65, 0, true, "key vk=65 scan=30 flags=2", {}},
        {65, 97, false, "key vk=65 scan=30 flags=0", {65}}, // the character is ignored
        {0, 233, false, "key vk=0 scan=233 flags=4", {}},
        {0, 233, true, "key vk=0 scan=233 flags=6", {}},
        {0, 65535, false, "key vk=0 scan=65535 flags=4", {}},
        {0, 0, false, "key vk=0 scan=0 flags=0", {}},
        {0, 0, true, "key vk=0 scan=0 flags=2", {}},
        {300, 0, false, "key vk=300 scan=0 flags=0", {300}}, // no scan code: still sent
        {65535, 0, false, "key vk=65535 scan=0 flags=0", {65535}},
    };
    for (const record_row& row : rows) {
        SCOPED_TRACE(row.line);
        reset_core_state();
        send_key_record(row.vk, row.ch, row.up);
        EXPECT_EQ(recorded_trace(), lines{row.line});
        EXPECT_EQ(held_key_list(), row.held_after);
    }
}

TEST_F(key_record_test, PressAndReleaseKeepTheRegistryInStep) {
    send_key_record(65, 0, false);
    EXPECT_EQ(held_key_list(), codes{65});
    send_key_record(65, 0, false); // injected again, recorded once
    EXPECT_EQ(held_key_list(), codes{65});
    send_key_record(65, 0, true);
    EXPECT_EQ(held_key_count, 0);
    send_key_record(65, 0, true); // not recorded: injected all the same
    EXPECT_EQ(held_key_count, 0);
    EXPECT_EQ(recorded_trace(), (lines{key_line(65, 0), key_line(65, 0), key_line(65, 2), key_line(65, 2)}));
}

TEST_F(key_record_test, ExactlyTheEighteenExtendedKeysAreExtended) {
    for (uint32_t vk = 0; vk <= 0xFFFF; ++vk) {
        const auto code = static_cast<uint16_t>(vk);
        ASSERT_EQ(is_extended_key(code), EXTENDED_KEYS.count(code) == 1) << "vk " << vk;
    }
}

TEST_F(key_record_test, ExtendedKeysCarryTheFlagBothWays) {
    for (uint16_t vk : EXTENDED_KEYS) {
        SCOPED_TRACE(vk);
        reset_core_state();
        send_key_record(vk, 0, false);
        send_key_record(vk, 0, true);
        EXPECT_EQ(recorded_trace(), (lines{key_line(vk, 1), key_line(vk, 3)}));
    }
}

TEST_F(key_record_test, NeighboursOfTheExtendedKeysAreNot) {
    const uint16_t plain[] = {3,   13,  16,  17,  18,  19,  32,  41,  43,  47,  90,   94,
                              110, 112, 143, 145, 160, 161, 162, 164, 166, 300, 65535};
    for (uint16_t vk : plain) {
        SCOPED_TRACE(vk);
        reset_core_state();
        send_key_record(vk, 0, false);
        send_key_record(vk, 0, true);
        EXPECT_EQ(recorded_trace(), (lines{key_line(vk, 0), key_line(vk, 2)}));
    }
}

} // namespace

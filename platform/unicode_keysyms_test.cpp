#include "platform/unicode_keysyms.h"

#include <gtest/gtest.h>

namespace {

TEST(X11Unicode, KeysymOfACodePoint) {
    const struct {
        uint32_t code_point;
        uint32_t keysym;
    } rows[] = {
        {0x41, 0x41},         {0x7E, 0x7E},       {0xA0, 0xA0},        {0xE9, 0xE9},
        {0xFF, 0xFF},         {0x100, 0x1000100}, {0x20AC, 0x10020AC}, {0x4F60, 0x1004F60},
        {0x1F600, 0x101F600}, {0x09, 0xFF09},     {0x0D, 0xFF0D},      {0x0A, 0xFF0D},
        {0x08, 0xFF08},       {0x1B, 0xFF1B},     {0x7F, 0xFFFF},      {0x85, 0x1000085},
    };
    for (const auto& row : rows) EXPECT_EQ(unicode_keysym(row.code_point), row.keysym) << std::hex << row.code_point;
}

struct step {
    uint16_t unit;
    bool up;
    uint32_t code_point; // what the step types
    uint16_t key_unit;
};

constexpr bool DOWN = false;
constexpr bool UP = true;

void run_steps(const char* name, std::initializer_list<step> steps) {
    SCOPED_TRACE(name);
    reset_surrogate_pairing();
    int index = 0;
    for (const step& expected : steps) {
        const unicode_event event = pair_surrogates(expected.unit, expected.up);
        EXPECT_EQ(event.code_point, expected.code_point) << "step " << index;
        EXPECT_EQ(event.key_unit, expected.key_unit) << "step " << index;
        ++index;
    }
}

TEST(X11Unicode, SurrogatePairing) {
    run_steps("a plain character", {{0xE9, DOWN, 0xE9, 0xE9}, {0xE9, UP, 0, 0xE9}});
    run_steps(
        "a pair as two taps",
        {{0xD83D, DOWN, 0, 0xD83D}, {0xD83D, UP, 0, 0xD83D}, {0xDE00, DOWN, 0x1F600, 0xDE00}, {0xDE00, UP, 0, 0xDE00}});
    run_steps(
        "press, press, release, release",
        {{0xD83D, DOWN, 0, 0xD83D}, {0xDE00, DOWN, 0x1F600, 0xDE00}, {0xD83D, UP, 0, 0xD83D}, {0xDE00, UP, 0, 0xDE00}});
    run_steps("the highest code point", {{0xDBFF, DOWN, 0, 0xDBFF}, {0xDFFF, DOWN, 0x10FFFF, 0xDFFF}});
    run_steps("the lowest code point above the plane", {{0xD800, DOWN, 0, 0xD800}, {0xDC00, DOWN, 0x10000, 0xDC00}});
    run_steps("a lone low surrogate", {{0xDE00, DOWN, 0, 0xDE00}, {0xDE00, UP, 0, 0xDE00}});
    run_steps("a lone high surrogate before a character",
              {{0xD83D, DOWN, 0, 0xD83D}, {0x61, DOWN, 0x61, 0x61}, {0xDE00, DOWN, 0, 0xDE00}});
    run_steps("a low surrogate pairs once only",
              {{0xD83D, DOWN, 0, 0xD83D}, {0xDE00, DOWN, 0x1F600, 0xDE00}, {0xDE01, DOWN, 0, 0xDE01}});
    run_steps("a second high surrogate replaces the first",
              {{0xD83D, DOWN, 0, 0xD83D}, {0xD83C, DOWN, 0, 0xD83C}, {0xDF89, DOWN, 0x1F389, 0xDF89}});
    run_steps("a release between the pair keeps it",
              {{0xD83D, DOWN, 0, 0xD83D}, {0x61, UP, 0, 0x61}, {0xDE00, DOWN, 0x1F600, 0xDE00}});
}

TEST(X11Unicode, ResetForgetsAWaitingHighSurrogate) {
    reset_surrogate_pairing();
    pair_surrogates(0xD83D, DOWN);
    reset_surrogate_pairing();
    EXPECT_EQ(pair_surrogates(0xDE00, DOWN).code_point, 0u);
}

} // namespace

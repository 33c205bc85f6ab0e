#include "control/parse_fields.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

namespace {

constexpr int32_t SIGNED_PRESET = 77;
constexpr uint32_t UNSIGNED_PRESET = 77;

struct signed_row {
    std::string text;
    int wanted;
    int read;
    std::vector<int32_t> fields; // all `wanted` of them, presets included
};

TEST(parse_signed_fields_test, ReadsByTheScanRules) {
    const int32_t P = SIGNED_PRESET;
    const signed_row rows[] = {
        {"1 2", 2, 2, {1, 2}},
        {"1 2 3", 2, 2, {1, 2}},
        {"  -5   +6junk", 2, 2, {-5, 6}},
        {"1-2", 2, 2, {1, -2}},
        {"1+2", 2, 2, {1, 2}},
        {"\t7\t\t8", 2, 2, {7, 8}},
        {"\n\v\f\r7 8", 2, 2, {7, 8}},
        {"007 -0", 2, 2, {7, 0}},
        {"1 2 0 extra", 3, 3, {1, 2, 0}},
        {"5 6 0 x", 4, 3, {5, 6, 0, P}},
        {"1,2", 2, 1, {1, P}},
        {"1 x 3", 3, 1, {1, P, P}},
        {"", 2, 0, {P, P}},
        {"   ", 2, 0, {P, P}},
        {"x1 2", 2, 0, {P, P}},
        {"-", 1, 0, {P}},
        {"+", 1, 0, {P}},
        {"- 5", 1, 0, {P}},
        {"--5", 1, 0, {P}},
        {"+-5", 1, 0, {P}},
        {"0x10", 2, 1, {0, P}},
        {"1.5", 2, 1, {1, P}},
        {"2147483647 -2147483648", 2, 2, {INT_MAX, INT_MIN}},
        {"0000000000000000000000012", 1, 1, {12}},
        // Beyond 32 bits the parse ends; the fields read before it still count.
        {"1 99999999999 3", 3, 1, {1, P, P}},
        {"1 18446744073709551621 3", 3, 1, {1, P, P}}, // 2^64 + 5 must not wrap to 5
        {"1 -99999999999999999999999 3", 3, 1, {1, P, P}},
        {"2147483648", 1, 0, {P}},
        {"-2147483649", 1, 0, {P}},
    };
    for (const signed_row& row : rows) {
        SCOPED_TRACE("\"" + row.text + "\"");
        std::vector<int32_t> fields(static_cast<size_t>(row.wanted), P);
        EXPECT_EQ(parse_signed_fields(row.text.c_str(), fields.data(), row.wanted), row.read);
        EXPECT_EQ(fields, row.fields);
    }
}

struct unsigned_row {
    std::string text;
    int wanted;
    int read;
    std::vector<uint32_t> fields;
};

TEST(parse_unsigned_fields_test, NegativeNumbersWrapModulo2To32) {
    const uint32_t P = UNSIGNED_PRESET;
    const unsigned_row rows[] = {
        {"65 1", 3, 2, {65, 1, P}},
        {"65 1 233", 3, 3, {65, 1, 233}},
        {"+5 0", 2, 2, {5, 0}},
        {"-1 0", 2, 2, {4294967295u, 0}},
        {"4294967295 1", 2, 2, {4294967295u, 1}},
        {"-4294967295 1", 2, 2, {1, 1}},
        {"-2147483648 1", 2, 2, {2147483648u, 1}},
        {"65536 65537", 2, 2, {65536, 65537}},
        {"1-2", 2, 2, {1, 4294967294u}},
        {"65", 3, 1, {65, P, P}},
        {"65 x", 3, 1, {65, P, P}},
        {" a", 3, 0, {P, P, P}},
        {"4294967296 1", 2, 0, {P, P}},
        {"-4294967296 1", 2, 0, {P, P}},
        {"65 4294967296 3", 3, 1, {65, P, P}},
        {"65 1 18446744073709551617", 3, 2, {65, 1, P}}, // 2^64 + 1 must not wrap to 1
    };
    for (const unsigned_row& row : rows) {
        SCOPED_TRACE("\"" + row.text + "\"");
        std::vector<uint32_t> fields(static_cast<size_t>(row.wanted), P);
        EXPECT_EQ(parse_unsigned_fields(row.text.c_str(), fields.data(), row.wanted), row.read);
        EXPECT_EQ(fields, row.fields);
    }
}

TEST(parse_fields_test, TheTextEndsAtItsNul) {
    const char text[] = "1\0"
                        "2";
    int32_t fields[2] = {SIGNED_PRESET, SIGNED_PRESET};
    EXPECT_EQ(parse_signed_fields(text, fields, 2), 1);
    EXPECT_EQ(fields[0], 1);
    EXPECT_EQ(fields[1], SIGNED_PRESET);
}

} // namespace

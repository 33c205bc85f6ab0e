#pragma once
#include <cstdint>

// Reads up to `wanted` whitespace-separated decimal numbers from NUL-terminated
// text, by the rules of the C library's "%d %d ..." and "%u %u ..." scans:
// white space skipped before each number, an optional sign, at least one digit,
// and the first character that does not fit ends the number. Unlike the C
// library, a number that does not fit in 32 bits counts as not read.
// Returns how many fields were read; the fields after that keep their values.

int parse_signed_fields(const char* text, int32_t* fields, int wanted);
/// A negative number wraps modulo 2^32, so -1 reads as 4294967295.
int parse_unsigned_fields(const char* text, uint32_t* fields, int wanted);

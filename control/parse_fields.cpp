#include "control/parse_fields.h"

namespace {

constexpr uint64_t UNSIGNED_LIMIT = 4294967295u;

// Tab, line feed, vertical tab, form feed and carriage return are 9 to 13.
bool is_scan_space(char c) { return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t'; }

// The digit's value, or more than 9 for any other byte.
unsigned digit_value(char c) { return static_cast<unsigned char>(c) - static_cast<unsigned>('0'); }

struct number {
    bool negative;
    uint64_t magnitude; // capped just above UNSIGNED_LIMIT, enough to tell overflow
};

// Reads one optionally signed decimal number at *cursor and moves past it.
// False when no digit follows; *cursor is then of no further use.
inline bool read_number(const char** cursor, number* out) {
    const char* p = *cursor;
    while (is_scan_space(*p)) ++p;
    out->negative = false;
    if (*p == '+' || *p == '-') {
        out->negative = *p == '-';
        ++p;
    }
    unsigned digit = digit_value(*p);
    if (digit > 9) return false;
    uint64_t magnitude = 0;
    do {
        magnitude = magnitude * 10 + digit;
        if (magnitude > UNSIGNED_LIMIT) magnitude = UNSIGNED_LIMIT + 1;
        digit = digit_value(*++p);
    } while (digit <= 9);
    out->magnitude = magnitude;
    *cursor = p;
    return true;
}

} // namespace

int parse_signed_fields(const char* text, int32_t* fields, int wanted) {
    for (int read = 0; read < wanted; ++read) {
        number n{};
        if (!read_number(&text, &n)) return read;
        const uint64_t limit = n.negative ? 2147483648u : 2147483647u;
        if (n.magnitude > limit) return read;
        const auto low = static_cast<uint32_t>(n.magnitude);
        fields[read] = static_cast<int32_t>(n.negative ? 0u - low : low);
    }
    return wanted;
}

int parse_unsigned_fields(const char* text, uint32_t* fields, int wanted) {
    for (int read = 0; read < wanted; ++read) {
        number n{};
        if (!read_number(&text, &n)) return read;
        if (n.magnitude > UNSIGNED_LIMIT) return read;
        const auto low = static_cast<uint32_t>(n.magnitude);
        fields[read] = n.negative ? 0u - low : low;
    }
    return wanted;
}

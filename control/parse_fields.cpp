#include "control/parse_fields.h"

namespace {

constexpr uint64_t UNSIGNED_LIMIT = 4294967295u;

bool is_scan_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

struct number {
    bool negative;
    uint64_t magnitude; // capped just above UNSIGNED_LIMIT, enough to tell overflow
};

// Reads one optionally signed decimal number at *cursor and moves past it.
// False when no digit follows; *cursor is then of no further use.
bool read_number(const char** cursor, number* out) {
    const char* p = *cursor;
    while (is_scan_space(*p)) ++p;
    out->negative = false;
    if (*p == '+' || *p == '-') {
        out->negative = *p == '-';
        ++p;
    }
    if (*p < '0' || *p > '9') return false;
    uint64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
        if (magnitude > UNSIGNED_LIMIT) magnitude = UNSIGNED_LIMIT + 1;
    }
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

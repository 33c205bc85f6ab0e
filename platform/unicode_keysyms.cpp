#include "platform/unicode_keysyms.h"

namespace {

uint16_t pending_high; // the last high surrogate pressed, 0 when none waits

bool is_high(uint16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low(uint16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

} // namespace

uint32_t unicode_keysym(uint32_t code_point) {
    // The control characters a text carries become the keys that type them.
    switch (code_point) {
    case 0x08: return 0xFF08; // BackSpace
    case 0x09: return 0xFF09; // Tab
    case 0x0A:
    case 0x0D: return 0xFF0D; // Return
    case 0x1B: return 0xFF1B; // Escape
    case 0x7F: return 0xFFFF; // Delete
    default: break;
    }
    if ((code_point >= 0x20 && code_point <= 0x7E) || (code_point >= 0xA0 && code_point <= 0xFF)) return code_point;
    return 0x01000000u + code_point;
}

unicode_event pair_surrogates(uint16_t unit, bool up) {
    // A release types nothing; it only finds the press it ends. A high
    // surrogate's release leaves it waiting, so two taps pair as well.
    if (up) return {0, unit};
    if (is_high(unit)) {
        pending_high = unit;
        return {0, unit};
    }
    if (is_low(unit)) {
        if (pending_high == 0) return {0, unit};
        const uint32_t code_point = 0x10000u + ((static_cast<uint32_t>(pending_high) - 0xD800u) << 10u) +
                                    (static_cast<uint32_t>(unit) - 0xDC00u);
        pending_high = 0;
        return {code_point, unit};
    }
    pending_high = 0; // a high surrogate followed by anything else stays alone
    return {unit, unit};
}

void reset_surrogate_pairing() { pending_high = 0; }

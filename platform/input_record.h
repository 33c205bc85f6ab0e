#pragma once
#include <cstdint>

// One synthetic input event, field for field the platform's INPUT record, so that
// the command logic can build records without the platform headers. Only the
// Windows backend knows the real layout and copies these fields into it.

constexpr uint32_t RECORD_TYPE_MOUSE = 0;
constexpr uint32_t RECORD_TYPE_KEYBOARD = 1;

// Plain data, value-initialised (input_record record{}) before any field is set.
// NOLINTBEGIN(cppcoreguidelines-pro-type-member-init)

struct mouse_input {
    int32_t dx;
    int32_t dy;
    uint32_t mouseData;
    uint32_t dwFlags;
    uint32_t time;
    uintptr_t dwExtraInfo;
};

struct keyboard_input {
    uint16_t wVk;
    uint16_t wScan;
    uint32_t dwFlags;
    uint32_t time;
    uintptr_t dwExtraInfo;
};

struct input_record {
    uint32_t type;
    union {
        mouse_input mi;
        keyboard_input ki;
    };
};
// NOLINTEND(cppcoreguidelines-pro-type-member-init)

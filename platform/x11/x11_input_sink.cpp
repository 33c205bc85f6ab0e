#include <ctime>

#include "keyboard/key_record.h"
#include "platform/input_sink.h"
#include "platform/us_scan_codes.h"
#include "platform/wheel.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_device_events.h"
#include "platform/x11/x11_keys.h"
#include "platform/x11/x11_spare_keycodes.h"
#include "pointer/mouse_record.h"

// The input sink over XTest: each record the core builds becomes the X
// requests that have the same effect on an X server.

namespace {

constexpr unsigned int BUTTON_LEFT = 1;
constexpr unsigned int BUTTON_MIDDLE = 2;
constexpr unsigned int BUTTON_RIGHT = 3;
constexpr unsigned int WHEEL_UP = 4;
constexpr unsigned int WHEEL_DOWN = 5;
constexpr unsigned int WHEEL_LEFT = 6;
constexpr unsigned int WHEEL_RIGHT = 7;

wheel_axis vertical_wheel;
wheel_axis horizontal_wheel;

void fake_button(unsigned int button, bool press) { x11_device_button(button, press); }

// A click of a wheel button per 120 units; what is left waits for the next record.
void turn_wheel(wheel_axis* axis, int32_t amount, unsigned int positive, unsigned int negative) {
    const int32_t clicks = wheel_clicks(axis, amount);
    const unsigned int button = clicks > 0 ? positive : negative;
    for (int32_t i = clicks > 0 ? clicks : -clicks; i > 0; --i) {
        fake_button(button, true);
        fake_button(button, false);
    }
}

void inject_mouse(const mouse_input& mouse) {
    const auto data = static_cast<int32_t>(mouse.mouseData);
    switch (mouse.dwFlags) {
    case MOUSEEVENTF_LEFTDOWN: fake_button(BUTTON_LEFT, true); break;
    case MOUSEEVENTF_LEFTUP: fake_button(BUTTON_LEFT, false); break;
    case MOUSEEVENTF_MIDDLEDOWN: fake_button(BUTTON_MIDDLE, true); break;
    case MOUSEEVENTF_MIDDLEUP: fake_button(BUTTON_MIDDLE, false); break;
    case MOUSEEVENTF_RIGHTDOWN: fake_button(BUTTON_RIGHT, true); break;
    case MOUSEEVENTF_RIGHTUP: fake_button(BUTTON_RIGHT, false); break;
    // Positive vertical data turns the wheel away from the user; positive
    // horizontal data tilts it to the right.
    case MOUSEEVENTF_WHEEL: turn_wheel(&vertical_wheel, data, WHEEL_UP, WHEEL_DOWN); break;
    case MOUSEEVENTF_HWHEEL: turn_wheel(&horizontal_wheel, data, WHEEL_RIGHT, WHEEL_LEFT); break;
    default: break; // the zero move after a placement: the placement has moved the pointer
    }
}

// XTest carries 16-bit coordinates; beyond them the server clamps what is left.
int clamp_coordinate(int32_t value) {
    if (value < -32768) return -32768;
    if (value > 32767) return 32767;
    return value;
}

} // namespace

void input_sink_inject(const input_record& record) {
    if (record.type == RECORD_TYPE_MOUSE) {
        inject_mouse(record.mi);
        return;
    }
    const keyboard_input& key = record.ki;
    x11_key_event(key.wVk, key.wScan, (key.dwFlags & KEYEVENTF_UNICODE) != 0, (key.dwFlags & KEYEVENTF_KEYUP) != 0);
}

void input_sink_place_pointer(int32_t x, int32_t y) { x11_device_motion(clamp_coordinate(x), clamp_coordinate(y)); }

// The US table, as the dry-run program answers: the records the core builds
// stay identical to the trace's. X itself never sees the scan code.
uint32_t input_sink_scan_code(uint16_t vk) { return us_layout_scan_code(vk); }

void input_sink_pause(uint32_t milliseconds) {
    // What came before the pause has been processed by the server before it
    // starts, so the server's own time stamps of the clicks on either side
    // are the pause apart, however late it got to the first one.
    x11_spare_commit();
    x11_round_trip();
    x11_spare_note_flush();
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

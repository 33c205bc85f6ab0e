#include <ctime>

#include "keyboard/key_record.h"
#include "platform/input_sink.h"
#include "platform/us_scan_codes.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_ending.h"
#include "platform/wayland/wayland_input_sink.h"
#include "platform/wayland/wayland_keys.h"
#include "platform/wayland/wayland_watchdog.h"
#include "platform/wheel.h"
#include "pointer/mouse_record.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

// The input sink over the virtual pointer and keyboard: each record the core
// builds becomes the requests that have the same effect on a compositor.

namespace {

constexpr uint32_t BTN_LEFT = 0x110;
constexpr uint32_t BTN_RIGHT = 0x111;
constexpr uint32_t BTN_MIDDLE = 0x112;
constexpr uint32_t AXIS_VERTICAL = 0;
constexpr uint32_t AXIS_HORIZONTAL = 1;
constexpr uint32_t AXIS_SOURCE_WHEEL = 0;
constexpr int32_t WHEEL_CLICK_VALUE = 15; // what a click of a mouse wheel scrolls

constexpr uint32_t BUTTON_CODES[] = {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE};

wheel_axis vertical_wheel;
wheel_axis horizontal_wheel;
bool button_down[3]; // by BUTTON_CODES, so a signal can release them

void end_frame() {
    zwlr_virtual_pointer_v1_frame(wayland_pointer());
    wayland_note_request();
}

void button(uint32_t code, bool press) {
    if (press) wayland_settle_pointer();
    uint32_t mask = 0;
    for (size_t i = 0; i < sizeof BUTTON_CODES / sizeof BUTTON_CODES[0]; ++i) {
        if (BUTTON_CODES[i] == code) button_down[i] = press;
        if (button_down[i]) mask |= 1u << (BUTTON_CODES[i] - BTN_LEFT);
    }
    // Before the request: a kill between the two leaves a release to spare, never a press.
    if (press) wayland_watchdog_note_buttons(mask);
    zwlr_virtual_pointer_v1_button(wayland_pointer(), wayland_now(), code, press ? 1u : 0u);
    wayland_note_request();
    end_frame();
    // Once the release is sent; it reaches the compositor at the next flush,
    // which even a kill after it cannot stop.
    if (!press) wayland_watchdog_note_buttons(mask);
}

// A click per 120 units, each a frame of its own as a mouse wheel sends it;
// what is left waits for the next record. `direction` turns a positive amount
// into the sign of the Wayland axis.
void turn_wheel(wheel_axis* axis, int32_t amount, uint32_t which, int32_t direction) {
    const int32_t clicks = wheel_clicks(axis, amount);
    if (clicks != 0) wayland_settle_pointer();
    const int32_t step = clicks > 0 ? direction : -direction;
    for (int32_t i = clicks > 0 ? clicks : -clicks; i > 0; --i) {
        zwlr_virtual_pointer_v1_axis_source(wayland_pointer(), AXIS_SOURCE_WHEEL);
        zwlr_virtual_pointer_v1_axis_discrete(wayland_pointer(), wayland_now(), which,
                                              wl_fixed_from_int(step * WHEEL_CLICK_VALUE), step);
        wayland_note_request();
        wayland_note_request();
        end_frame();
    }
}

void inject_mouse(const mouse_input& mouse) {
    const auto data = static_cast<int32_t>(mouse.mouseData);
    switch (mouse.dwFlags) {
    case MOUSEEVENTF_LEFTDOWN: button(BTN_LEFT, true); break;
    case MOUSEEVENTF_LEFTUP: button(BTN_LEFT, false); break;
    case MOUSEEVENTF_MIDDLEDOWN: button(BTN_MIDDLE, true); break;
    case MOUSEEVENTF_MIDDLEUP: button(BTN_MIDDLE, false); break;
    case MOUSEEVENTF_RIGHTDOWN: button(BTN_RIGHT, true); break;
    case MOUSEEVENTF_RIGHTUP: button(BTN_RIGHT, false); break;
    // Positive vertical data turns the wheel away from the user, which
    // Wayland counts negative; positive horizontal data tilts it right.
    case MOUSEEVENTF_WHEEL: turn_wheel(&vertical_wheel, data, AXIS_VERTICAL, -1); break;
    case MOUSEEVENTF_HWHEEL: turn_wheel(&horizontal_wheel, data, AXIS_HORIZONTAL, 1); break;
    default: break; // the zero move after a placement: the placement has moved the pointer
    }
}

// Within [low, low + size - 1], as Windows keeps the cursor on the desktop.
uint32_t clamp_offset(int32_t value, int32_t low, int32_t size) {
    const int64_t offset = static_cast<int64_t>(value) - low;
    if (offset < 0) return 0;
    if (offset >= size) return static_cast<uint32_t>(size - 1);
    return static_cast<uint32_t>(offset);
}

} // namespace

void wayland_release_pressed_buttons() {
    for (size_t i = 0; i < sizeof BUTTON_CODES / sizeof BUTTON_CODES[0]; ++i) {
        if (button_down[i]) button(BUTTON_CODES[i], false);
    }
}

void input_sink_inject(const input_record& record) {
    wayland_end_if_requested();
    if (record.type == RECORD_TYPE_MOUSE) {
        inject_mouse(record.mi);
        return;
    }
    const keyboard_input& key = record.ki;
    wayland_key_event(key.wVk, key.wScan, (key.dwFlags & KEYEVENTF_UNICODE) != 0, (key.dwFlags & KEYEVENTF_KEYUP) != 0);
}

void input_sink_place_pointer(int32_t x, int32_t y) {
    // Absolute positions span the box of all outputs: x_extent is its width,
    // so x lands on the pixel column x of the layout.
    wayland_end_if_requested();
    output_box box = wayland_output_box();
    if (box.width <= 0 || box.height <= 0) {
        // An output that came or changed since: what it says is a round trip away.
        wayland_round_trip();
        box = wayland_output_box();
    }
    if (box.width <= 0 || box.height <= 0) return;
    // Motion before the applications have a pointer is lost to them.
    wayland_settle_pointer();
    wayland_end_if_requested();
    zwlr_virtual_pointer_v1_motion_absolute(wayland_pointer(), wayland_now(), clamp_offset(x, box.x, box.width),
                                            clamp_offset(y, box.y, box.height), static_cast<uint32_t>(box.width),
                                            static_cast<uint32_t>(box.height));
    wayland_note_request();
    end_frame();
}

// The US table, as the dry-run program answers: the records the core builds
// stay identical to the trace's. The compositor never sees the scan code.
uint32_t input_sink_scan_code(uint16_t vk) { return us_layout_scan_code(vk); }

void input_sink_pause(uint32_t milliseconds) {
    // The compositor has processed what came before the pause when it starts,
    // so the time stamps of the clicks on either side are the pause apart.
    wayland_round_trip();
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) wayland_end_if_requested();
}

#include "pointer/pointer_commands.h"

#include "platform/input_sink.h"
#include "pointer/mouse_record.h"

bool left_button_down;
bool middle_button_down;
bool right_button_down;

namespace {

struct mouse_button {
    bool* is_down;
    uint32_t down_flags;
    uint32_t up_flags;
};

mouse_button button_named(int32_t button) {
    if (button == 2) return {&right_button_down, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP};
    if (button == 1) return {&middle_button_down, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP};
    return {&left_button_down, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
}

} // namespace

void move_pointer(int32_t x, int32_t y) {
    input_sink_place_pointer(x, y);
    // A relative move of zero distance: the position comes from the placement;
    // the record makes applications see a mouse-move event.
    send_mouse_record(MOUSEEVENTF_MOVE, 0);
}

void button_down(int32_t x, int32_t y, int32_t button) {
    const mouse_button target = button_named(button);
    input_sink_place_pointer(x, y);
    *target.is_down = true;
    send_mouse_record(target.down_flags, 0);
}

void button_up(int32_t x, int32_t y, int32_t button) {
    const mouse_button target = button_named(button);
    // The left button always goes up, so a controller can free a left button
    // that was stuck by other means; the others only when we pressed them.
    if (target.is_down != &left_button_down && !*target.is_down) return;
    input_sink_place_pointer(x, y);
    *target.is_down = false;
    send_mouse_record(target.up_flags, 0);
}

void button_click(int32_t x, int32_t y, int32_t button, int32_t count) {
    const mouse_button target = button_named(button);
    const int32_t clicks = count > 3 ? 3 : (count < 1 ? 1 : count);
    input_sink_place_pointer(x, y);
    for (int32_t k = 1; k <= clicks; ++k) {
        input_sink_place_pointer(x, y);
        *target.is_down = true;
        send_mouse_record(target.down_flags, 0);
        input_sink_place_pointer(x, y);
        *target.is_down = false;
        send_mouse_record(target.up_flags, 0);
        if (k < clicks) input_sink_pause(MULTI_CLICK_PAUSE_MS);
    }
}

void scroll_wheel(int32_t horizontal, int32_t vertical) {
    // Negate in unsigned arithmetic: -(-2147483648) wraps to itself instead of
    // overflowing.
    if (vertical != 0) send_mouse_record(MOUSEEVENTF_WHEEL, 0u - static_cast<uint32_t>(vertical));
    if (horizontal != 0) send_mouse_record(MOUSEEVENTF_HWHEEL, static_cast<uint32_t>(horizontal));
}

#include "keyboard/key_record.h"

#include "keyboard/held_keys.h"
#include "platform/input_sink.h"

bool is_extended_key(uint16_t vk) {
    switch (vk) {
    case 33:  // VK_PRIOR
    case 34:  // VK_NEXT
    case 35:  // VK_END
    case 36:  // VK_HOME
    case 37:  // VK_LEFT
    case 38:  // VK_UP
    case 39:  // VK_RIGHT
    case 40:  // VK_DOWN
    case 44:  // VK_SNAPSHOT
    case 45:  // VK_INSERT
    case 46:  // VK_DELETE
    case 91:  // VK_LWIN
    case 92:  // VK_RWIN
    case 93:  // VK_APPS
    case 111: // VK_DIVIDE
    case 144: // VK_NUMLOCK
    case 163: // VK_RCONTROL
    case 165: // VK_RMENU
        return true;
    default: return false;
    }
}

void send_key_record(uint16_t vk, uint16_t ch, bool up) {
    input_record record{};
    record.type = RECORD_TYPE_KEYBOARD;
    const uint32_t direction = up ? KEYEVENTF_KEYUP : 0;
    if (vk != 0) {
        record.ki.wVk = vk;
        // Looked up for every record: the layout may change between two events.
        record.ki.wScan = static_cast<uint16_t>(input_sink_scan_code(vk));
        record.ki.dwFlags = direction | (is_extended_key(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
        if (up) {
            remove_held_key(vk);
        } else {
            add_held_key(vk);
        }
    } else if (ch != 0) {
        record.ki.wScan = ch;
        record.ki.dwFlags = direction | KEYEVENTF_UNICODE;
    } else {
        record.ki.dwFlags = direction;
    }
    input_sink_inject(record);
}

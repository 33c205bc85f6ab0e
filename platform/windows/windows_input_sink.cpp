#include <windows.h>

#include <cstring>

#include "platform/input_sink.h"

static_assert(sizeof(INPUT) == 40, "one INPUT record is 40 bytes on 64-bit Windows");

void input_sink_inject(const input_record& record) {
    INPUT input;
    // Cleared whole, so nothing of an earlier event can carry over.
    std::memset(&input, 0, sizeof input);
    input.type = record.type;
    if (record.type == RECORD_TYPE_MOUSE) {
        input.mi.dx = record.mi.dx;
        input.mi.dy = record.mi.dy;
        input.mi.mouseData = record.mi.mouseData;
        input.mi.dwFlags = record.mi.dwFlags;
        input.mi.time = record.mi.time;
        input.mi.dwExtraInfo = record.mi.dwExtraInfo;
    } else {
        input.ki.wVk = record.ki.wVk;
        input.ki.wScan = record.ki.wScan;
        input.ki.dwFlags = record.ki.dwFlags;
        input.ki.time = record.ki.time;
        input.ki.dwExtraInfo = record.ki.dwExtraInfo;
    }
    SendInput(1, &input, sizeof(INPUT));
}

void input_sink_place_pointer(int32_t x, int32_t y) { SetCursorPos(x, y); }

uint32_t input_sink_scan_code(uint16_t vk) { return MapVirtualKeyW(vk, MAPVK_VK_TO_VSC); }

void input_sink_pause(uint32_t milliseconds) { Sleep(milliseconds); }

#include <cstdio>
#include <ctime>

#include "platform/input_sink.h"
#include "platform/trace_output.h"
#include "platform/us_scan_codes.h"

// The dry-run input sink: every operation becomes one trace line, and nothing
// reaches a real pointer or keyboard.

namespace {

template <typename... values>
void trace(const char* format, values... arguments) {
    char line[96];
    const int length = std::snprintf(line, sizeof line, format, arguments...);
    if (length > 0) trace_write(line, static_cast<size_t>(length));
}

} // namespace

void input_sink_inject(const input_record& record) {
    if (record.type == RECORD_TYPE_MOUSE) {
        trace("mouse flags=0x%04x data=%d\n", record.mi.dwFlags, static_cast<int32_t>(record.mi.mouseData));
    } else {
        trace("key vk=%u scan=%u flags=%u\n", static_cast<unsigned>(record.ki.wVk),
              static_cast<unsigned>(record.ki.wScan), record.ki.dwFlags);
    }
}

void input_sink_place_pointer(int32_t x, int32_t y) { trace("place %d %d\n", x, y); }

uint32_t input_sink_scan_code(uint16_t vk) { return us_layout_scan_code(vk); }

void input_sink_pause(uint32_t milliseconds) {
    trace("pause ms=%u\n", milliseconds);
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

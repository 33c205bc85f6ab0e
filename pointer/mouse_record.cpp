#include "pointer/mouse_record.h"

#include "platform/input_sink.h"

void send_mouse_record(uint32_t flags, uint32_t data) {
    input_record record{};
    record.type = RECORD_TYPE_MOUSE;
    record.mi.dwFlags = flags;
    record.mi.mouseData = data;
    input_sink_inject(record);
}

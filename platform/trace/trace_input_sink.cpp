#include <ctime>

#include "platform/input_sink.h"
#include "platform/trace/trace_output.h"
#include "platform/us_scan_codes.h"

// The dry-run input sink: every operation becomes one trace line, and nothing
// reaches a real pointer or keyboard.

namespace {

// One trace line, built by hand: a MOVE flood traces two lines per chunk, and
// the C library's formatting would cost more than the rest of the chunk.
struct trace_line {
    char text[96];
    size_t length;
};

void add_text(trace_line* line, const char* text) {
    while (*text != '\0' && line->length < sizeof line->text) line->text[line->length++] = *text++;
}

void add_unsigned(trace_line* line, uint32_t value, unsigned base, size_t min_digits) {
    char digits[16];
    size_t count = 0;
    do {
        digits[count++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);
    while (count < min_digits) digits[count++] = '0';
    while (count > 0 && line->length < sizeof line->text) line->text[line->length++] = digits[--count];
}

void add_signed(trace_line* line, int32_t value) {
    if (value < 0) add_text(line, "-");
    // Negated in unsigned arithmetic, so the lowest value has a magnitude too.
    add_unsigned(line, value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value), 10, 1);
}

void send_line(const trace_line& line) { trace_write(line.text, line.length); }

} // namespace

void input_sink_inject(const input_record& record) {
    trace_line line{{}, 0};
    if (record.type == RECORD_TYPE_MOUSE) {
        add_text(&line, "mouse flags=0x");
        add_unsigned(&line, record.mi.dwFlags, 16, 4);
        add_text(&line, " data=");
        add_signed(&line, static_cast<int32_t>(record.mi.mouseData));
    } else {
        add_text(&line, "key vk=");
        add_unsigned(&line, record.ki.wVk, 10, 1);
        add_text(&line, " scan=");
        add_unsigned(&line, record.ki.wScan, 10, 1);
        add_text(&line, " flags=");
        add_unsigned(&line, record.ki.dwFlags, 10, 1);
    }
    add_text(&line, "\n");
    send_line(line);
}

void input_sink_place_pointer(int32_t x, int32_t y) {
    trace_line line{{}, 0};
    add_text(&line, "place ");
    add_signed(&line, x);
    add_text(&line, " ");
    add_signed(&line, y);
    add_text(&line, "\n");
    send_line(line);
}

uint32_t input_sink_scan_code(uint16_t vk) { return us_layout_scan_code(vk); }

void input_sink_pause(uint32_t milliseconds) {
    trace_line line{{}, 0};
    add_text(&line, "pause ms=");
    add_unsigned(&line, milliseconds, 10, 1);
    add_text(&line, "\n");
    send_line(line);
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

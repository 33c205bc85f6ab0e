#include "control/command_reader.h"

#include <cstring>

#include "control/dispatch.h"
#include "pointer/pointer_commands.h"

namespace {

char read_buffer[READ_CHUNK_SIZE];
char line_buffer[LINE_CAPACITY + 1];
uint32_t line_length;

// Appends bytes to the line being assembled: carriage returns are dropped
// wherever they stand, and bytes past the line's capacity are lost.
void append_to_line(const char* bytes, const char* end) {
    while (bytes < end && line_length < LINE_CAPACITY) {
        const auto* cr = static_cast<const char*>(std::memchr(bytes, '\r', static_cast<size_t>(end - bytes)));
        const char* piece_end = cr != nullptr ? cr : end;
        size_t piece = static_cast<size_t>(piece_end - bytes);
        const size_t room = LINE_CAPACITY - line_length;
        if (piece > room) piece = room;
        std::memcpy(line_buffer + line_length, bytes, piece);
        line_length += static_cast<uint32_t>(piece);
        bytes = cr != nullptr ? cr + 1 : end;
    }
}

// Handles the line at its line feed; false after QUIT.
bool complete_line() {
    while (line_length > 0 && line_buffer[line_length - 1] == ' ') --line_length;
    if (line_length == 0) return true;
    line_buffer[line_length] = '\0';
    line_length = 0;
    return dispatch_line(line_buffer);
}

// A MOVE line that framing leaves a MOVE line: it starts a line and lies whole
// in the chunk, is not cut, and ends in a byte that trimming keeps, so dropping
// its carriage returns cannot make it anything else.
bool is_plain_move_line(const char* start, const char* lf) {
    const auto length = static_cast<size_t>(lf - start);
    return line_length == 0 && length > 5 && length <= LINE_CAPACITY && std::memcmp(start, "MOVE ", 5) == 0 &&
           lf[-1] != ' ' && lf[-1] != '\r';
}

// Of a run of MOVE lines only the last one whose numbers parse sets the
// pending placement, so the run [first, end) is framed and parsed from its last
// line backwards, and usually one line is parsed per run.
void settle_move_run(const char* first, const char* end) {
    const pending_move_state before = pending_move;
    const char* line_end = end - 1; // the line feed of the run's last line
    for (;;) {
        const char* start = line_end;
        while (start > first && start[-1] != '\n') --start;
        append_to_line(start, line_end);
        line_buffer[line_length] = '\0';
        line_length = 0;
        pending_move.pending = false;
        dispatch_line(line_buffer);
        if (pending_move.pending) return;
        if (start == first) break;
        line_end = start - 1;
    }
    pending_move = before;
}

} // namespace

bool handle_chunk(const char* bytes, uint32_t count) {
    pending_move = {false, 0, 0};
    const char* cursor = bytes;
    const char* const end = bytes + count;
    const char* move_run = nullptr; // the first of the MOVE lines not parsed yet
    while (cursor < end) {
        const auto* lf = static_cast<const char*>(std::memchr(cursor, '\n', static_cast<size_t>(end - cursor)));
        if (lf != nullptr && is_plain_move_line(cursor, lf)) {
            if (move_run == nullptr) move_run = cursor;
            cursor = lf + 1;
            continue;
        }
        if (move_run != nullptr) settle_move_run(move_run, cursor);
        move_run = nullptr;
        if (lf == nullptr) {
            append_to_line(cursor, end);
            break;
        }
        append_to_line(cursor, lf);
        cursor = lf + 1;
        if (!complete_line()) return false;
    }
    if (move_run != nullptr) settle_move_run(move_run, cursor);
    if (pending_move.pending) move_pointer(pending_move.x, pending_move.y);
    pending_move.pending = false;
    return true;
}

void reset_command_reader() {
    line_length = 0;
    pending_move = {false, 0, 0};
}

void run_command_reader(platform_handle input) {
    for (;;) {
        uint32_t count = 0;
        if (!platform_read(input, read_buffer, READ_CHUNK_SIZE, &count) || count == 0) return;
        if (!handle_chunk(read_buffer, count)) return;
    }
}

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

} // namespace

bool handle_chunk(const char* bytes, uint32_t count) {
    pending_move = {false, 0, 0};
    const char* cursor = bytes;
    const char* const end = bytes + count;
    while (cursor < end) {
        const auto* lf = static_cast<const char*>(std::memchr(cursor, '\n', static_cast<size_t>(end - cursor)));
        if (lf == nullptr) {
            append_to_line(cursor, end);
            break;
        }
        append_to_line(cursor, lf);
        cursor = lf + 1;
        if (!complete_line()) return false;
    }
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

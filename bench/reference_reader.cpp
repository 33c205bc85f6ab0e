// The physical limit of the control channel: read standard input in 4096-byte
// chunks, split lines, answer PING, nothing else. Whatever the real program
// costs beyond this is its own.
#include <cstring>
#include <unistd.h>

int main() {
    static const char READY[] = "BRASKELOT_WIN_INPUT_READY\r\n";
    if (write(1, READY, sizeof READY - 1) < 0) return 1;
    static char chunk[4096];
    static char carried[512];
    size_t carried_length = 0;
    for (;;) {
        const ssize_t got = read(0, chunk, sizeof chunk);
        if (got <= 0) return 0;
        const char* cursor = chunk;
        const char* const end = chunk + got;
        while (cursor < end) {
            const auto* lf = static_cast<const char*>(std::memchr(cursor, '\n', static_cast<size_t>(end - cursor)));
            const char* piece_end = lf != nullptr ? lf : end;
            const char* text = cursor;
            size_t length = static_cast<size_t>(piece_end - cursor);
            // Only a line that a read splits is copied; the rest is looked at in place.
            if (lf == nullptr || carried_length > 0) {
                const size_t room = sizeof carried - carried_length;
                const size_t kept = length < room ? length : room;
                std::memcpy(carried + carried_length, cursor, kept);
                carried_length += kept;
                if (lf == nullptr) break;
                text = carried;
                length = carried_length;
                carried_length = 0;
            }
            cursor = lf + 1;
            if (length >= 4 && std::memcmp(text, "PING", 4) == 0 && write(1, "PONG\r\n", 6) < 0) return 1;
        }
    }
}

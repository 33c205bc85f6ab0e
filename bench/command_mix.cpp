#include "bench/command_mix.h"

#include <cstdint>
#include <cstdio>

namespace {

// A small fixed-seed generator: the same text on every run and machine.
struct text_random {
    uint64_t state;
};

uint32_t next_number(text_random* random, uint32_t below) {
    random->state = random->state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>((random->state >> 33) % below);
}

void append_line(command_text* text, const char* line, int length) {
    text->bytes.append(line, static_cast<size_t>(length));
    ++text->lines;
}

} // namespace

command_text make_move_flood(size_t size) {
    command_text text{{}, 0, 0};
    text.bytes.reserve(size + 64);
    text_random random{1};
    char line[64];
    while (text.bytes.size() < size) {
        const int length =
            std::snprintf(line, sizeof line, "MOVE %u %u\n", next_number(&random, 3840), next_number(&random, 2160));
        append_line(&text, line, length);
    }
    return text;
}

command_text make_mixed_flood(size_t size) {
    command_text text{{}, 0, 0};
    text.bytes.reserve(size + 64);
    text_random random{2};
    char line[64];
    while (text.bytes.size() < size) {
        const uint32_t x = next_number(&random, 3840);
        const uint32_t y = next_number(&random, 2160);
        const uint32_t letter = 65 + next_number(&random, 26);
        int length = 0;
        switch (next_number(&random, 16)) {
        case 0:
        case 1:
        case 2: length = std::snprintf(line, sizeof line, "KEY_TAP %u %u\n", letter, next_number(&random, 16)); break;
        case 3: length = std::snprintf(line, sizeof line, "KEY_TAP 0 0 %u\n", 0xE0 + next_number(&random, 32)); break;
        case 4:
        case 5: {
            // A press and its release, the second with a chord mask that the
            // press put down.
            const uint32_t mods = next_number(&random, 16);
            length = std::snprintf(line, sizeof line, "KEY_DOWN %u %u\nKEY_UP %u %u\n", letter, mods, letter, mods);
            ++text.lines;
            break;
        }
        case 6:
        case 7:
        case 8: length = std::snprintf(line, sizeof line, "CLICK %u %u %u\n", x, y, next_number(&random, 3)); break;
        case 9:
        case 10:
            length = std::snprintf(line, sizeof line, "SCROLL %d %d\n", static_cast<int>(next_number(&random, 5)) - 2,
                                   static_cast<int>(next_number(&random, 481)) - 240);
            break;
        case 11:
        case 12:
        case 13: {
            const uint32_t button = next_number(&random, 3);
            length =
                std::snprintf(line, sizeof line, "DOWN %u %u %u\nUP %u %u %u\n", x, y, button, x + 40, y + 20, button);
            ++text.lines;
            break;
        }
        case 14:
            length = std::snprintf(line, sizeof line, "KEY_DOWN 16 0\nKEY_TAP %u 0\nKEY_UP 16 0\n", letter);
            text.lines += 2;
            break;
        default:
            length = std::snprintf(line, sizeof line, "RESET_KEYS\n");
            ++text.reply_lines;
            break;
        }
        append_line(&text, line, length);
    }
    return text;
}

#pragma once
#include <cstddef>
#include <string>

// Generated command text for the floods and the in-process benchmark. The
// numbers vary with a fixed seed, so every run sends the same bytes.

struct command_text {
    std::string bytes;
    size_t lines;
    size_t reply_lines; // lines that make the program answer on standard output
};

/// "MOVE x y" lines until the text holds at least `size` bytes.
command_text make_move_flood(size_t size);

/// Every command but MOVE, PING, QUIT and RESET, mixed: key taps with chords
/// and Unicode characters, key presses and releases in pairs, single clicks,
/// wheel turns, button presses and releases, and a RESET_KEYS now and then.
command_text make_mixed_flood(size_t size);

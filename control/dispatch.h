#pragma once
#include <cstdint>

/// The coalesced pointer placement of the current chunk: only the last
/// well-formed MOVE target of a run is placed, once.
struct pending_move_state {
    bool pending;
    int32_t x;
    int32_t y;
};

extern pending_move_state pending_move;

/// Handles one complete, non-empty, NUL-terminated line. Returns false only
/// after QUIT, when the reader must stop.
bool dispatch_line(const char* line);

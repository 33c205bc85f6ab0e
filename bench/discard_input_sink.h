#pragma once
#include <cstdint>

// What the discarding backend was asked to do, counted instead of done.
extern uint64_t discarded_records;
extern uint64_t discarded_placements;
extern uint64_t discarded_scan_lookups;
extern uint64_t discarded_pauses;

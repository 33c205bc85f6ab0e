#include "bench/discard_input_sink.h"

#include "platform/input_sink.h"
#include "platform/us_scan_codes.h"

// A backend that only counts: what the program costs with the platform's
// injection taken away.

uint64_t discarded_records;
uint64_t discarded_placements;
uint64_t discarded_scan_lookups;
uint64_t discarded_pauses;

void input_sink_inject(const input_record& /*record*/) { ++discarded_records; }

void input_sink_place_pointer(int32_t /*x*/, int32_t /*y*/) { ++discarded_placements; }

uint32_t input_sink_scan_code(uint16_t vk) {
    ++discarded_scan_lookups;
    // The same table look-up the dry-run program makes, so the work stays real.
    return us_layout_scan_code(vk);
}

// A multiple click would wait here; the benchmark counts the pause instead.
void input_sink_pause(uint32_t /*milliseconds*/) { ++discarded_pauses; }

#include <cstdio>
#include <unistd.h>

#include "bench/discard_input_sink.h"

namespace {

// Runs after main returns, so the driver learns how many events the run
// produced; the benchmark build alone writes this line to standard error.
__attribute__((destructor)) void report_discarded_counts() {
    char line[160];
    const int length = std::snprintf(
        line, sizeof line, "records=%llu placements=%llu scans=%llu pauses=%llu\n",
        static_cast<unsigned long long>(discarded_records), static_cast<unsigned long long>(discarded_placements),
        static_cast<unsigned long long>(discarded_scan_lookups), static_cast<unsigned long long>(discarded_pauses));
    if (length > 0 && write(STDERR_FILENO, line, static_cast<size_t>(length)) < 0) return;
}

} // namespace

// The resident set of braskelot_trace after MOVE floods of three sizes: its
// own memory must not grow with the input.
#include <cstdio>

#include "bench/measures.h"

void measure_memory(const options& settings, const move_flood_results& full, memory_results* results) {
    std::printf("\n[5] resident memory of braskelot_trace by MOVE flood size\n");
    const size_t sizes[] = {settings.flood_bytes / 100, settings.flood_bytes / 10};
    resident_figures by_size[3] = {{0, 0}, {0, 0}, full.flood[1].resident};
    for (int s = 0; s < 2; ++s) by_size[s] = run_flood(TRACE, make_move_flood(sizes[s])).resident;
    for (int s = 0; s < 3; ++s) {
        const size_t bytes = s < 2 ? sizes[s] : full.bytes;
        std::printf("  %6.1f MB  peak RSS %ld KiB, anonymous %ld KiB\n", static_cast<double>(bytes) / MEGABYTE,
                    by_size[s].peak_kib, by_size[s].anonymous_kib);
    }
    std::printf("  (the peak also counts shared library pages, which vary by a few pages from run to run)\n");
    results->anonymous_growth_kib = by_size[2].anonymous_kib - by_size[0].anonymous_kib;
}

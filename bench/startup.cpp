// posix_spawn to the last byte of the ready line, the programs alternating.
#include <cstdio>
#include <vector>

#include "bench/measures.h"

void measure_start_up(const options& settings, start_up_results* results) {
    std::printf("\n[4] start-up to the ready line, %d starts each, alternating\n", settings.starts);
    const program programs[2] = {REFERENCE, TRACE};
    std::vector<double> start_us[2];
    for (int start = 0; start < settings.starts; ++start) {
        for (int turn = 0; turn < 2; ++turn) {
            const int p = start % 2 == 0 ? turn : 1 - turn;
            const uint64_t begin = now_ns();
            child_process child = start_ready(programs[p]);
            const uint64_t ready = now_ns();
            finish_child(&child);
            start_us[p].push_back(static_cast<double>(ready - begin) / 1000);
        }
    }
    for (int p = 0; p < 2; ++p) {
        results->median_us[p] = median_of(start_us[p]);
        std::printf("  %-16s median %7.1f us\n", programs[p].name, results->median_us[p]);
    }
}

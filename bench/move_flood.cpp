// MOVE lines as fast as the pipe takes them: lines per second, CPU per line.
#include <cstdio>

#include "bench/measures.h"

void measure_move_flood(const options& settings, move_flood_results* results) {
    const command_text moves = make_move_flood(settings.flood_bytes);
    results->bytes = moves.bytes.size();
    std::printf("\n[2] MOVE flood, %.0f MB (%zu lines) in %zu-byte writes, %d rounds\n",
                static_cast<double>(moves.bytes.size()) / MEGABYTE, moves.lines, FLOOD_WRITE_SIZE, settings.rounds);
    const program programs[PROGRAMS] = {REFERENCE, TRACE, DISCARD};
    flood_figures* flood = results->flood;
    measure_flood(settings, moves, programs, flood, PROGRAMS);
    for (int p = 0; p < PROGRAMS; ++p) {
        std::printf("  %-16s %7.2f M lines/s  child CPU %6.1f ns/line  peak RSS %ld KiB (anonymous %ld KiB)\n",
                    programs[p].name, median_of(flood[p].lines_per_second) / 1e6, median_of(flood[p].cpu_ns_per_line),
                    flood[p].resident.peak_kib, flood[p].resident.anonymous_kib);
    }
    if (flood[1].reply_bytes != 0) std::printf("  WARNING: braskelot_trace answered a MOVE flood\n");
    std::printf("  (discard build: %llu placements and %llu records, one pair per chunk read)\n", flood[2].placements,
                flood[2].records);
}

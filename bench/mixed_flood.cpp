// Every other command through the discarding build: commands and events per
// second, with the RESET_KEYS replies drained and counted.
#include <cstdio>

#include "bench/measures.h"

namespace {

constexpr char RESET_KEYS_REPLY[] = "RESET_KEYS_OK\r\n";

} // namespace

void measure_mixed_flood(const options& settings, mixed_flood_results* results) {
    std::printf("\n[3] mixed flood of every other command through the discarding build\n");
    const command_text mixed = make_mixed_flood(settings.mixed_bytes);
    const program programs[2] = {DISCARD, REFERENCE};
    flood_figures* figures = results->figures;
    measure_flood(settings, mixed, programs, figures, 2);
    const double expected_replies = static_cast<double>(mixed.reply_lines) * (sizeof RESET_KEYS_REPLY - 1);
    std::printf("  %.0f MB, %zu commands, %zu RESET_KEYS; replies drained %zu bytes (%s)\n",
                static_cast<double>(mixed.bytes.size()) / MEGABYTE, mixed.lines, mixed.reply_lines,
                figures[0].reply_bytes,
                static_cast<double>(figures[0].reply_bytes) == expected_replies ? "all there" : "MISMATCH");
    std::printf("  %-16s %7.2f M commands/s  %7.2f M events/s  (%.2f events and %.2f placements per command)\n",
                "discard build", median_of(figures[0].lines_per_second) / 1e6,
                median_of(figures[0].records_per_second) / 1e6,
                static_cast<double>(figures[0].records) / static_cast<double>(mixed.lines),
                static_cast<double>(figures[0].placements) / static_cast<double>(mixed.lines));
    std::printf("  %-16s child CPU %.1f ns/command, of which the RESET_KEYS reply writes are a part\n", "",
                median_of(figures[0].cpu_ns_per_line));
    std::printf("  %-16s %7.2f M lines/s over the same bytes, child CPU %.1f ns/line\n", "reference",
                median_of(figures[1].lines_per_second) / 1e6, median_of(figures[1].cpu_ns_per_line));
}

// The closing table: each measure, its reference, the ratio and the goal.
#include <cstdio>
#include <string>

#include "bench/dispatch_bench.h"
#include "bench/measures.h"

namespace {

void print_round_trip_rows(const round_trip_results& results) {
    for (int w = 0; w < results.placements; ++w) {
        const auto& ref = results.latency[w][0].samples_ns;
        const auto& ours = results.latency[w][1].samples_ns;
        const std::string median_name = std::string("round trip median, ") + placement_name(results.where[w]);
        const std::string p99_name = std::string("round trip p99, ") + placement_name(results.where[w]);
        const double median_ref = percentile_of(ref, 0.5) / 1000;
        const double median_ours = percentile_of(ours, 0.5) / 1000;
        print_row(median_name.c_str(), median_ref, median_ours, "us", median_ours / median_ref, "<= 1.10",
                  median_ours / median_ref <= 1.10);
        const double p99_ref = percentile_of(ref, 0.99) / 1000;
        const double p99_ours = percentile_of(ours, 0.99) / 1000;
        print_row(p99_name.c_str(), p99_ref, p99_ours, "us", p99_ours / p99_ref, "-", true);
        // The discarding build writes no trace line per reply: the program's own share.
        const double median_discard = percentile_of(results.latency[w][2].samples_ns, 0.5) / 1000;
        print_row("  median, discard build", median_ref, median_discard, "us", median_discard / median_ref, "-", true);
    }
}

} // namespace

void print_summary(const bench_results& results, double seconds) {
    const flood_figures* flood = results.move_flood.flood;
    const flood_figures* mixed = results.mixed_flood.figures;
    const double flood_ref = median_of(flood[0].lines_per_second) / 1e6;
    const double flood_ours = median_of(flood[1].lines_per_second) / 1e6;
    const double start_ref = results.start_up.median_us[0];
    const double start_ours = results.start_up.median_us[1];
    const long anonymous_growth = results.memory.anonymous_growth_kib;

    std::printf("\nSummary (%.0f s)\n", seconds);
    print_load("after");
    std::printf("%-34s %12s %12s %-8s %8s  %-8s\n", "measure", "reference", "ours", "unit", "ratio", "goal");
    print_round_trip_rows(results.round_trip);
    print_row("MOVE flood", flood_ref, flood_ours, "M/s", flood_ours / flood_ref, ">= 0.80",
              flood_ours / flood_ref >= 0.80);
    print_row("start-up to ready line", start_ref, start_ours, "us", start_ours / start_ref, "<= 1.30",
              start_ours / start_ref <= 1.30);
    print_row("peak RSS, full MOVE flood", static_cast<double>(flood[0].resident.peak_kib),
              static_cast<double>(flood[1].resident.peak_kib), "KiB",
              static_cast<double>(flood[1].resident.peak_kib) / static_cast<double>(flood[0].resident.peak_kib), "-",
              true);
    std::printf("%-34s %12s %12ld %-8s %8s  %-8s %s\n", "anonymous memory growth, x100", "-", anonymous_growth, "KiB",
                "-", "flat", verdict(anonymous_growth <= 8));
    std::printf("%-34s %12.2f %12.2f %-8s %7.3fx\n", "mixed flood (ref: lines/s)",
                median_of(mixed[1].lines_per_second) / 1e6, median_of(mixed[0].lines_per_second) / 1e6, "M cmd/s",
                median_of(mixed[0].lines_per_second) / median_of(mixed[1].lines_per_second));
    std::printf("%-34s %12s %12.2f %-8s\n", "mixed flood events", "-", median_of(mixed[0].records_per_second) / 1e6,
                "M/s");
    if (results.in_process != nullptr) {
        std::printf("%-34s %12s %12.1f %-8s\n", "in-process, mixed command", "-",
                    results.in_process->mixed_ns_per_command, "ns/cmd");
        std::printf("%-34s %12s %12.1f %-8s\n", "in-process, MOVE line", "-", results.in_process->move_ns_per_line,
                    "ns/line");
    }
}

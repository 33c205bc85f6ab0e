// Runs the dry-run program and the reference reader side by side through real
// pipes, then the dispatcher in-process, and prints medians and ratios. Each
// measure lives in its own file; this runs them in order.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/dispatch_bench.h"
#include "bench/measures.h"

namespace {

bool parse_options(int* argc, char** argv, options* settings) {
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--quick") {
            settings->rounds = 3;
            settings->round_trips = 30000;
            settings->starts = 60;
            settings->flood_bytes = 20 * 1000 * 1000;
            settings->mixed_bytes = 8 * 1000 * 1000;
        } else if (flag == "--rounds" && i + 1 < *argc) {
            settings->rounds = std::max(1, std::atoi(argv[++i]));
        } else if (flag == "--help") {
            std::printf("usage: braskelot_bench [--quick] [--rounds N] [Google Benchmark flags]\n");
            return false;
        } else {
            argv[kept++] = argv[i]; // left for Google Benchmark
        }
    }
    *argc = kept;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    options settings;
    if (!parse_options(&argc, argv, &settings)) return 0;
    // A child that dies must fail its measure, not kill the driver.
    std::signal(SIGPIPE, SIG_IGN);
    const uint64_t began = now_ns();
    print_machine();
    print_load("before");

    bench_results results{};
    measure_round_trip(settings, &results.round_trip);
    measure_move_flood(settings, &results.move_flood);
    measure_mixed_flood(settings, &results.mixed_flood);
    measure_start_up(settings, &results.start_up);
    measure_memory(settings, results.move_flood, &results.memory);

    std::printf("\n[6] reader and dispatcher in-process (Google Benchmark, discarding backend)\n");
    std::fflush(stdout);
    dispatch_figures in_process{};
    results.in_process = run_dispatch_benchmarks(argc, argv, &in_process) ? &in_process : nullptr;

    print_summary(results, static_cast<double>(now_ns() - began) / 1e9);
    return 0;
}

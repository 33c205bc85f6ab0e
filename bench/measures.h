#pragma once
#include <cstdint>
#include <vector>

#include "bench/bench_support.h"
#include "bench/command_mix.h"

// The measures the driver runs in order, one file each. Each prints its own
// section and keeps what the summary needs.

constexpr int PROGRAMS = 3; // reference, braskelot_trace, discard build

// round_trip.cpp
struct latency_figures {
    std::vector<uint32_t> samples_ns; // sorted
    std::vector<double> round_medians_us;
};

struct round_trip_results {
    int placements; // 1 on a single core, else same core and separate cores
    placement where[2];
    latency_figures latency[2][PROGRAMS];
};

void measure_round_trip(const options& settings, round_trip_results* results);

// flood.cpp: one flood written to a program, timed to the end of the child.
struct flood_figures {
    std::vector<double> lines_per_second;
    std::vector<double> cpu_ns_per_line;
    std::vector<double> records_per_second;
    resident_figures resident{0, 0};
    size_t reply_bytes = 0;
    unsigned long long records = 0;
    unsigned long long placements = 0;
};

struct flood_run {
    double seconds;
    double cpu_seconds;
    resident_figures resident;
    size_t reply_bytes;
    unsigned long long records;
    unsigned long long placements;
};

flood_run run_flood(const program& which, const command_text& text);

/// Rounds of the same text through each program, taking turns.
void measure_flood(const options& settings, const command_text& text, const program* programs, flood_figures* figures,
                   int count);

// move_flood.cpp
struct move_flood_results {
    size_t bytes;
    flood_figures flood[PROGRAMS];
};

void measure_move_flood(const options& settings, move_flood_results* results);

// mixed_flood.cpp: index 0 the discard build, 1 the reference reader.
struct mixed_flood_results {
    flood_figures figures[2];
};

void measure_mixed_flood(const options& settings, mixed_flood_results* results);

// startup.cpp: index 0 the reference reader, 1 braskelot_trace.
struct start_up_results {
    double median_us[2];
};

void measure_start_up(const options& settings, start_up_results* results);

// memory.cpp: braskelot_trace at 1/100 and 1/10 of the MOVE flood, and the full flood.
struct memory_results {
    long anonymous_growth_kib;
};

void measure_memory(const options& settings, const move_flood_results& full, memory_results* results);

// summary.cpp: every measure against its reference and goal.
struct dispatch_figures;
struct bench_results {
    round_trip_results round_trip;
    move_flood_results move_flood;
    mixed_flood_results mixed_flood;
    start_up_results start_up;
    memory_results memory;
    const dispatch_figures* in_process; // null when Google Benchmark's cases did not run
};

void print_summary(const bench_results& results, double seconds);

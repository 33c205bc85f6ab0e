// PING→PONG round trips, every program kept running and taking turns in blocks.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "bench/measures.h"

namespace {

constexpr char PING_LINE[] = "PING\n";
constexpr char PONG_LINE[] = "PONG\r\n";

void ping_block(const program& which, const child_process& child, int count, std::vector<uint32_t>* samples) {
    char reply[sizeof PONG_LINE];
    for (int i = 0; i < count; ++i) {
        const uint64_t start = now_ns();
        if (!write_all(child.input, PING_LINE, sizeof PING_LINE - 1)) fail("PING write", which);
        size_t have = 0;
        while (have < sizeof PONG_LINE - 1) {
            const ssize_t n = read(child.output, reply + have, sizeof PONG_LINE - 1 - have);
            if (n <= 0) fail("PONG read", which);
            have += static_cast<size_t>(n);
        }
        const uint64_t end = now_ns();
        if (std::memcmp(reply, PONG_LINE, sizeof PONG_LINE - 1) != 0) fail("PONG check", which);
        if (samples != nullptr) samples->push_back(static_cast<uint32_t>(end - start));
    }
}

// Both programs stay up for the whole measure and take turns in blocks, so a
// drift of the machine falls on both alike.
void measure_placement(const options& settings, placement where, const program* programs, latency_figures* figures,
                       int count) {
    place_driver(where);
    std::vector<child_process> children;
    for (int p = 0; p < count; ++p) {
        children.push_back(start_ready(programs[p]));
        place_child(where, children.back());
        ping_block(programs[p], children.back(), 2000, nullptr);
    }
    const int blocks = settings.rounds * 2;
    const int per_block = settings.round_trips / blocks;
    for (int block = 0; block < blocks; ++block) {
        for (int turn = 0; turn < count; ++turn) {
            const int p = block % 2 == 0 ? turn : count - 1 - turn;
            std::vector<uint32_t> samples;
            samples.reserve(static_cast<size_t>(per_block));
            ping_block(programs[p], children[static_cast<size_t>(p)], per_block, &samples);
            figures[p].samples_ns.insert(figures[p].samples_ns.end(), samples.begin(), samples.end());
            std::sort(samples.begin(), samples.end());
            figures[p].round_medians_us.push_back(percentile_of(samples, 0.5) / 1000);
        }
    }
    for (int p = 0; p < count; ++p) {
        finish_child(&children[static_cast<size_t>(p)]);
        if (children[static_cast<size_t>(p)].errors >= 0) close(children[static_cast<size_t>(p)].errors);
        std::sort(figures[p].samples_ns.begin(), figures[p].samples_ns.end());
    }
    place_driver(placement::free);
}

} // namespace

void measure_round_trip(const options& settings, round_trip_results* results) {
    std::printf("\n[1] PING/PONG round trip, %d round trips each in %d alternating blocks\n", settings.round_trips,
                settings.rounds * 2);
    const program programs[PROGRAMS] = {REFERENCE, TRACE, DISCARD};
    results->where[0] = placement::same_core;
    results->where[1] = placement::split_cores;
    results->placements = sysconf(_SC_NPROCESSORS_ONLN) > 1 ? 2 : 1;
    for (int w = 0; w < results->placements; ++w) {
        measure_placement(settings, results->where[w], programs, results->latency[w], PROGRAMS);
        for (int p = 0; p < PROGRAMS; ++p) {
            const auto& samples = results->latency[w][p].samples_ns;
            const auto& blocks = results->latency[w][p].round_medians_us;
            std::printf("  %-15s %-16s median %7.2f us  p99 %7.2f us  p99.9 %7.2f us  block medians %.2f..%.2f us\n",
                        placement_name(results->where[w]), programs[p].name, percentile_of(samples, 0.5) / 1000,
                        percentile_of(samples, 0.99) / 1000, percentile_of(samples, 0.999) / 1000,
                        *std::min_element(blocks.begin(), blocks.end()),
                        *std::max_element(blocks.begin(), blocks.end()));
        }
    }
}

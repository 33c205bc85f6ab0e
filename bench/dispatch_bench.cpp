#include "bench/dispatch_bench.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/command_mix.h"
#include "bench/discard_input_sink.h"
#include "control/command_reader.h"
#include "reset/release_all.h"

namespace {

constexpr size_t TEXT_SIZE = 1 << 20;

// Feeds the text in the reader's own chunk size, so lines split across chunks
// cost what they cost in the running program.
void feed_text(benchmark::State& state, const command_text& text) {
    reset_command_reader();
    release_all_input();
    const uint64_t records_before = discarded_records;
    for (auto _ : state) {
        const char* bytes = text.bytes.data();
        size_t left = text.bytes.size();
        while (left > 0) {
            const auto piece = static_cast<uint32_t>(left < READ_CHUNK_SIZE ? left : READ_CHUNK_SIZE);
            benchmark::DoNotOptimize(handle_chunk(bytes, piece));
            bytes += piece;
            left -= piece;
        }
    }
    const auto lines = static_cast<int64_t>(text.lines);
    state.SetItemsProcessed(state.iterations() * lines);
    state.counters["records_per_line"] = static_cast<double>(discarded_records - records_before) /
                                         (static_cast<double>(state.iterations()) * static_cast<double>(lines));
}

void dispatch_mixed(benchmark::State& state) {
    static const command_text text = make_mixed_flood(TEXT_SIZE);
    feed_text(state, text);
}

void dispatch_move(benchmark::State& state) {
    static const command_text text = make_move_flood(TEXT_SIZE);
    feed_text(state, text);
}

// Keeps each result for the summary as well as printing it.
class keeping_reporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) kept.push_back(run);
        ConsoleReporter::ReportRuns(runs);
    }
    std::vector<Run> kept;
};

double counter_of(const benchmark::BenchmarkReporter::Run& run, const char* name) {
    const auto found = run.counters.find(name);
    return found == run.counters.end() ? 0.0 : found->second.value;
}

} // namespace

bool run_dispatch_benchmarks(int argc, char** argv, dispatch_figures* figures) {
    benchmark::RegisterBenchmark("dispatch/mixed_commands", dispatch_mixed);
    benchmark::RegisterBenchmark("dispatch/move_lines", dispatch_move);
    benchmark::Initialize(&argc, argv);
    keeping_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bool mixed_seen = false;
    bool move_seen = false;
    for (const auto& run : reporter.kept) {
        const double per_second = counter_of(run, "items_per_second");
        if (per_second <= 0) continue;
        const std::string name = run.benchmark_name();
        if (name == "dispatch/mixed_commands") {
            figures->mixed_ns_per_command = 1e9 / per_second;
            figures->mixed_records_per_command = counter_of(run, "records_per_line");
            mixed_seen = true;
        } else if (name == "dispatch/move_lines") {
            figures->move_ns_per_line = 1e9 / per_second;
            move_seen = true;
        }
    }
    return mixed_seen && move_seen;
}

// Runs the dry-run program and the reference reader side by side through real
// pipes, then the dispatcher in-process, and prints medians and ratios.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/child_process.h"
#include "bench/command_mix.h"
#include "bench/dispatch_bench.h"

namespace {

struct program {
    const char* name;
    const char* path;
    bool reports_counts; // the discarding build tells its event counts on stderr
};

const program REFERENCE = {"reference", BRASKELOT_REFERENCE_PATH, false};
const program TRACE = {"braskelot_trace", BRASKELOT_TRACE_PATH, false};
const program DISCARD = {"discard build", BRASKELOT_DISCARD_PATH, true};

constexpr size_t FLOOD_WRITE_SIZE = 64 * 1024;
constexpr char PING_LINE[] = "PING\n";
constexpr char PONG_LINE[] = "PONG\r\n";
constexpr char RESET_KEYS_REPLY[] = "RESET_KEYS_OK\r\n";
constexpr double MEGABYTE = 1e6;

struct options {
    int rounds = 5;
    int round_trips = 100000;
    int starts = 200;
    size_t flood_bytes = 100 * 1000 * 1000;
    size_t mixed_bytes = 32 * 1000 * 1000;
};

uint64_t now_ns() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

double median_of(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Nearest-rank percentile of sorted samples.
double percentile_of(const std::vector<uint32_t>& sorted, double fraction) {
    if (sorted.empty()) return 0;
    size_t rank = static_cast<size_t>(fraction * static_cast<double>(sorted.size()) + 0.999999);
    rank = std::min(std::max<size_t>(rank, 1), sorted.size());
    return sorted[rank - 1];
}

[[noreturn]] void fail(const char* what, const program& which) {
    std::fprintf(stderr, "bench: %s failed for %s (%s)\n", what, which.name, which.path);
    std::exit(1);
}

child_process start_ready(const program& which) {
    child_process child{};
    if (!start_child(which.path, which.reports_counts, &child)) fail("start", which);
    if (!read_ready_line(child)) fail("ready line", which);
    return child;
}

std::string read_everything(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return text;
        text.append(buffer, static_cast<size_t>(n));
    }
}

double cpu_seconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Where the driver and the child run. A round trip costs about ten times more
// when the reply must wake the other core of this virtual machine, and the
// scheduler picks either at will, so each placement is measured on its own.
enum class placement { same_core, split_cores, free };

const char* placement_name(placement where) {
    switch (where) {
    case placement::same_core: return "same core";
    case placement::split_cores: return "separate cores";
    default: return "unpinned";
    }
}

void pin(pid_t pid, int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (cpu >= 0) {
        CPU_SET(static_cast<size_t>(cpu), &set);
    } else {
        const auto cpus = static_cast<size_t>(sysconf(_SC_NPROCESSORS_ONLN));
        for (size_t c = 0; c < cpus; ++c) CPU_SET(c, &set);
    }
    sched_setaffinity(pid, sizeof set, &set);
}

void place_driver(placement where) { pin(0, where == placement::free ? -1 : 0); }

void place_child(placement where, const child_process& child) {
    if (where == placement::free) return;
    pin(child.pid, where == placement::same_core ? 0 : 1);
}

// ---- Round trip -------------------------------------------------------------

struct latency_figures {
    std::vector<uint32_t> samples_ns;
    std::vector<double> round_medians_us;
};

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
void measure_round_trips(const options& settings, placement where, const program* programs, latency_figures* figures,
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

// The child's own peak resident set. Its ru_maxrss from wait4 cannot serve:
// Linux carries the high-water mark of the memory it replaced at exec into
// it, and that memory is the driver's, flood text and all.
struct resident_figures {
    long peak_kib;      // VmHWM
    long anonymous_kib; // RssAnon: the program's own memory, no library pages
};

resident_figures resident_of(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", static_cast<int>(pid));
    FILE* status = std::fopen(path, "r");
    if (status == nullptr) return {-1, -1};
    resident_figures figures{-1, -1};
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        std::sscanf(line, "VmHWM: %ld kB", &figures.peak_kib);
        std::sscanf(line, "RssAnon: %ld kB", &figures.anonymous_kib);
    }
    std::fclose(status);
    return figures;
}

// ---- Floods -----------------------------------------------------------------

struct flood_run {
    double seconds;
    double cpu_seconds;
    resident_figures resident;
    size_t reply_bytes;
    unsigned long long records;
    unsigned long long placements;
};

// Times from the first byte written to the end of the child, whose standard
// output is drained meanwhile so that a reply can never stall it.
flood_run run_flood(const program& which, const command_text& text) {
    child_process child = start_ready(which);
    std::string replies;
    std::thread drain([&] { replies = read_everything(child.output); });
    const uint64_t start = now_ns();
    for (size_t offset = 0; offset < text.bytes.size(); offset += FLOOD_WRITE_SIZE) {
        const size_t piece = std::min(FLOOD_WRITE_SIZE, text.bytes.size() - offset);
        if (!write_all(child.input, text.bytes.data() + offset, piece)) fail("flood write", which);
    }
    // Read while the child still runs: at most one pipe's worth is left unread.
    const resident_figures resident = resident_of(child.pid);
    close(child.input);
    child.input = -1;
    drain.join();
    const child_exit ended = finish_child(&child);
    const uint64_t end = now_ns();
    if (!WIFEXITED(ended.status) || WEXITSTATUS(ended.status) != 0) fail("clean exit", which);
    flood_run run{static_cast<double>(end - start) / 1e9, cpu_seconds(ended.usage), resident, replies.size(), 0, 0};
    if (which.reports_counts) {
        const std::string report = read_everything(child.errors);
        close(child.errors);
        if (std::sscanf(report.c_str(), "records=%llu placements=%llu", &run.records, &run.placements) != 2) {
            fail("event count report", which);
        }
    }
    return run;
}

struct flood_figures {
    std::vector<double> lines_per_second;
    std::vector<double> cpu_ns_per_line;
    std::vector<double> records_per_second;
    resident_figures resident{0, 0};
    size_t reply_bytes = 0;
    unsigned long long records = 0;
    unsigned long long placements = 0;
};

void measure_flood(const options& settings, const command_text& text, const program* programs, flood_figures* figures,
                   int count) {
    for (int round = 0; round < settings.rounds; ++round) {
        for (int turn = 0; turn < count; ++turn) {
            const int p = (round + turn) % count;
            const flood_run run = run_flood(programs[p], text);
            const double lines = static_cast<double>(text.lines);
            figures[p].lines_per_second.push_back(lines / run.seconds);
            figures[p].cpu_ns_per_line.push_back(run.cpu_seconds * 1e9 / lines);
            figures[p].records_per_second.push_back(static_cast<double>(run.records) / run.seconds);
            figures[p].resident.peak_kib = std::max(figures[p].resident.peak_kib, run.resident.peak_kib);
            figures[p].resident.anonymous_kib = std::max(figures[p].resident.anonymous_kib, run.resident.anonymous_kib);
            figures[p].reply_bytes = run.reply_bytes;
            figures[p].records = run.records;
            figures[p].placements = run.placements;
        }
    }
}

// ---- Start-up ---------------------------------------------------------------

void measure_start_up(const options& settings, const program* programs, std::vector<double>* start_us, int count) {
    for (int start = 0; start < settings.starts; ++start) {
        for (int turn = 0; turn < count; ++turn) {
            const int p = start % 2 == 0 ? turn : count - 1 - turn;
            const uint64_t begin = now_ns();
            child_process child = start_ready(programs[p]);
            const uint64_t ready = now_ns();
            finish_child(&child);
            start_us[p].push_back(static_cast<double>(ready - begin) / 1000);
        }
    }
}

// ---- Report -----------------------------------------------------------------

void print_machine() {
    std::printf("machine: %ld cores; ", sysconf(_SC_NPROCESSORS_ONLN));
    if (FILE* cpu = popen("lscpu | sed -n 's/^Model name: *//p'; uname -r", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, cpu) != nullptr) {
            line[std::strcspn(line, "\n")] = '\0';
            std::printf("%s; ", line);
        }
        pclose(cpu);
    }
    std::printf("\n");
}

// Other work on the machine shows in every figure; say how much there was.
void print_load(const char* when) {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) == 3) std::printf("load average %s: %.2f %.2f %.2f\n", when, load[0], load[1], load[2]);
}

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

void print_row(const char* measure, double reference, double ours, const char* unit, double ratio, const char* goal,
               bool met) {
    std::printf("%-34s %12.2f %12.2f %-8s %7.3fx  %-8s %s\n", measure, reference, ours, unit, ratio, goal,
                verdict(met));
}

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

    std::printf("\n[1] PING/PONG round trip, %d round trips each in %d alternating blocks\n", settings.round_trips,
                settings.rounds * 2);
    const program latency_programs[] = {REFERENCE, TRACE, DISCARD};
    const placement placements[] = {placement::same_core, placement::split_cores};
    const int placement_count = sysconf(_SC_NPROCESSORS_ONLN) > 1 ? 2 : 1;
    latency_figures latency[2][3];
    for (int w = 0; w < placement_count; ++w) {
        measure_round_trips(settings, placements[w], latency_programs, latency[w], 3);
        for (int p = 0; p < 3; ++p) {
            const auto& samples = latency[w][p].samples_ns;
            const auto& blocks = latency[w][p].round_medians_us;
            std::printf("  %-15s %-16s median %7.2f us  p99 %7.2f us  p99.9 %7.2f us  block medians %.2f..%.2f us\n",
                        placement_name(placements[w]), latency_programs[p].name, percentile_of(samples, 0.5) / 1000,
                        percentile_of(samples, 0.99) / 1000, percentile_of(samples, 0.999) / 1000,
                        *std::min_element(blocks.begin(), blocks.end()),
                        *std::max_element(blocks.begin(), blocks.end()));
        }
    }

    const command_text moves = make_move_flood(settings.flood_bytes);
    std::printf("\n[2] MOVE flood, %.0f MB (%zu lines) in %zu-byte writes, %d rounds\n",
                static_cast<double>(moves.bytes.size()) / MEGABYTE, moves.lines, FLOOD_WRITE_SIZE, settings.rounds);
    const program flood_programs[] = {REFERENCE, TRACE, DISCARD};
    flood_figures flood[3];
    measure_flood(settings, moves, flood_programs, flood, 3);
    for (int p = 0; p < 3; ++p) {
        std::printf("  %-16s %7.2f M lines/s  child CPU %6.1f ns/line  peak RSS %ld KiB (anonymous %ld KiB)\n",
                    flood_programs[p].name, median_of(flood[p].lines_per_second) / 1e6,
                    median_of(flood[p].cpu_ns_per_line), flood[p].resident.peak_kib, flood[p].resident.anonymous_kib);
    }
    if (flood[1].reply_bytes != 0) std::printf("  WARNING: braskelot_trace answered a MOVE flood\n");
    std::printf("  (discard build: %llu placements and %llu records, one pair per chunk read)\n", flood[2].placements,
                flood[2].records);
    std::printf("\n[3] mixed flood of every other command through the discarding build\n");
    const command_text mixed = make_mixed_flood(settings.mixed_bytes);
    const program mixed_programs[] = {DISCARD, REFERENCE};
    flood_figures mixed_figures[2];
    measure_flood(settings, mixed, mixed_programs, mixed_figures, 2);
    const double expected_replies = static_cast<double>(mixed.reply_lines) * (sizeof RESET_KEYS_REPLY - 1);
    std::printf("  %.0f MB, %zu commands, %zu RESET_KEYS; replies drained %zu bytes (%s)\n",
                static_cast<double>(mixed.bytes.size()) / MEGABYTE, mixed.lines, mixed.reply_lines,
                mixed_figures[0].reply_bytes,
                static_cast<double>(mixed_figures[0].reply_bytes) == expected_replies ? "all there" : "MISMATCH");
    std::printf("  %-16s %7.2f M commands/s  %7.2f M events/s  (%.2f events and %.2f placements per command)\n",
                "discard build", median_of(mixed_figures[0].lines_per_second) / 1e6,
                median_of(mixed_figures[0].records_per_second) / 1e6,
                static_cast<double>(mixed_figures[0].records) / static_cast<double>(mixed.lines),
                static_cast<double>(mixed_figures[0].placements) / static_cast<double>(mixed.lines));
    std::printf("  %-16s child CPU %.1f ns/command, of which the RESET_KEYS reply writes are a part\n", "",
                median_of(mixed_figures[0].cpu_ns_per_line));
    std::printf("  %-16s %7.2f M lines/s over the same bytes, child CPU %.1f ns/line\n", "reference",
                median_of(mixed_figures[1].lines_per_second) / 1e6, median_of(mixed_figures[1].cpu_ns_per_line));

    std::printf("\n[4] start-up to the ready line, %d starts each, alternating\n", settings.starts);
    std::vector<double> start_us[2];
    measure_start_up(settings, latency_programs, start_us, 2);
    for (int p = 0; p < 2; ++p) {
        std::printf("  %-16s median %7.1f us\n", latency_programs[p].name, median_of(start_us[p]));
    }

    std::printf("\n[5] resident memory of braskelot_trace by MOVE flood size\n");
    const size_t sizes[] = {settings.flood_bytes / 100, settings.flood_bytes / 10};
    resident_figures by_size[3] = {{0, 0}, {0, 0}, flood[1].resident};
    for (int s = 0; s < 2; ++s) by_size[s] = run_flood(TRACE, make_move_flood(sizes[s])).resident;
    for (int s = 0; s < 3; ++s) {
        const size_t bytes = s < 2 ? sizes[s] : moves.bytes.size();
        std::printf("  %6.1f MB  peak RSS %ld KiB, anonymous %ld KiB\n", static_cast<double>(bytes) / MEGABYTE,
                    by_size[s].peak_kib, by_size[s].anonymous_kib);
    }
    std::printf("  (the peak also counts shared library pages, which vary by a few pages from run to run)\n");

    std::printf("\n[6] reader and dispatcher in-process (Google Benchmark, discarding backend)\n");
    std::fflush(stdout);
    dispatch_figures in_process{};
    const bool in_process_ran = run_dispatch_benchmarks(argc, argv, &in_process);

    const double flood_ref = median_of(flood[0].lines_per_second) / 1e6;
    const double flood_ours = median_of(flood[1].lines_per_second) / 1e6;
    const double start_ref = median_of(start_us[0]);
    const double start_ours = median_of(start_us[1]);
    const long anonymous_growth = by_size[2].anonymous_kib - by_size[0].anonymous_kib;

    std::printf("\nSummary (%.0f s)\n", static_cast<double>(now_ns() - began) / 1e9);
    print_load("after");
    std::printf("%-34s %12s %12s %-8s %8s  %-8s\n", "measure", "reference", "ours", "unit", "ratio", "goal");
    for (int w = 0; w < placement_count; ++w) {
        const auto& ref = latency[w][0].samples_ns;
        const auto& ours = latency[w][1].samples_ns;
        const std::string median_name = std::string("round trip median, ") + placement_name(placements[w]);
        const std::string p99_name = std::string("round trip p99, ") + placement_name(placements[w]);
        const double median_ref = percentile_of(ref, 0.5) / 1000;
        const double median_ours = percentile_of(ours, 0.5) / 1000;
        print_row(median_name.c_str(), median_ref, median_ours, "us", median_ours / median_ref, "<= 1.10",
                  median_ours / median_ref <= 1.10);
        const double p99_ref = percentile_of(ref, 0.99) / 1000;
        const double p99_ours = percentile_of(ours, 0.99) / 1000;
        print_row(p99_name.c_str(), p99_ref, p99_ours, "us", p99_ours / p99_ref, "-", true);
        // The discarding build writes no trace line per reply: the program's own share.
        const double median_discard = percentile_of(latency[w][2].samples_ns, 0.5) / 1000;
        const std::string discard_name = "  median, discard build";
        print_row(discard_name.c_str(), median_ref, median_discard, "us", median_discard / median_ref, "-", true);
    }
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
                median_of(mixed_figures[1].lines_per_second) / 1e6, median_of(mixed_figures[0].lines_per_second) / 1e6,
                "M cmd/s", median_of(mixed_figures[0].lines_per_second) / median_of(mixed_figures[1].lines_per_second));
    std::printf("%-34s %12s %12.2f %-8s\n", "mixed flood events", "-",
                median_of(mixed_figures[0].records_per_second) / 1e6, "M/s");
    if (in_process_ran) {
        std::printf("%-34s %12s %12.1f %-8s\n", "in-process, mixed command", "-", in_process.mixed_ns_per_command,
                    "ns/cmd");
        std::printf("%-34s %12s %12.1f %-8s\n", "in-process, MOVE line", "-", in_process.move_ns_per_line, "ns/line");
    }
    return 0;
}

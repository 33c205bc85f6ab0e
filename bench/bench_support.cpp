#include "bench/bench_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <unistd.h>

const program REFERENCE = {"reference", BRASKELOT_REFERENCE_PATH, false};
const program TRACE = {"braskelot_trace", BRASKELOT_TRACE_PATH, false};
const program DISCARD = {"discard build", BRASKELOT_DISCARD_PATH, true};

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

double percentile_of(const std::vector<uint32_t>& sorted, double fraction) {
    if (sorted.empty()) return 0;
    size_t rank = static_cast<size_t>(fraction * static_cast<double>(sorted.size()) + 0.999999);
    rank = std::min(std::max<size_t>(rank, 1), sorted.size());
    return sorted[rank - 1];
}

void fail(const char* what, const program& which) {
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

const char* placement_name(placement where) {
    switch (where) {
    case placement::same_core: return "same core";
    case placement::split_cores: return "separate cores";
    default: return "unpinned";
    }
}

namespace {

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

} // namespace

void place_driver(placement where) { pin(0, where == placement::free ? -1 : 0); }

void place_child(placement where, const child_process& child) {
    if (where == placement::free) return;
    pin(child.pid, where == placement::same_core ? 0 : 1);
}

// Its ru_maxrss from wait4 cannot serve: Linux carries the high-water mark of
// the memory it replaced at exec into it, and that memory is the driver's,
// flood text and all.
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

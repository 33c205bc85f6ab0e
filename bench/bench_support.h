#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

#include "bench/child_process.h"

// What every measure of the driver shares: the programs, the sizes, timing,
// statistics, child processes, CPU placement and the summary's row format.

struct program {
    const char* name;
    const char* path;
    bool reports_counts; // the discarding build tells its event counts on stderr
};

extern const program REFERENCE;
extern const program TRACE;
extern const program DISCARD;

constexpr size_t FLOOD_WRITE_SIZE = 64 * 1024;
constexpr double MEGABYTE = 1e6;

struct options {
    int rounds = 5;
    int round_trips = 100000;
    int starts = 200;
    size_t flood_bytes = 100 * 1000 * 1000;
    size_t mixed_bytes = 32 * 1000 * 1000;
};

uint64_t now_ns();

double median_of(std::vector<double> values);

/// Nearest-rank percentile of sorted samples.
double percentile_of(const std::vector<uint32_t>& sorted, double fraction);

/// Names the step and the program on stderr and ends the driver.
[[noreturn]] void fail(const char* what, const program& which);

/// Starts the program and reads its ready line; fails the driver otherwise.
child_process start_ready(const program& which);

/// Everything up to the end of the stream.
std::string read_everything(int fd);

double cpu_seconds(const rusage& usage);

// Where the driver and the child run. A round trip costs about ten times more
// when the reply must wake the other core of this virtual machine, and the
// scheduler picks either at will, so each placement is measured on its own.
enum class placement { same_core, split_cores, free };

const char* placement_name(placement where);
void place_driver(placement where);
void place_child(placement where, const child_process& child);

struct resident_figures {
    long peak_kib;      // VmHWM
    long anonymous_kib; // RssAnon: the program's own memory, no library pages
};

/// The child's own resident set from /proc; -1 where it cannot be read.
resident_figures resident_of(pid_t pid);

void print_machine();

/// Other work on the machine shows in every figure; says how much there was.
void print_load(const char* when);

const char* verdict(bool met);
void print_row(const char* measure, double reference, double ours, const char* unit, double ratio, const char* goal,
               bool met);

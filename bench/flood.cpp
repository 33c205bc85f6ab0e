// A flood of command text written to a program as fast as the pipe takes it.
#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "bench/measures.h"

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

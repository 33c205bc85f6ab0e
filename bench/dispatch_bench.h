#pragma once

// The reader and dispatcher in-process, over the discarding backend.
struct dispatch_figures {
    double mixed_ns_per_command;
    double mixed_records_per_command;
    double move_ns_per_line;
};

/// Runs the Google Benchmark cases (its own flags in argv are honoured) and
/// fills in the figures for the summary. False when a case did not run.
bool run_dispatch_benchmarks(int argc, char** argv, dispatch_figures* figures);

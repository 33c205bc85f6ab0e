#pragma once
#include <cstddef>

/// Where the trace backend sends each finished trace line (LF included): the
/// dry-run program writes it to standard error at once; the unit tests keep it.
void trace_write(const char* line, size_t length);

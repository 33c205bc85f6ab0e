#pragma once

/// Brings the core's process-wide state back to that of a fresh process: empty
/// registry, both masks 0, the three button flags clear, no partial line and no
/// pending placement. For the tests and the fuzzer, which run many inputs in
/// one process.
void zero_core_state();

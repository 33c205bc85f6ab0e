#pragma once

constexpr const char* READY_LINE = "BRASKELOT_WIN_INPUT_READY";

/// The whole run: start-up, the command reader, shutdown. Always returns 0.
int run_program();

/// Declares per-monitor DPI awareness by the newest way the platform offers, so
/// that pointer coordinates are physical pixels.
void declare_dpi_awareness();

/// Asks for a 1 ms system timer resolution when the timer library is there.
void begin_timer_resolution();
/// Gives the timer resolution back, if it was asked for and not yet given back.
void end_timer_resolution();

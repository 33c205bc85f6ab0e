#pragma once

// SIGTERM, SIGINT and SIGHUP end the program as the end of its input does:
// every key and button it holds goes up before its devices go away. The
// handler only notes the signal; the program acts on it between records.

/// Installs the handlers; before the ready line.
void wayland_ending_start();

/// When a signal has come: releases everything, destroys the devices and ends
/// the process by that signal. Returns at once otherwise.
void wayland_end_if_requested();

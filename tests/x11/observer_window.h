#pragma once
#include <X11/Xlib.h>

#include <vector>

// The observer's small window, which holds the input focus. It is an ordinary
// client on a connection of its own, served by a thread of its own: it reads
// each key press it gets with its own lookup (XLookupString), its keymap
// refreshed on MappingNotify and XKB map notifications, and never waits behind
// the printing of a long recorded batch on the main thread.

/// Opens the window's connection; false if that fails.
bool open_window_connection();
/// Creates and maps the window and gives it the focus; with_xkb also has it
/// refresh its lookup on XKB map changes, as toolkits do. pings: "answer"
/// (or null) lists _NET_WM_PING and answers it, as toolkits do; "ignore"
/// lists it and never answers, as a hung application; "none" lists nothing.
Window create_window(bool with_xkb, const char* pings);
/// Starts the thread that serves the window's events.
void serve_window();
/// Waits until the window has handled every event the server sent it so far,
/// then returns the characters it read since the last call.
std::vector<unsigned> take_window_text();

#pragma once
#include <X11/Xlib.h>

// The recorded stream: every key, button and motion event the server
// processes, from every client, printed as a line in server order; the
// keyboard mapping requests, applied to the keymap mirror where they fall;
// and the marker requests, a ChangeProperty of mark_atom on the observer's
// window, printed as MARK lines where they fall.

/// Opens the connection the stream is read on; false if that fails.
bool open_record_connection();
/// Records through control (xkb_major the XKB request code, -1 without XKB)
/// and reads the first replies; false if the server refuses.
bool start_recording(Display* control, Window window, Atom mark_atom, int xkb_major);
/// The stream's connection, to wait on.
int record_fd();
/// Prints the lines of the data that has come in (stdout is not flushed).
void read_record();
/// Whether the server has ended the recording.
bool record_ended();

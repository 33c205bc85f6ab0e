#pragma once
#include <X11/Xlib.h>
#include <cstdint>

// What a program changes on the server is recorded on the server itself, so
// that whoever comes next can undo it when the program is gone without having
// undone it (killed with its watchdog, SIGKILL to the whole group).
//
// Each running program owns one of LEFTOVER_SLOTS selections. Beside it, on
// the root window, its TAKEN property lists every keycode it has changed
// (binding or auto-repeat) with the row and auto-repeat the key had before,
// and its DOWN property the keys and buttons it held at its last pause. A
// property whose selection has no owner is a leftover: its keys are
// released, its rows and auto-repeat put back, and it is deleted. Each record
// is written before the change it covers, on the same connection, so the
// server always has it first.

constexpr int LEFTOVER_SLOTS = 32;

/// Spare keycodes a run needs at the least: when fewer are empty (taken by
/// another program, or left bound by one that kept no record), keys that
/// automation never types are borrowed up to this many, and given back at the
/// end. They are keys that carry only vendor keysyms (launchers, touchpad,
/// media, from the highest keycode down) that no virtual-key code stands for
/// and no modifier uses; while borrowed they type nothing of their own. Fewer
/// spare keycodes cost speed, not characters: bindings are reused.
constexpr int LEFTOVER_SPARE_MINIMUM = 8;

/// At start-up, under a server grab: undoes every leftover, claims a slot and
/// borrows keycodes when too few are empty. Without a free slot the run goes
/// on without a record.
void x11_leftovers_start(Display* display);

/// Records that keycode is about to change; before the request that does it.
void x11_leftovers_note(uint8_t keycode);

/// Records the keys (256 flags) and buttons (8 flags) held now, when they
/// differ from the last record: at each pause of the input.
void x11_leftovers_note_down(const volatile uint8_t* keys, const volatile uint8_t* buttons);

/// Puts back every keycode this program changed and deletes its record.
void x11_leftovers_restore_own();

/// From another connection, once this program has ended: waits (at most
/// timeout_ms) until the server has seen it go, then undoes every leftover.
void x11_leftovers_undo_after_exit(Display* display, int timeout_ms);

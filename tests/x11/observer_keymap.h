#pragma once
#include <X11/Xlib.h>

#include <string>
#include <vector>

// The observer's mirror of the server's keymap, kept from the recorded stream
// (core ChangeKeyboardMapping applied where it falls, a fresh read after an XKB
// map change), and the characters of the recorded key presses read with it.
// Used by the main thread only.

/// Reads the keycode range and the whole map through display, and notes the
/// keycodes that carry no keysym now (the spare ones BOUND reports).
void start_keymap(Display* display);
/// Reads the whole map again.
void read_keymap();
/// A recorded core ChangeKeyboardMapping request, applied as the server does.
void apply_keymap_change(const unsigned char* req, bool swapped);

/// The first keysym keycode carries in the mirror, NoSymbol if none or out of range.
KeySym first_keysym(int keycode);
/// The keysym's name, 0x... without one, NoSymbol for none.
std::string keysym_name(KeySym sym);
/// The character a keysym types (Latin-1 or 0x01000000 + cp), 0 for none.
unsigned keysym_code_point(KeySym sym);

/// A recorded XKB LatchLockState that locks the group (0 to 3).
void note_group_lock(int group);
/// The keysym a recorded key event names: at a press, the first of the group
/// the key is read in; at a release, what its press named (NoSymbol once
/// the key carries nothing).
KeySym key_identity(int keycode, bool press);
/// A recorded key event: tracks held Shift and level 3 keys and collects the
/// character of a press, read at the level they select.
void note_key(int keycode, bool press);
/// The characters collected since the last call.
std::vector<unsigned> take_text();
/// Reads the map again and lists the spare keycodes that carry a keysym now,
/// each as " k=NAME".
std::string bound_spare_keycodes();

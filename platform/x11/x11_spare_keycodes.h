#pragma once
#include <cstdint>

// Keysyms that no keycode carries are bound, for as long as the run lasts or
// until a newer one needs the place, to keycodes that carry nothing.

/// The keys the program holds down (256 flags, one per keycode) and how it
/// lets one go: a spare keycode is never rebound while down. Set before any
/// other call.
void x11_spare_use_keys(const bool* down, void (*release)(uint8_t keycode));

/// Brings the spare keycodes in line with a freshly fetched keymap: bindings
/// the server lost are forgotten, newly empty keycodes join.
void x11_spare_keycodes_refresh();

/// A keycode that carries plain and shifted for the events that follow, or 0
/// when none can be had. The change is made, and confirmed by the server,
/// before any of them leaves (x11_spare_commit).
uint8_t x11_spare_bind(uint32_t plain, uint32_t shifted);

/// A keycode that carries keysym on *level (group * 2, plus 1 for shifted:
/// SPARE_PLAIN to SPARE_LEVELS - 1; the key's other levels keep their
/// characters) for the events that follow, or 0 when none can be had; made as
/// x11_spare_bind makes it. A key already carrying keysym is reused.
uint8_t x11_spare_bind_level(uint32_t keysym, int* level);

/// Notes a press or release sent on a keycode, the level the reader reads it
/// at (the group selected * 2, plus 1 with Shift held), and the event's
/// number: a spare binding pressed is the last to go, and is replaced only
/// once the reader has handled its last event.
void x11_spare_note_event(uint8_t keycode, bool press, int level, uint64_t number);

/// Makes the binding changes planned so far and sends the events held for
/// them: before anything else leaves (a flush, a reply, a pause).
void x11_spare_commit();

/// Notes that every request so far has been sent: after each flush or round
/// trip of the connection.
void x11_spare_note_flush();

/// Releases every spare keycode still down and undoes every binding, once
/// the reader has handled the characters typed with them.
void x11_spare_unbind_all();

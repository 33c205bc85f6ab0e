#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/wayland/wayland_keymap_text.h"

// Which character each character key of the keymap carries. A binding is kept
// for reuse; a new character takes a key with none, else the one least
// recently used, never one that is down. Changing bindings means uploading a
// new keymap, so the characters a chunk of input will type are bound together.

/// The slot that carries keysym, or -1.
int characters_find(uint32_t keysym);

/// Binds keysym to a slot (its own, a free one or the least recently used
/// one that is up) and marks it used; -1 when every slot is down. *changed
/// says whether the keymap must be uploaded again.
int characters_bind(uint32_t keysym, bool* changed);

/// Binds as many of these keysyms as there are slots not needed by another of
/// them, in order, without taking a slot from one of them; true when a binding
/// changed.
bool characters_bind_all(const uint32_t* keysyms, size_t count);

/// A press or release on a slot's key.
void characters_note_down(int slot, bool down);

/// The keysym of every slot (0 for none), as the keymap writer takes them.
const uint32_t* characters_keysyms();

/// Forgets every binding (for the tests).
void characters_reset();

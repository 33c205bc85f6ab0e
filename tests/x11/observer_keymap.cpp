#include "observer_keymap.h"

#include "observer_wire.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <bitset>
#include <cstdio>

namespace {

Display* control = nullptr;
int min_keycode = 8;
int max_keycode = 255;
int syms_per_code = 1;
std::vector<KeySym> keymap;                    // (keycode - min) * syms_per_code + level
std::vector<bool> spare;                       // keycodes that had no keysym at start
std::vector<unsigned> text;                    // code points of the presses since the last take_text
std::bitset<256> shift_down;                   // keycodes down that carry Shift
std::bitset<256> level3_down;                  // ... ISO_Level3_Shift or Mode_switch
int locked_group = 0;                          // as the recorded XKB requests set it
std::vector<KeySym> pressed_as(256, NoSymbol); // what each key down was pressed as

// keycode in [min_keycode, max_keycode], level below syms_per_code
KeySym& slot(int keycode, int level) {
    return keymap[static_cast<size_t>((keycode - min_keycode) * syms_per_code + level)];
}

KeySym level_keysym(int keycode, int level) { return level < syms_per_code ? slot(keycode, level) : NoSymbol; }

// The first core column of the group a key is read in: a core change of up
// to eight keysyms makes groups 1 to 4 of columns 1-2, 3-4, 5-6 and 7-8; a
// group the key lacks wraps around the ones it has.
int group_column(int keycode) {
    int groups = 1;
    for (int group = 1; group < 4; ++group) {
        if (level_keysym(keycode, 2 * group) != NoSymbol || level_keysym(keycode, 2 * group + 1) != NoSymbol) {
            groups = group + 1;
        }
    }
    return 2 * (locked_group % groups);
}

} // namespace

void start_keymap(Display* display) {
    control = display;
    XDisplayKeycodes(control, &min_keycode, &max_keycode);
    read_keymap();
    spare.assign(static_cast<size_t>(max_keycode - min_keycode + 1), false);
    for (int k = min_keycode; k <= max_keycode; ++k) {
        spare[static_cast<size_t>(k - min_keycode)] = first_keysym(k) == NoSymbol;
    }
}

void read_keymap() {
    int count = max_keycode - min_keycode + 1;
    int per = 0;
    KeySym* syms = XGetKeyboardMapping(control, static_cast<KeyCode>(min_keycode), count, &per);
    syms_per_code = per > 0 ? per : 1;
    keymap.assign(static_cast<size_t>(count * syms_per_code), NoSymbol);
    if (syms != nullptr) {
        for (size_t i = 0; i < keymap.size(); ++i) {
            keymap[i] = syms[i];
        }
        XFree(syms);
    }
}

void apply_keymap_change(const unsigned char* req, bool swapped) {
    int codes = req[1];
    int first = req[4];
    int per = req[5];
    if (per > syms_per_code) {
        // The server widens the map: so does the mirror, as it stands here
        // (reading the map now would see changes the stream has not reached).
        std::vector<KeySym> wide(keymap.size() / static_cast<size_t>(syms_per_code) * static_cast<size_t>(per),
                                 NoSymbol);
        for (size_t i = 0; i < keymap.size(); ++i) {
            wide[i / static_cast<size_t>(syms_per_code) * static_cast<size_t>(per) +
                 i % static_cast<size_t>(syms_per_code)] = keymap[i];
        }
        keymap.swap(wide);
        syms_per_code = per;
    }
    // Fewer keysyms than the map is wide: the rest of each key's row is empty.
    // (Reading the map here instead would see the server's later state.)
    for (int c = 0; c < codes; ++c) {
        int keycode = first + c;
        if (keycode < min_keycode || keycode > max_keycode) {
            continue;
        }
        for (int level = 0; level < syms_per_code; ++level) {
            slot(keycode, level) = level < per ? card32(req + 8 + 4 * (c * per + level), swapped) : NoSymbol;
        }
    }
}

KeySym first_keysym(int keycode) {
    if (keycode < min_keycode || keycode > max_keycode) {
        return NoSymbol;
    }
    for (int level = 0; level < syms_per_code; ++level) {
        if (slot(keycode, level) != NoSymbol) {
            return slot(keycode, level);
        }
    }
    return NoSymbol;
}

std::string keysym_name(KeySym sym) {
    if (sym == NoSymbol) {
        return "NoSymbol";
    }
    const char* name = XKeysymToString(sym);
    if (name != nullptr) {
        return name;
    }
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%lx", sym);
    return hex;
}

unsigned keysym_code_point(KeySym sym) {
    if ((sym >= 0x20 && sym <= 0x7e) || (sym >= 0xa0 && sym <= 0xff)) {
        return static_cast<unsigned>(sym);
    }
    if (sym >= 0x01000100 && sym <= 0x0110ffff) {
        return static_cast<unsigned>(sym - 0x01000000);
    }
    return 0;
}

// Read with the keymap in force when the server processed the press: the
// window's own lookup would read a map that the program may have changed
// again since (a spare keycode rebound).
void note_group_lock(int group) { locked_group = group & 3; }

KeySym key_identity(int keycode, bool press) {
    if (keycode < min_keycode || keycode > max_keycode) {
        return NoSymbol;
    }
    auto code = static_cast<size_t>(keycode);
    if (!press && pressed_as[code] != NoSymbol) {
        KeySym sym = first_keysym(keycode) == NoSymbol ? NoSymbol : pressed_as[code]; // unbound since
        pressed_as[code] = NoSymbol;
        return sym;
    }
    int column = group_column(keycode);
    KeySym sym = level_keysym(keycode, column);
    if (sym == NoSymbol) {
        sym = level_keysym(keycode, column + 1);
    }
    if (column == 0 || sym == NoSymbol) {
        sym = first_keysym(keycode);
    }
    pressed_as[code] = press ? sym : NoSymbol;
    return sym;
}

void note_key(int keycode, bool press) {
    if (keycode < min_keycode || keycode > max_keycode) {
        return;
    }
    KeySym first = first_keysym(keycode);
    auto code = static_cast<size_t>(keycode);
    if (first == XK_Shift_L || first == XK_Shift_R) {
        shift_down[code] = press;
    } else if (first == XK_ISO_Level3_Shift || first == XK_Mode_switch) {
        level3_down[code] = press;
    } else if (press) {
        bool shift = shift_down.any();
        // core columns: group 1 levels 1-2, group 2, then levels 3-4 (or
        // groups 3 and 4 on a key bound through the core protocol)
        int base = level3_down.any() ? 4 : group_column(keycode);
        KeySym sym = level_keysym(keycode, base + (shift ? 1 : 0));
        if (sym == NoSymbol && shift) {
            KeySym lower = NoSymbol;
            KeySym upper = NoSymbol;
            XConvertCase(level_keysym(keycode, base), &lower, &upper);
            sym = upper;
        }
        if (sym == NoSymbol) {
            sym = level_keysym(keycode, base);
        }
        unsigned cp = keysym_code_point(sym);
        if (cp != 0) {
            text.push_back(cp);
        }
    }
}

std::vector<unsigned> take_text() {
    std::vector<unsigned> taken;
    taken.swap(text);
    return taken;
}

std::string bound_spare_keycodes() {
    read_keymap();
    std::string out;
    for (int k = min_keycode; k <= max_keycode; ++k) {
        KeySym sym = first_keysym(k);
        if (spare[static_cast<size_t>(k - min_keycode)] && sym != NoSymbol) {
            out += " " + std::to_string(k) + "=" + keysym_name(sym);
        }
    }
    return out;
}

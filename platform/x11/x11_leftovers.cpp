#include "platform/x11/x11_leftovers.h"

#include <X11/Xatom.h>
#include <X11/extensions/XTest.h>
#include <cstdio>
#include <ctime>

#include "platform/vk_keysyms.h"

namespace {

constexpr int ROW = 8;               // keysyms kept of a row; a wider row is never borrowed
constexpr int ENTRY = 3 + ROW;       // keycode, auto-repeat before, width, the row
constexpr int DOWN_WORDS = 8 + 1;    // 256 key bits, then the button bits
constexpr long MAX_WORDS = 1L << 16; // far beyond 256 entries

constexpr uint32_t XF86_FIRST = 0x1008FF00;
constexpr uint32_t XF86_LAST = 0x1008FFFF;

enum atom_kind { SLOT, TAKEN, DOWN, KINDS };

Atom atoms[KINDS][LEFTOVER_SLOTS];
bool atoms_known;
Display* own_display;
Window own_window;
int own_slot = -1;
bool noted[256];
bool repeat_before[256];
unsigned long last_down[DOWN_WORDS];

Window root_of(Display* display) { return DefaultRootWindow(display); }

void intern_atoms(Display* display) {
    if (atoms_known) return;
    static const char* const kinds[KINDS] = {"SLOT", "TAKEN", "DOWN"};
    char names[KINDS * LEFTOVER_SLOTS][48];
    char* pointers[KINDS * LEFTOVER_SLOTS];
    for (int kind = 0; kind < KINDS; ++kind) {
        for (int slot = 0; slot < LEFTOVER_SLOTS; ++slot) {
            const int i = kind * LEFTOVER_SLOTS + slot;
            std::snprintf(names[i], sizeof names[i], "_BRASKELOT_X11_INPUT_%s_%d", kinds[kind], slot);
            pointers[i] = names[i];
        }
    }
    XInternAtoms(display, pointers, KINDS * LEFTOVER_SLOTS, False, &atoms[0][0]);
    atoms_known = true;
}

// The 32-bit items of a root property (Xlib hands them over as longs); null
// when there is none.
long* read_property(Display* display, Atom property, unsigned long* count) {
    Atom type = None;
    int format = 0;
    unsigned long after = 0;
    unsigned char* bytes = nullptr;
    *count = 0;
    if (XGetWindowProperty(display, root_of(display), property, 0, MAX_WORDS, False, XA_INTEGER, &type, &format, count,
                           &after, &bytes) != Success) {
        return nullptr;
    }
    if (bytes != nullptr && (type != XA_INTEGER || format != 32)) {
        XFree(bytes);
        return nullptr;
    }
    return reinterpret_cast<long*>(bytes); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): Xlib's format 32
}

void set_auto_repeat(Display* display, int keycode, bool on) {
    XKeyboardControl control{};
    control.key = keycode;
    control.auto_repeat_mode = on ? AutoRepeatModeOn : AutoRepeatModeOff;
    XChangeKeyboardControl(display, KBKey | KBAutoRepeatMode, &control);
}

void read_auto_repeat(Display* display) {
    XKeyboardState state{};
    XGetKeyboardControl(display, &state);
    for (int keycode = 0; keycode < 256; ++keycode) {
        repeat_before[keycode] = ((static_cast<unsigned>(state.auto_repeats[keycode / 8]) >> (keycode % 8)) & 1U) != 0;
    }
}

void append_entry(Display* display, uint8_t keycode, int width, const KeySym* row) {
    long entry[ENTRY] = {keycode, repeat_before[keycode] ? 1 : 0, width};
    for (int i = 0; i < width && i < ROW; ++i) entry[3 + i] = static_cast<long>(row[i]);
    XChangeProperty(display, root_of(display), atoms[TAKEN][own_slot], XA_INTEGER, 32, PropModeAppend,
                    reinterpret_cast<unsigned char*>(entry),
                    ENTRY); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
    noted[keycode] = true;
}

bool key_bit(const unsigned long* words, int keycode) { return ((words[keycode / 32] >> (keycode % 32)) & 1UL) != 0; }

// Releases the keys and buttons a record holds that the server shows down,
// while their bindings are still there.
void release_down(Display* display, const long* words, unsigned long count) {
    if (count < DOWN_WORDS) return;
    unsigned long bits[DOWN_WORDS];
    for (int i = 0; i < DOWN_WORDS; ++i) bits[i] = static_cast<unsigned long>(words[i]) & 0xFFFFFFFFUL;
    char keys[32] = {};
    XQueryKeymap(display, keys);
    for (int keycode = 8; keycode < 256; ++keycode) {
        const bool down = ((static_cast<unsigned>(keys[keycode / 8]) >> (keycode % 8)) & 1U) != 0;
        if (down && key_bit(bits, keycode)) XTestFakeKeyEvent(display, static_cast<unsigned>(keycode), False, 0);
    }
    Window root = 0;
    Window child = 0;
    int x = 0;
    int y = 0;
    unsigned int mask = 0;
    XQueryPointer(display, root_of(display), &root, &child, &x, &y, &x, &y, &mask);
    for (unsigned int button = 1; button <= 5; ++button) {
        if (((bits[8] >> button) & 1UL) != 0 &&
            (mask & (static_cast<unsigned int>(Button1Mask) << (button - 1))) != 0) {
            XTestFakeButtonEvent(display, button, False, 0);
        }
    }
}

// Puts back the rows and auto-repeat of a TAKEN record. A row that shows what
// it had already is left alone: every change notifies every client.
void restore_entries(Display* display, const long* data, unsigned long count) {
    int low = 0;
    int high = 0;
    XDisplayKeycodes(display, &low, &high);
    int width = 0;
    KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(low), high - low + 1, &width);
    for (unsigned long e = 0; e + ENTRY <= count; e += ENTRY) {
        const long keycode = data[e];
        if (keycode < low || keycode > high) continue;
        int row_width = data[e + 2] < 1 ? 1 : data[e + 2] > ROW ? ROW : static_cast<int>(data[e + 2]);
        KeySym row[ROW] = {};
        for (int i = 0; i < row_width; ++i) {
            row[i] = static_cast<KeySym>(data[e + 3 + static_cast<unsigned long>(i)]) & 0xFFFFFFFFUL;
        }
        bool same = map != nullptr;
        const int compared = width > ROW ? width : ROW;
        for (int i = 0; same && i < compared; ++i) {
            const KeySym now = i < width ? map[static_cast<ptrdiff_t>(keycode - low) * width + i] : NoSymbol;
            if (now != (i < ROW ? row[i] : NoSymbol)) same = false;
        }
        if (!same) XChangeKeyboardMapping(display, static_cast<int>(keycode), row_width, row, 1);
        set_auto_repeat(display, static_cast<int>(keycode), data[e + 1] != 0);
    }
    if (map != nullptr) XFree(map);
}

// Undoes what the programs that have gone recorded: their selection has no
// owner any more.
void undo_gone(Display* display) {
    for (int slot = 0; slot < LEFTOVER_SLOTS; ++slot) {
        if (XGetSelectionOwner(display, atoms[SLOT][slot]) != None) continue;
        unsigned long count = 0;
        long* down = read_property(display, atoms[DOWN][slot], &count);
        if (down != nullptr) {
            release_down(display, down, count);
            XFree(down);
            XDeleteProperty(display, root_of(display), atoms[DOWN][slot]);
        }
        long* taken = read_property(display, atoms[TAKEN][slot], &count);
        if (taken != nullptr) {
            restore_entries(display, taken, count);
            XFree(taken);
            XDeleteProperty(display, root_of(display), atoms[TAKEN][slot]);
        }
    }
}

bool is_vk_keysym(KeySym keysym) {
    for (int vk = 1; vk < 256; ++vk) {
        if (vk_to_keysym(static_cast<uint16_t>(vk)) == keysym) return true;
    }
    return false;
}

// A key automation never types: it carries only vendor keysyms (launchers,
// touchpad, media) that no virtual-key code stands for, and is no modifier.
bool borrowable(const KeySym* row, int width, bool modifier) {
    if (modifier) return false;
    bool any = false;
    for (int i = 0; i < width; ++i) {
        if (row[i] == NoSymbol) continue;
        if (i >= ROW || row[i] < XF86_FIRST || row[i] > XF86_LAST || is_vk_keysym(row[i])) return false;
        any = true;
    }
    return any;
}

void borrow_keycodes(Display* display) {
    int low = 0;
    int high = 0;
    XDisplayKeycodes(display, &low, &high);
    int width = 0;
    KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(low), high - low + 1, &width);
    if (map == nullptr) return;
    int empty = 0;
    for (int keycode = low; keycode <= high; ++keycode) {
        bool none = true;
        for (int i = 0; i < width; ++i) none = none && map[(keycode - low) * width + i] == NoSymbol;
        if (none) ++empty;
    }
    bool modifier[256] = {};
    XModifierKeymap* modifiers = XGetModifierMapping(display);
    if (modifiers != nullptr) {
        for (int i = 0; i < 8 * modifiers->max_keypermod; ++i) modifier[modifiers->modifiermap[i]] = true;
        XFreeModifiermap(modifiers);
    }
    // From the top: the highest keycodes are the rarest keys of a keyboard.
    for (int keycode = high; keycode >= low && empty < LEFTOVER_SPARE_MINIMUM; --keycode) {
        const KeySym* row = map + static_cast<ptrdiff_t>(keycode - low) * width;
        if (!borrowable(row, width, modifier[keycode])) continue;
        append_entry(display, static_cast<uint8_t>(keycode), width < ROW ? width : ROW, row);
        KeySym cleared[2] = {NoSymbol, NoSymbol};
        XChangeKeyboardMapping(display, keycode, 2, cleared, 1);
        ++empty;
    }
    XFree(map);
}

void claim_slot(Display* display) {
    own_window = XCreateWindow(display, root_of(display), -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent, 0, nullptr);
    for (int slot = 0; slot < LEFTOVER_SLOTS; ++slot) {
        if (XGetSelectionOwner(display, atoms[SLOT][slot]) != None) continue;
        XSetSelectionOwner(display, atoms[SLOT][slot], own_window, CurrentTime);
        if (XGetSelectionOwner(display, atoms[SLOT][slot]) != own_window) continue;
        own_slot = slot;
        XDeleteProperty(display, root_of(display), atoms[TAKEN][slot]);
        XDeleteProperty(display, root_of(display), atoms[DOWN][slot]);
        return;
    }
}

} // namespace

void x11_leftovers_start(Display* display) {
    own_display = display;
    intern_atoms(display);
    XGrabServer(display);
    undo_gone(display);
    read_auto_repeat(display);
    claim_slot(display);
    if (own_slot >= 0) borrow_keycodes(display);
    XUngrabServer(display);
    XSync(display, False);
}

void x11_leftovers_note(uint8_t keycode) {
    if (own_slot < 0 || noted[keycode]) return;
    // A spare keycode is empty until bound (a borrowed one was noted with its row).
    KeySym empty[2] = {NoSymbol, NoSymbol};
    append_entry(own_display, keycode, 2, empty);
}

void x11_leftovers_note_down(const volatile uint8_t* keys, const volatile uint8_t* buttons) {
    if (own_slot < 0) return;
    unsigned long words[DOWN_WORDS] = {};
    for (int keycode = 0; keycode < 256; ++keycode) {
        if (keys[keycode] != 0) words[keycode / 32] |= 1UL << (keycode % 32);
    }
    for (int button = 0; button < 8; ++button) {
        if (buttons[button] != 0) words[8] |= 1UL << button;
    }
    bool same = true;
    for (int i = 0; i < DOWN_WORDS; ++i) same = same && words[i] == last_down[i];
    if (same) return;
    long items[DOWN_WORDS];
    for (int i = 0; i < DOWN_WORDS; ++i) {
        last_down[i] = words[i];
        items[i] = static_cast<long>(words[i]);
    }
    XChangeProperty(own_display, root_of(own_display), atoms[DOWN][own_slot], XA_INTEGER, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(items),
                    DOWN_WORDS); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
}

void x11_leftovers_restore_own() {
    if (own_slot < 0) return;
    unsigned long count = 0;
    long* taken = read_property(own_display, atoms[TAKEN][own_slot], &count);
    if (taken != nullptr) {
        restore_entries(own_display, taken, count);
        XFree(taken);
    }
    XDeleteProperty(own_display, root_of(own_display), atoms[TAKEN][own_slot]);
    XDeleteProperty(own_display, root_of(own_display), atoms[DOWN][own_slot]);
    XSync(own_display, False);
}

void x11_leftovers_undo_after_exit(Display* display, int timeout_ms) {
    atoms_known = false; // this connection's atoms: the same names, interned again
    intern_atoms(display);
    // The program's connection closes as it dies; the server notices soon after.
    for (int waited = 0; own_slot >= 0 && waited < timeout_ms; waited += 10) {
        if (XGetSelectionOwner(display, atoms[SLOT][own_slot]) == None) break;
        timespec pause{0, 10000000L};
        nanosleep(&pause, nullptr);
    }
    XGrabServer(display);
    undo_gone(display);
    XUngrabServer(display);
    XSync(display, False);
}

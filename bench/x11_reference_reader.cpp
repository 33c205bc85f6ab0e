// The floor for the X11 benchmarks: reads the same command lines as
// braskelot_x11_input for MOVE, CLICK, KEY_TAP and PING, and does the least
// XTest work each needs. No held-key bookkeeping, no releases at the end (it
// only undoes its spare bindings, after the measure), no confirming round trip
// after a spare binding (one connection keeps the server in order anyway). It follows keymap changes only between
// chunks, so that another client's bindings do not leave it typing stale spare keycodes. It is a yardstick, not a
// product.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

constexpr char READY_LINE[] = "BRASKELOT_WIN_INPUT_READY\r\n";
constexpr char PONG_LINE[] = "PONG\r\n";
constexpr int MAX_LINE = 512;
constexpr int MAX_SPARES = 256;

Display* display = nullptr;
int keysyms_per_keycode = 0;
int min_keycode = 0;
int max_keycode = 0;
KeySym* keymap = nullptr; // the whole map, kept in step with our own changes

// Spare keycodes (no keysym at start), bound round-robin; what each carries.
int spare_count = 0;
int spares[MAX_SPARES];
KeySym spare_keysym[MAX_SPARES];
bool spare_bound[MAX_SPARES]; // by us at some time, so to be undone at the end
int next_spare = 0;

void read_keymap() {
    if (keymap != nullptr) XFree(keymap);
    keymap = XGetKeyboardMapping(display, static_cast<KeyCode>(min_keycode), max_keycode - min_keycode + 1,
                                 &keysyms_per_keycode);
}

KeySym keysym_at(int keycode, int level) {
    if (level >= keysyms_per_keycode) return NoSymbol;
    return keymap[(keycode - min_keycode) * keysyms_per_keycode + level];
}

int find_keycode(KeySym keysym, int level) {
    for (int k = min_keycode; k <= max_keycode; ++k) {
        if (keysym_at(k, level) == keysym) return k;
    }
    return 0;
}

void find_spares() {
    for (int k = min_keycode; k <= max_keycode && spare_count < MAX_SPARES; ++k) {
        bool empty = true;
        for (int level = 0; level < keysyms_per_keycode; ++level) empty = empty && keysym_at(k, level) == NoSymbol;
        if (!empty) continue;
        spare_keysym[spare_count] = NoSymbol;
        spares[spare_count++] = k;
    }
}

void tap_keycode(int keycode) {
    XTestFakeKeyEvent(display, static_cast<unsigned>(keycode), True, CurrentTime);
    XTestFakeKeyEvent(display, static_cast<unsigned>(keycode), False, CurrentTime);
}

// A spare keycode that carries the keysym, bound now unless it still is.
int spare_for(KeySym keysym) {
    for (int i = 0; i < spare_count; ++i) {
        if (spare_keysym[i] == keysym) return spares[i];
    }
    if (spare_count == 0) return 0;
    const int i = next_spare;
    next_spare = (next_spare + 1) % spare_count;
    KeySym row[2] = {keysym, keysym};
    XChangeKeyboardMapping(display, spares[i], 2, row, 1);
    spare_keysym[i] = keysym;
    spare_bound[i] = true;
    // The server fills the rest of the row with NoSymbol.
    for (int level = 0; level < keysyms_per_keycode; ++level) {
        keymap[(spares[i] - min_keycode) * keysyms_per_keycode + level] = level < 2 ? keysym : NoSymbol;
    }
    return spares[i];
}

void type_keysym(KeySym keysym) {
    if (const int plain = find_keycode(keysym, 0)) {
        tap_keycode(plain);
    } else if (const int shifted = find_keycode(keysym, 1)) {
        const int shift = find_keycode(XK_Shift_L, 0);
        XTestFakeKeyEvent(display, static_cast<unsigned>(shift), True, CurrentTime);
        tap_keycode(shifted);
        XTestFakeKeyEvent(display, static_cast<unsigned>(shift), False, CurrentTime);
    } else if (const int spare = spare_for(keysym)) {
        tap_keycode(spare);
    }
}

// The virtual-key codes the benchmarks send.
KeySym keysym_of_vk(long vk) {
    if (vk >= 'A' && vk <= 'Z') return static_cast<KeySym>(XK_a + (vk - 'A'));
    if (vk >= '0' && vk <= '9') return static_cast<KeySym>(XK_0 + (vk - '0'));
    if (vk >= 112 && vk <= 135) return static_cast<KeySym>(XK_F1 + (vk - 112));
    switch (vk) {
    case 8: return XK_BackSpace;
    case 9: return XK_Tab;
    case 13: return XK_Return;
    case 27: return XK_Escape;
    case 32: return XK_space;
    case 37: return XK_Left;
    case 38: return XK_Up;
    case 39: return XK_Right;
    case 40: return XK_Down;
    case 46: return XK_Delete;
    default: return NoSymbol;
    }
}

const KeySym CHORD_KEYSYMS[4] = {XK_Control_L, XK_Alt_L, XK_Shift_L, XK_Super_L};

void chord(long mods, bool down) {
    for (int m = 0; m < 4; ++m) {
        if ((mods & (1L << m)) == 0) continue;
        const int keycode = find_keycode(CHORD_KEYSYMS[m], 0);
        if (keycode != 0) XTestFakeKeyEvent(display, static_cast<unsigned>(keycode), down, CurrentTime);
    }
}

// A high surrogate waits for the low one that completes its character.
long high_surrogate = 0;

void type_unit(long unit) {
    long code_point = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        high_surrogate = unit;
        return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        if (high_surrogate == 0) return;
        code_point = 0x10000 + ((high_surrogate - 0xD800) << 10) + (unit - 0xDC00);
    }
    high_surrogate = 0;
    type_keysym(code_point < 0x100 ? static_cast<KeySym>(code_point) : static_cast<KeySym>(0x01000000 + code_point));
}

void key_tap(long vk, long mods, long unit) {
    chord(mods, true);
    if (vk != 0) {
        const int keycode = find_keycode(keysym_of_vk(vk), 0);
        if (keycode != 0) tap_keycode(keycode);
    } else if (unit > 0) {
        type_unit(unit);
    }
    chord(mods, false);
}

void pause_ms(long ms) {
    timespec wait{0, ms * 1000000L};
    nanosleep(&wait, nullptr);
}

void click(long x, long y, long button, long count) {
    const unsigned x_button = button == 1 ? 2 : button == 2 ? 3 : 1;
    XTestFakeMotionEvent(display, -1, static_cast<int>(x), static_cast<int>(y), CurrentTime);
    for (long i = 0; i < count; ++i) {
        if (i > 0) {
            XFlush(display);
            pause_ms(10);
        }
        XTestFakeButtonEvent(display, x_button, True, CurrentTime);
        XTestFakeButtonEvent(display, x_button, False, CurrentTime);
    }
}

// Up to four numbers after the keyword; how many were read.
int numbers(const char* text, long* out) {
    int count = 0;
    char* end = nullptr;
    while (count < 4) {
        const long value = std::strtol(text, &end, 10);
        if (end == text) break;
        out[count++] = value;
        text = end;
    }
    return count;
}

bool starts(const char* line, const char* keyword) {
    const size_t n = std::strlen(keyword);
    return std::strncmp(line, keyword, n) == 0 && (line[n] == ' ' || line[n] == '\0');
}

// A MOVE is held back while more MOVE lines follow in the same chunk, as the
// program places a run once.
bool move_pending = false;
long move_x = 0;
long move_y = 0;

void place_pending_move() {
    if (!move_pending) return;
    XTestFakeMotionEvent(display, -1, static_cast<int>(move_x), static_cast<int>(move_y), CurrentTime);
    move_pending = false;
}

// False on QUIT.
bool handle_line(const char* line) {
    long n[4] = {0, 0, 0, 0};
    if (starts(line, "MOVE")) {
        if (numbers(line + 4, n) != 2) return true;
        move_pending = true;
        move_x = n[0];
        move_y = n[1];
        return true;
    }
    place_pending_move();
    if (starts(line, "CLICK")) {
        const int count = numbers(line + 5, n);
        if (count >= 3) click(n[0], n[1], n[2], count == 4 ? n[3] : 1);
    } else if (starts(line, "KEY_TAP")) {
        const int count = numbers(line + 7, n);
        if (count >= 2) key_tap(n[0], n[1], count >= 3 ? n[2] : 0);
    } else if (starts(line, "PING")) {
        XSync(display, False);
        if (write(1, PONG_LINE, sizeof PONG_LINE - 1) < 0) return false;
    } else if (starts(line, "QUIT")) {
        return false;
    }
    return true;
}

// Another client may have rebound a spare keycode since: on a MappingNotify,
// read the map again and forget what the spares carried.
void follow_mapping_changes() {
    bool changed = false;
    while (XEventsQueued(display, QueuedAfterReading) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        changed = changed || event.type == MappingNotify;
    }
    if (!changed) return;
    read_keymap();
    for (int i = 0; i < spare_count; ++i) spare_keysym[i] = NoSymbol;
}

// Leaves the keymap as it was, so that the next program finds the spare
// keycodes empty. Not timed: the benchmarks close the reader after a measure.
void finish() {
    place_pending_move();
    for (int i = 0; i < spare_count; ++i) {
        KeySym none[2] = {NoSymbol, NoSymbol};
        if (spare_bound[i]) XChangeKeyboardMapping(display, spares[i], 2, none, 1);
    }
    XSync(display, False);
}

} // namespace

int main() {
    display = XOpenDisplay(nullptr);
    int event_base = 0;
    int error_base = 0;
    int major = 0;
    int minor = 0;
    if (display == nullptr || !XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) {
        std::fprintf(stderr, "x11_reference_reader: no display with XTest\n");
        return 1;
    }
    XDisplayKeycodes(display, &min_keycode, &max_keycode);
    read_keymap();
    find_spares();
    if (write(1, READY_LINE, sizeof READY_LINE - 1) < 0) return 1;

    char chunk[4096];
    char line[MAX_LINE];
    size_t have = 0;
    for (;;) {
        const ssize_t got = read(0, chunk, sizeof chunk);
        if (got <= 0) break;
        follow_mapping_changes();
        for (ssize_t i = 0; i < got; ++i) {
            if (chunk[i] != '\n') {
                if (have < MAX_LINE - 1 && chunk[i] != '\r') line[have++] = chunk[i];
                continue;
            }
            line[have] = '\0';
            have = 0;
            if (!handle_line(line)) {
                finish();
                return 0;
            }
        }
        place_pending_move();
        XFlush(display);
    }
    finish();
    return 0;
}

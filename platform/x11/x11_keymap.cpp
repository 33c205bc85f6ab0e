#include "platform/x11/x11_keymap.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include "platform/x11/x11_connection.h"

namespace {

struct keymap_copy {
    bool fresh;    // fetched at all
    int stale_low; // keycodes announced changed since, none when low > high
    int stale_high;
    int min_keycode;
    int max_keycode;
    uint32_t keysym[256][2];
    bool empty[256];
};

keymap_copy keymap{false, 1, 0, 0, 0, {}, {}};
int covered_low = 1; // a range read back just now; none when low > high
int covered_high = 0;
void (*on_fetch)();

void fetch_keycodes(int first, int last) {
    const int count = last - first + 1;
    int per_keycode = 0;
    KeySym* keysyms = XGetKeyboardMapping(x11_display(), static_cast<KeyCode>(first), count, &per_keycode);
    if (keysyms == nullptr) return;
    for (int i = 0; i < count; ++i) {
        const auto keycode = static_cast<size_t>(first) + static_cast<size_t>(i);
        const KeySym* row = keysyms + static_cast<ptrdiff_t>(i) * per_keycode;
        keymap.empty[keycode] = true;
        keymap.keysym[keycode][KEYMAP_PLAIN] = 0;
        keymap.keysym[keycode][KEYMAP_SHIFTED] = 0;
        for (int column = 0; column < per_keycode; ++column) {
            if (row[column] != NoSymbol) keymap.empty[keycode] = false;
            if (column < 2) keymap.keysym[keycode][column] = static_cast<uint32_t>(row[column]);
        }
    }
    XFree(keysyms);
}

void fetch_keymap() {
    if (!keymap.fresh) {
        keymap = keymap_copy{};
        XDisplayKeycodes(x11_display(), &keymap.min_keycode, &keymap.max_keycode);
        fetch_keycodes(keymap.min_keycode, keymap.max_keycode);
    } else {
        const int low = keymap.stale_low < keymap.min_keycode ? keymap.min_keycode : keymap.stale_low;
        const int high = keymap.stale_high > keymap.max_keycode ? keymap.max_keycode : keymap.stale_high;
        if (low <= high) fetch_keycodes(low, high);
    }
    keymap.fresh = true;
    keymap.stale_low = 1;
    keymap.stale_high = 0;
    if (on_fetch != nullptr) on_fetch();
}

bool is_stale() { return !keymap.fresh || keymap.stale_low <= keymap.stale_high; }

} // namespace

// Only the keycodes a change names are fetched again. The program reads the
// mapping itself, so Xlib's own copy is never refreshed (with XKB that would
// cost a round trip per change).
void x11_keymap_handle_event(XEvent* event) {
    if (event->type == MappingNotify) {
        if (event->xmapping.request == MappingKeyboard) {
            x11_keymap_invalidate_range(event->xmapping.first_keycode, event->xmapping.count);
        }
        return;
    }
    const int xkb_event_base = x11_xkb_event_base();
    if (xkb_event_base >= 0 && event->type == xkb_event_base) {
        const auto* xkb = reinterpret_cast<const XkbEvent*>(event);
        if (xkb->any.xkb_type == XkbNewKeyboardNotify) {
            x11_keymap_invalidate();
        } else if (xkb->any.xkb_type == XkbMapNotify) {
            const XkbMapNotifyEvent& map = xkb->map;
            if ((map.changed & XkbKeyTypesMask) != 0) {
                x11_keymap_invalidate(); // a key type's levels change what every key of it shows
            } else if ((map.changed & XkbKeySymsMask) != 0) {
                x11_keymap_invalidate_range(map.first_key_sym, map.num_key_syms);
            }
        }
    }
}

void x11_keymap_on_fetch(void (*fetched)()) { on_fetch = fetched; }

void x11_keymap_invalidate() { keymap.fresh = false; }

void x11_keymap_invalidate_range(int first, int count) {
    if (count <= 0) return;
    const int last = first + count - 1;
    if (first >= covered_low && last <= covered_high) return;
    if (keymap.stale_low > keymap.stale_high) {
        keymap.stale_low = first;
        keymap.stale_high = last;
        return;
    }
    if (first < keymap.stale_low) keymap.stale_low = first;
    if (last > keymap.stale_high) keymap.stale_high = last;
}

void x11_keymap_update() {
    x11_handle_queued_events();
    if (is_stale()) fetch_keymap();
}

uint8_t x11_keymap_find(uint32_t keysym, int column) {
    x11_keymap_update();
    if (keysym == 0) return 0;
    for (int keycode = keymap.min_keycode; keycode <= keymap.max_keycode; ++keycode) {
        if (keymap.keysym[keycode][column] == keysym) return static_cast<uint8_t>(keycode);
    }
    return 0;
}

uint32_t x11_keymap_keysym(uint8_t keycode, int column) { return keymap.keysym[keycode][column]; }

bool x11_keymap_is_empty(uint8_t keycode) {
    return keycode >= keymap.min_keycode && keycode <= keymap.max_keycode && keymap.empty[keycode];
}

void x11_keymap_store(uint8_t keycode, uint32_t plain, uint32_t shifted) {
    keymap.keysym[keycode][KEYMAP_PLAIN] = plain;
    keymap.keysym[keycode][KEYMAP_SHIFTED] = shifted;
    keymap.empty[keycode] = plain == 0 && shifted == 0;
}

void x11_keymap_covered(int first, int last) {
    covered_low = first;
    covered_high = last;
    x11_handle_queued_events();
    covered_low = 1;
    covered_high = 0;
}

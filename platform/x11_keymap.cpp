#include "platform/x11_keymap.h"

#include <X11/Xlib.h>

#include "platform/x11_connection.h"
#include "platform/x11_spare_keycodes.h"

namespace {

struct keymap_copy {
    bool fresh;
    int min_keycode;
    int max_keycode;
    uint32_t keysym[256][2];
    bool empty[256];
};

keymap_copy keymap;

void fetch_keymap() {
    Display* display = x11_display();
    keymap = keymap_copy{};
    XDisplayKeycodes(display, &keymap.min_keycode, &keymap.max_keycode);
    const int count = keymap.max_keycode - keymap.min_keycode + 1;
    int per_keycode = 0;
    KeySym* keysyms = XGetKeyboardMapping(display, static_cast<KeyCode>(keymap.min_keycode), count, &per_keycode);
    if (keysyms != nullptr) {
        for (int i = 0; i < count; ++i) {
            const auto keycode = static_cast<size_t>(keymap.min_keycode) + static_cast<size_t>(i);
            const KeySym* row = keysyms + static_cast<ptrdiff_t>(i) * per_keycode;
            keymap.empty[keycode] = true;
            for (int column = 0; column < per_keycode; ++column) {
                if (row[column] != NoSymbol) keymap.empty[keycode] = false;
                if (column < 2) keymap.keysym[keycode][column] = static_cast<uint32_t>(row[column]);
            }
        }
        XFree(keysyms);
    }
    keymap.fresh = true;
    x11_spare_keycodes_refresh();
}

} // namespace

void x11_keymap_invalidate() { keymap.fresh = false; }

void x11_keymap_update() {
    x11_handle_queued_events();
    if (!keymap.fresh) fetch_keymap();
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

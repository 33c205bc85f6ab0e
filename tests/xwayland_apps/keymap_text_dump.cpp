// Writes the keymap braskelot_wayland_input uploads, its character keys bound
// to the code points given as arguments (hexadecimal), for X's own keymap
// compiler to check.
#include <cstdio>
#include <cstdlib>

#include "platform/unicode_keysyms.h"
#include "platform/wayland/wayland_keymap_text.h"

namespace {
char text[65536];
}

int main(int argc, char** argv) {
    uint32_t keysyms[CHARACTER_KEY_COUNT] = {};
    for (int i = 1; i < argc && static_cast<size_t>(i) <= CHARACTER_KEY_COUNT; ++i) {
        keysyms[i - 1] = unicode_keysym(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 16)));
    }
    const size_t length = keymap_write_text(text, sizeof text, keysyms);
    if (length == 0) return 1;
    return std::fwrite(text, 1, length, stdout) == length ? 0 : 1;
}

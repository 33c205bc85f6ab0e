// The Wayland event observer: a window that takes the keyboard focus and
// prints every keyboard and pointer event the compositor sends it, keys read
// through the keymap it holds at that moment, as any client reads them.
// Commands on standard input answer questions and order markers (README.md).

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "xdg-shell-client-protocol.h"

namespace {

struct observer {
    wl_display* display = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wm_base = nullptr;
    wl_seat* seat = nullptr;
    wl_keyboard* keyboard = nullptr;
    wl_pointer* pointer = nullptr;
    wl_surface* surface = nullptr;
    wl_buffer* buffer = nullptr;
    xkb_context* context = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
    bool focused = false;
    bool ready = false;
    int keymaps = 0;
    int32_t x = -1;
    int32_t y = -1;
    std::vector<uint32_t> down;
    std::vector<uint32_t> text;
};

observer self;

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::putchar('\n');
}

std::string keysym_name(uint32_t keycode) {
    if (self.state == nullptr) return "NoKeymap";
    const xkb_keysym_t keysym = xkb_state_key_get_one_sym(self.state, keycode);
    char name[64];
    xkb_keysym_get_name(keysym, name, sizeof name);
    return name;
}

std::string active_modifiers() {
    std::string names;
    if (self.state == nullptr) return names;
    for (xkb_mod_index_t index = 0; index < xkb_keymap_num_mods(self.keymap); ++index) {
        if (xkb_state_mod_index_is_active(self.state, index, XKB_STATE_MODS_EFFECTIVE) <= 0) continue;
        names += names.empty() ? "" : "+";
        names += xkb_keymap_mod_get_name(self.keymap, index);
    }
    return names.empty() ? "none" : names;
}

// A buffer of the configured size (white), so the window covers what the
// compositor gives it and takes the pointer's events there.
wl_buffer* make_buffer(int32_t width, int32_t height) {
    const int32_t stride = width * 4;
    const size_t size = static_cast<size_t>(stride) * static_cast<size_t>(height);
    const int fd = memfd_create("observer-buffer", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) return nullptr;
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels != MAP_FAILED) {
        std::memset(pixels, 0xff, size);
        munmap(pixels, size);
    }
    wl_shm_pool* pool = wl_shm_create_pool(self.shm, fd, static_cast<int32_t>(size));
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

int32_t configured_width = 0;
int32_t configured_height = 0;

void toplevel_configure(void*, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
    configured_width = width;
    configured_height = height;
}
void toplevel_close(void*, xdg_toplevel*) {}
void toplevel_bounds(void*, xdg_toplevel*, int32_t, int32_t) {}
void toplevel_capabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener TOPLEVEL_LISTENER = {toplevel_configure, toplevel_close, toplevel_bounds,
                                                 toplevel_capabilities};

void surface_configure(void*, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    if (self.buffer != nullptr) wl_buffer_destroy(self.buffer);
    self.buffer =
        make_buffer(configured_width > 0 ? configured_width : 640, configured_height > 0 ? configured_height : 480);
    wl_surface_attach(self.surface, self.buffer, 0, 0);
    wl_surface_damage(self.surface, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(self.surface);
}
const xdg_surface_listener SURFACE_LISTENER = {surface_configure};

void wm_ping(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener WM_BASE_LISTENER = {wm_ping};

void keyboard_keymap(void*, wl_keyboard*, uint32_t format, int fd, uint32_t size) {
    ++self.keymaps;
    void* text =
        format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
    close(fd);
    if (text == MAP_FAILED) {
        say("keymap unreadable");
        return;
    }
    xkb_keymap* keymap = xkb_keymap_new_from_string(self.context, static_cast<const char*>(text),
                                                    XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(text, size);
    if (keymap == nullptr) {
        say("keymap invalid");
        return;
    }
    xkb_state_unref(self.state);
    xkb_keymap_unref(self.keymap);
    self.keymap = keymap;
    self.state = xkb_state_new(keymap);
    say("keymap number=%d", self.keymaps);
}

// The keys already down when the focus arrives come with it.
void keyboard_enter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array* keys) {
    self.focused = true;
    self.down.clear();
    const auto* key = static_cast<const uint32_t*>(keys->data);
    for (size_t i = 0; i < keys->size / sizeof *key; ++i) self.down.push_back(key[i] + 8);
    say("keyboard enter keys=%zu", self.down.size());
}
void keyboard_leave(void*, wl_keyboard*, uint32_t, wl_surface*) {
    self.focused = false;
    say("keyboard leave");
}

void keyboard_key(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t key_state) {
    const uint32_t keycode = key + 8;
    const bool press = key_state == WL_KEYBOARD_KEY_STATE_PRESSED;
    uint32_t character = 0;
    if (self.state != nullptr && press) character = xkb_state_key_get_utf32(self.state, keycode);
    if (press) {
        self.down.push_back(keycode);
        if (character >= 0x20 && character != 0x7f) self.text.push_back(character);
    } else {
        for (size_t i = 0; i < self.down.size(); ++i) {
            if (self.down[i] != keycode) continue;
            self.down.erase(self.down.begin() + static_cast<long>(i));
            break;
        }
    }
    say("key %s keycode=%u keysym=%s char=%x mods=%s", press ? "press" : "release", keycode,
        keysym_name(keycode).c_str(), character, active_modifiers().c_str());
}

void keyboard_modifiers(void*, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
                        uint32_t group) {
    if (self.state == nullptr) return;
    xkb_state_update_mask(self.state, depressed, latched, locked, 0, 0, group);
    say("modifiers %s", active_modifiers().c_str());
}
void keyboard_repeat(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener KEYBOARD_LISTENER = {keyboard_keymap, keyboard_enter,     keyboard_leave,
                                                keyboard_key,    keyboard_modifiers, keyboard_repeat};

void pointer_enter(void*, wl_pointer*, uint32_t, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
    self.x = wl_fixed_to_int(x);
    self.y = wl_fixed_to_int(y);
    say("pointer enter x=%d y=%d", self.x, self.y);
}
void pointer_leave(void*, wl_pointer*, uint32_t, wl_surface*) { say("pointer leave"); }
void pointer_motion(void*, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
    self.x = wl_fixed_to_int(x);
    self.y = wl_fixed_to_int(y);
    say("motion x=%d y=%d", self.x, self.y);
}
void pointer_button(void*, wl_pointer*, uint32_t, uint32_t time, uint32_t button, uint32_t state) {
    say("button %s button=%u time=%u", state == WL_POINTER_BUTTON_STATE_PRESSED ? "press" : "release", button, time);
}
void pointer_axis(void*, wl_pointer*, uint32_t, uint32_t axis, wl_fixed_t value) {
    say("axis axis=%u value=%.2f", axis, wl_fixed_to_double(value));
}
void pointer_frame(void*, wl_pointer*) { say("frame"); }
void pointer_axis_source(void*, wl_pointer*, uint32_t source) { say("axis_source source=%u", source); }
void pointer_axis_stop(void*, wl_pointer*, uint32_t, uint32_t axis) { say("axis_stop axis=%u", axis); }
void pointer_axis_discrete(void*, wl_pointer*, uint32_t axis, int32_t discrete) {
    say("axis_discrete axis=%u discrete=%d", axis, discrete);
}
void pointer_axis_value120(void*, wl_pointer*, uint32_t axis, int32_t value) {
    say("axis_value120 axis=%u value=%d", axis, value);
}
const wl_pointer_listener POINTER_LISTENER = {
    pointer_enter, pointer_leave,       pointer_motion,    pointer_button,        pointer_axis,
    pointer_frame, pointer_axis_source, pointer_axis_stop, pointer_axis_discrete, pointer_axis_value120};

// A device that goes away takes its capability with it, and the compositor
// makes our object for it inert: one is released and asked for again then.
void seat_capabilities(void*, wl_seat* seat, uint32_t capabilities) {
    const bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    const bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    if (!keyboard && self.keyboard != nullptr) {
        wl_keyboard_release(self.keyboard);
        self.keyboard = nullptr;
        self.down.clear();
    }
    if (keyboard && self.keyboard == nullptr) {
        self.keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(self.keyboard, &KEYBOARD_LISTENER, nullptr);
    }
    if (!pointer && self.pointer != nullptr) {
        wl_pointer_release(self.pointer);
        self.pointer = nullptr;
    }
    if (pointer && self.pointer == nullptr) {
        self.pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(self.pointer, &POINTER_LISTENER, nullptr);
    }
}
void seat_name(void*, wl_seat*, const char*) {}
const wl_seat_listener SEAT_LISTENER = {seat_capabilities, seat_name};

void global_added(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    const auto bind = [&](const wl_interface* type, uint32_t highest) {
        return wl_registry_bind(registry, name, type, version < highest ? version : highest);
    };
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        self.compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        self.shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        self.wm_base = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(self.wm_base, &WM_BASE_LISTENER, nullptr);
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && self.seat == nullptr) {
        self.seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 7));
        wl_seat_add_listener(self.seat, &SEAT_LISTENER, nullptr);
    }
}
void global_removed(void*, wl_registry*, uint32_t) {}
const wl_registry_listener REGISTRY_LISTENER = {global_added, global_removed};

void print_hex_list(const char* label, const std::vector<uint32_t>& values) {
    std::printf("%s", label);
    for (const uint32_t value : values) std::printf(" %x", value);
    std::putchar('\n');
}

// One command line; false to end.
bool command(const std::string& line) {
    if (line.rfind("MARK", 0) == 0) {
        // The caller asks after the program's reply, which followed the
        // program's own round trip: the compositor had sent us every event of
        // the program's requests, and answers our round trip after them.
        if (wl_display_roundtrip(self.display) < 0) return false;
        say("%s", line.c_str());
    } else if (line == "TEXT") {
        print_hex_list("TEXT", self.text);
        self.text.clear();
    } else if (line == "KEYS") {
        std::printf("KEYS");
        for (const uint32_t keycode : self.down) std::printf(" %s", keysym_name(keycode).c_str());
        std::putchar('\n');
    } else if (line == "POS") {
        say("POS %d %d", self.x, self.y);
    } else if (line == "MODS") {
        say("MODS %s", active_modifiers().c_str());
    } else if (line == "KEYMAPS") {
        say("KEYMAPS %d", self.keymaps);
    } else if (line == "QUIT") {
        return false;
    }
    return true;
}

} // namespace

int main() {
    self.display = wl_display_connect(nullptr);
    if (self.display == nullptr) {
        std::fprintf(stderr, "observer: cannot connect to the compositor\n");
        return 1;
    }
    self.context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    wl_registry* registry = wl_display_get_registry(self.display);
    wl_registry_add_listener(registry, &REGISTRY_LISTENER, nullptr);
    wl_display_roundtrip(self.display);
    if (self.compositor == nullptr || self.shm == nullptr || self.wm_base == nullptr || self.seat == nullptr) {
        std::fprintf(stderr, "observer: the compositor lacks a global it needs\n");
        return 1;
    }
    self.surface = wl_compositor_create_surface(self.compositor);
    xdg_surface* window = xdg_wm_base_get_xdg_surface(self.wm_base, self.surface);
    xdg_surface_add_listener(window, &SURFACE_LISTENER, nullptr);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(window);
    xdg_toplevel_add_listener(toplevel, &TOPLEVEL_LISTENER, nullptr);
    xdg_toplevel_set_title(toplevel, "braskelot observer");
    wl_surface_commit(self.surface);
    // The window is shown; the keyboard focus comes with the first keyboard
    // of the seat, which may be the program's own.
    while (self.buffer == nullptr) {
        if (wl_display_dispatch(self.display) < 0) return 1;
    }
    wl_display_roundtrip(self.display);
    std::fflush(stdout);
    std::printf("OBSERVER_READY\n");
    std::fflush(stdout);

    std::string pending;
    for (;;) {
        while (wl_display_prepare_read(self.display) != 0) wl_display_dispatch_pending(self.display);
        wl_display_flush(self.display);
        pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {wl_display_get_fd(self.display), POLLIN, 0}};
        if (poll(watched, 2, -1) < 0) {
            wl_display_cancel_read(self.display);
            if (errno == EINTR) continue;
            return 1;
        }
        if (watched[1].revents != 0) {
            if (wl_display_read_events(self.display) < 0) return 1;
            wl_display_dispatch_pending(self.display);
        } else {
            wl_display_cancel_read(self.display);
        }
        std::fflush(stdout);
        if (watched[0].revents == 0) continue;
        char chunk[4096];
        const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) return 0;
        pending.append(chunk, static_cast<size_t>(got));
        for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!command(line)) return 0;
            std::fflush(stdout);
        }
    }
}

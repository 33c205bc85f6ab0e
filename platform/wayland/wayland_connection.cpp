#include "platform/wayland/wayland_connection.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace {

constexpr int MAX_OUTPUTS = 16;
constexpr int REQUESTS_PER_FLUSH = 32; // far below libwayland's 4 KiB buffer
// How long applications get to bind their keyboard or pointer once our device
// has given the seat that capability: events sent before they have one are
// lost to them (Chromium under load took over 100 ms).
constexpr uint32_t SETTLE_MS = 400;

struct output {
    wl_output* handle = nullptr;
    zxdg_output_v1* logical = nullptr;
    uint32_t name = 0;
    int32_t mode_width = 0;
    int32_t mode_height = 0;
    int32_t scale = 1;
    int32_t x = 0; // from xdg-output, when the compositor offers it
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

wl_display* display;
wl_registry* registry;
wl_seat* seat;
zwp_virtual_keyboard_manager_v1* keyboard_manager;
zwlr_virtual_pointer_manager_v1* pointer_manager;
zxdg_output_manager_v1* output_manager;
zwp_virtual_keyboard_v1* keyboard;
zwlr_virtual_pointer_v1* pointer;
output outputs[MAX_OUTPUTS];
uint32_t seat_capabilities;
uint32_t keyboard_settle_from; // 0: no wait; else when our keyboard appeared
uint32_t pointer_settle_from;
int ending_fd = -1; // readable once the program is asked to end
int requests_unsent;
char display_name[128];
bool connected; // past start-up: losing the compositor is fatal now

void write_error_line(const char* what) {
    char line[512];
    const int length =
        std::snprintf(line, sizeof line, "braskelot_wayland_input: Wayland display \"%s\": %s\n", display_name, what);
    if (length > 0) {
        const size_t size = static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length) : sizeof line - 1;
        const ssize_t ignored = write(STDERR_FILENO, line, size);
        (void)ignored;
    }
}

[[noreturn]] void connection_lost() {
    write_error_line("the connection to the compositor was lost");
    _exit(1);
}

// libwayland reports protocol errors and failed sends on stderr itself; ours
// is the one line, so its messages go nowhere.
void quiet_log(const char* /*format*/, va_list /*arguments*/) {}

// Outputs: the mode's size and the scale give the logical size when xdg-output
// is not offered; a compositor that offers it gives position and size.
void output_geometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                     int32_t) {}
void output_mode(void* data, wl_output* /*handle*/, uint32_t flags, int32_t width, int32_t height,
                 int32_t /*refresh*/) {
    auto* entry = static_cast<output*>(data);
    if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
    entry->mode_width = width;
    entry->mode_height = height;
}
void output_done(void*, wl_output*) {}
void output_scale(void* data, wl_output* /*handle*/, int32_t factor) {
    static_cast<output*>(data)->scale = factor > 0 ? factor : 1;
}
void output_name(void*, wl_output*, const char*) {}
void output_description(void*, wl_output*, const char*) {}
const wl_output_listener OUTPUT_LISTENER = {output_geometry, output_mode, output_done,
                                            output_scale,    output_name, output_description};

void logical_position(void* data, zxdg_output_v1* /*handle*/, int32_t x, int32_t y) {
    static_cast<output*>(data)->x = x;
    static_cast<output*>(data)->y = y;
}
void logical_size(void* data, zxdg_output_v1* /*handle*/, int32_t width, int32_t height) {
    static_cast<output*>(data)->width = width;
    static_cast<output*>(data)->height = height;
}
void logical_done(void*, zxdg_output_v1*) {}
void logical_name(void*, zxdg_output_v1*, const char*) {}
void logical_description(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener LOGICAL_LISTENER = {logical_position, logical_size, logical_done, logical_name,
                                                  logical_description};

void watch_logical(output* entry) {
    if (output_manager == nullptr || entry->handle == nullptr || entry->logical != nullptr) return;
    entry->logical = zxdg_output_manager_v1_get_xdg_output(output_manager, entry->handle);
    zxdg_output_v1_add_listener(entry->logical, &LOGICAL_LISTENER, entry);
}

void add_output(uint32_t name, uint32_t version) {
    for (output& entry : outputs) {
        if (entry.handle != nullptr) continue;
        entry = output{};
        entry.name = name;
        entry.scale = 1;
        entry.handle =
            static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, version < 2 ? version : 2));
        wl_output_add_listener(entry.handle, &OUTPUT_LISTENER, &entry);
        watch_logical(&entry);
        return;
    }
}

void seat_capabilities_changed(void* /*data*/, wl_seat* /*seat*/, uint32_t capabilities) {
    seat_capabilities = capabilities;
}
void seat_name(void*, wl_seat*, const char*) {}
const wl_seat_listener SEAT_LISTENER = {seat_capabilities_changed, seat_name};

void global_added(void* /*data*/, wl_registry* /*registry*/, uint32_t name, const char* interface, uint32_t version) {
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && seat == nullptr) {
        seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        wl_seat_add_listener(seat, &SEAT_LISTENER, nullptr);
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
        keyboard_manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        pointer_manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
        output_manager = static_cast<zxdg_output_manager_v1*>(
            wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, version < 2 ? version : 2));
        for (output& entry : outputs) watch_logical(&entry);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        add_output(name, version);
    }
}

void global_removed(void* /*data*/, wl_registry* /*registry*/, uint32_t name) {
    for (output& entry : outputs) {
        if (entry.handle == nullptr || entry.name != name) continue;
        if (entry.logical != nullptr) zxdg_output_v1_destroy(entry.logical);
        wl_output_destroy(entry.handle);
        entry = output{};
    }
}

const wl_registry_listener REGISTRY_LISTENER = {global_added, global_removed};

void check(int result) {
    if (result < 0) connection_lost();
}

void refuse_missing() {
    char what[400];
    const char* separator = "";
    size_t length = 0;
    const auto add = [&](const char* text) {
        const int written = std::snprintf(what + length, sizeof what - length, "%s%s", separator, text);
        if (written > 0)
            length += static_cast<size_t>(written) < sizeof what - length ? static_cast<size_t>(written) : 0;
        separator = ", ";
    };
    length = static_cast<size_t>(std::snprintf(what, sizeof what, "the compositor offers no "));
    if (seat == nullptr) add("wl_seat");
    if (keyboard_manager == nullptr) add("zwp_virtual_keyboard_manager_v1 (virtual-keyboard-unstable-v1)");
    if (pointer_manager == nullptr) add("zwlr_virtual_pointer_manager_v1 (wlr-virtual-pointer-unstable-v1)");
    std::snprintf(what + length, sizeof what - length,
                  "; wlroots compositors such as sway offer them, GNOME and KDE do not");
    write_error_line(what);
    std::exit(1);
}

} // namespace

void wayland_connect() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    std::snprintf(display_name, sizeof display_name, "%s", name != nullptr ? name : "");
    if (name == nullptr || name[0] == '\0') {
        write_error_line("WAYLAND_DISPLAY is not set");
        std::exit(1);
    }
    display = wl_display_connect(nullptr);
    if (display == nullptr) {
        write_error_line("cannot connect to the compositor");
        std::exit(1);
    }
    wl_log_set_handler_client(quiet_log);
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &REGISTRY_LISTENER, nullptr);
    // The globals, then what the outputs and their logical views tell.
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0) {
        write_error_line("the compositor ended the connection at start-up");
        std::exit(1);
    }
    if (seat == nullptr || keyboard_manager == nullptr || pointer_manager == nullptr) refuse_missing();
    // A seat with no keyboard (or pointer) gains one with ours; the first
    // event of that kind then waits for the applications to bind theirs.
    const uint32_t before = seat_capabilities;
    const uint32_t created = wayland_now() | 1u;
    if ((before & WL_SEAT_CAPABILITY_KEYBOARD) == 0) keyboard_settle_from = created;
    if ((before & WL_SEAT_CAPABILITY_POINTER) == 0) pointer_settle_from = created;
    keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboard_manager, seat);
    pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointer_manager, seat);
    if (wl_display_roundtrip(display) < 0) {
        write_error_line("the compositor refused the virtual keyboard or pointer");
        std::exit(1);
    }
    connected = true;
}

zwp_virtual_keyboard_v1* wayland_keyboard() { return keyboard; }
zwlr_virtual_pointer_v1* wayland_pointer() { return pointer; }

output_box wayland_output_box() {
    bool any = false;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    for (const output& entry : outputs) {
        if (entry.handle == nullptr) continue;
        int32_t width = entry.width;
        int32_t height = entry.height;
        if (entry.logical == nullptr || width <= 0 || height <= 0) {
            width = entry.mode_width / entry.scale;
            height = entry.mode_height / entry.scale;
        }
        if (width <= 0 || height <= 0) continue;
        if (!any || entry.x < left) left = entry.x;
        if (!any || entry.y < top) top = entry.y;
        if (!any || entry.x + width > right) right = entry.x + width;
        if (!any || entry.y + height > bottom) bottom = entry.y + height;
        any = true;
    }
    return {left, top, right - left, bottom - top};
}

uint32_t wayland_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void wayland_flush() {
    requests_unsent = 0;
    while (wl_display_flush(display) < 0) {
        if (errno != EAGAIN) connection_lost();
        pollfd writable = {wl_display_get_fd(display), POLLOUT, 0};
        if (poll(&writable, 1, -1) < 0 && errno != EINTR) connection_lost();
        if ((writable.revents & (POLLHUP | POLLERR)) != 0) connection_lost();
    }
}

void wayland_note_request() {
    if (++requests_unsent >= REQUESTS_PER_FLUSH) wayland_flush();
}

void wayland_watch_ending(int fd) { ending_fd = fd; }

bool wayland_wait(int fd, int timeout_ms) {
    for (;;) {
        while (wl_display_prepare_read(display) != 0) check(wl_display_dispatch_pending(display));
        wayland_flush();
        pollfd watched[3] = {{fd, POLLIN, 0}, {wl_display_get_fd(display), POLLIN, 0}, {ending_fd, POLLIN, 0}};
        const int ready = poll(watched, 3, timeout_ms);
        if (ready <= 0) {
            wl_display_cancel_read(display);
            if (ready == 0) return false;
            if (errno == EINTR) continue; // a signal's byte is on the ending descriptor
            return true;                  // the read that follows reports it
        }
        if (watched[1].revents != 0) {
            // A closed connection reads as an error here, so a dead
            // compositor cannot make this spin.
            check(wl_display_read_events(display));
            check(wl_display_dispatch_pending(display));
        } else {
            wl_display_cancel_read(display);
        }
        if (watched[0].revents != 0 || watched[2].revents != 0) return true;
        if (timeout_ms >= 0) return false; // events only: the caller checks its clock
    }
}

void wayland_wait_for_input(int fd) { wayland_wait(fd, -1); }

namespace {

// Waits, handling events, until SETTLE_MS after *from; then never again.
void settle(uint32_t* from) {
    while (*from != 0) {
        const uint32_t waited = wayland_now() - *from;
        if (waited >= SETTLE_MS) break;
        wayland_wait(-1, static_cast<int>(SETTLE_MS - waited));
        if (wayland_ending_requested()) return;
    }
    *from = 0;
}

} // namespace

void wayland_settle_keyboard() { settle(&keyboard_settle_from); }
void wayland_settle_pointer() { settle(&pointer_settle_from); }

void wayland_round_trip() {
    requests_unsent = 0;
    check(wl_display_roundtrip(display));
}

void wayland_disconnect() {
    if (!connected) return;
    zwp_virtual_keyboard_v1_destroy(keyboard);
    zwlr_virtual_pointer_v1_destroy(pointer);
    // Destroyed once the compositor has processed the releases before them.
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    connected = false;
}

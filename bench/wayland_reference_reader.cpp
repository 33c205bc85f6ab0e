// The floor for the Wayland MOVE latency (bench/wayland_bench.py): reads MOVE
// and PING lines as braskelot_wayland_input does and sends the least a
// wlroots compositor needs for each: one absolute motion and a frame over the
// first output's mode, flushed at the end of each chunk read; PING answers
// after a round trip. Nothing else (no keyboard, no clamping to several
// outputs, no error lines). It is a yardstick, not a product.
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

constexpr char READY_LINE[] = "BRASKELOT_WIN_INPUT_READY\r\n";
constexpr char PONG_LINE[] = "PONG\r\n";
constexpr size_t MAX_LINE = 512;

wl_display* display = nullptr;
wl_seat* seat = nullptr;
wl_output* output = nullptr;
zwlr_virtual_pointer_manager_v1* manager = nullptr;
zwlr_virtual_pointer_v1* pointer = nullptr;
int32_t width = 0;
int32_t height = 0;

void output_geometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                     int32_t) {}
void output_mode(void*, wl_output*, uint32_t flags, int32_t w, int32_t h, int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        width = w;
        height = h;
    }
}
void output_done(void*, wl_output*) {}
void output_scale(void*, wl_output*, int32_t) {}
void output_name(void*, wl_output*, const char*) {}
const wl_output_listener OUTPUT_LISTENER = {output_geometry, output_mode, output_done,
                                            output_scale,    output_name, output_name};

void global_added(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && seat == nullptr) {
        seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && output == nullptr) {
        output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2));
        wl_output_add_listener(output, &OUTPUT_LISTENER, nullptr);
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}
void global_removed(void*, wl_registry*, uint32_t) {}
const wl_registry_listener REGISTRY_LISTENER = {global_added, global_removed};

uint32_t now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void write_all(const char* text) {
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t done = write(STDOUT_FILENO, text, left);
        if (done <= 0) std::exit(1);
        text += done;
        left -= static_cast<size_t>(done);
    }
}

uint32_t clamp(long value, int32_t size) {
    if (value < 0) return 0;
    if (value >= size) return static_cast<uint32_t>(size - 1);
    return static_cast<uint32_t>(value);
}

void handle(const char* line) {
    if (std::strncmp(line, "MOVE ", 5) == 0) {
        char* end = nullptr;
        const long x = std::strtol(line + 5, &end, 10);
        const long y = std::strtol(end, nullptr, 10);
        zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), clamp(x, width), clamp(y, height),
                                                static_cast<uint32_t>(width), static_cast<uint32_t>(height));
        zwlr_virtual_pointer_v1_frame(pointer);
    } else if (std::strcmp(line, "PING") == 0) {
        if (wl_display_roundtrip(display) < 0) std::exit(1);
        write_all(PONG_LINE);
    } else if (std::strcmp(line, "QUIT") == 0) {
        std::exit(0);
    }
}

} // namespace

int main() {
    display = wl_display_connect(nullptr);
    if (display == nullptr) return 1;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &REGISTRY_LISTENER, nullptr);
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0) return 1;
    if (manager == nullptr || width <= 0 || height <= 0) return 1;
    pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    if (wl_display_roundtrip(display) < 0) return 1;
    write_all(READY_LINE);

    static char chunk[4096];
    static char line[MAX_LINE];
    size_t length = 0;
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) break;
        for (ssize_t i = 0; i < got; ++i) {
            const char c = chunk[i];
            if (c == '\n') {
                if (length > 0 && line[length - 1] == '\r') --length;
                line[length] = '\0';
                handle(line);
                length = 0;
            } else if (length + 1 < MAX_LINE) {
                line[length++] = c;
            }
        }
        if (wl_display_flush(display) < 0) return 1;
    }
    wl_display_disconnect(display);
    return 0;
}

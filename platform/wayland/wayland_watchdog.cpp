#include "platform/wayland/wayland_watchdog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wayland-client.h>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

constexpr uint32_t BTN_LEFT = 0x110;
constexpr int BUTTON_BITS = 8;
constexpr int MAX_INHERITED_FD = 1024;

// Shared with the watchdog: written by the program, read once it has ended.
struct shared_record {
    volatile uint32_t buttons_down;
};

shared_record* record;

struct found_globals {
    wl_seat* seat;
    zwlr_virtual_pointer_manager_v1* pointer_manager;
};

void global_added(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t /*version*/) {
    auto* found = static_cast<found_globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && found->seat == nullptr) {
        found->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        found->pointer_manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}
void global_removed(void*, wl_registry*, uint32_t) {}
const wl_registry_listener REGISTRY_LISTENER = {global_added, global_removed};

// The compositor counts the seat's buttons, not each device's: a release from
// a pointer of our own ends the grab the dead program's press began.
void release_buttons(uint32_t mask) {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) return;
    found_globals found = {};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &REGISTRY_LISTENER, &found);
    if (wl_display_roundtrip(display) >= 0 && found.seat != nullptr && found.pointer_manager != nullptr) {
        zwlr_virtual_pointer_v1* pointer =
            zwlr_virtual_pointer_manager_v1_create_virtual_pointer(found.pointer_manager, found.seat);
        for (uint32_t bit = 0; bit < BUTTON_BITS; ++bit) {
            if ((mask & (1u << bit)) == 0) continue;
            zwlr_virtual_pointer_v1_button(pointer, 0, BTN_LEFT + bit, 0);
            zwlr_virtual_pointer_v1_frame(pointer);
        }
        wl_display_roundtrip(display);
        zwlr_virtual_pointer_v1_destroy(pointer);
        wl_display_roundtrip(display);
    }
    wl_display_disconnect(display);
}

[[noreturn]] void watch(int life) {
    setsid();
    const int null = open("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2; ++fd) dup2(null, fd);
    for (int fd = 3; fd < MAX_INHERITED_FD; ++fd) {
        if (fd != life) close(fd);
    }
    constexpr int IGNORED[] = {SIGINT, SIGHUP, SIGTERM, SIGPIPE};
    for (const int number : IGNORED) signal(number, SIG_IGN);
    // End of file: every copy of the other end is closed, the program is gone.
    char byte = 0;
    while (read(life, &byte, 1) != 0) {
        if (errno != EINTR) break;
    }
    const uint32_t mask = record->buttons_down;
    if (mask != 0) release_buttons(mask);
    _exit(0);
}

} // namespace

void wayland_watchdog_start() {
    void* shared = mmap(nullptr, sizeof(shared_record), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return;
    record = static_cast<shared_record*>(shared);
    record->buttons_down = 0;
    int life[2];
    if (pipe2(life, O_CLOEXEC) != 0) return;
    const pid_t child = fork();
    if (child == 0) {
        close(life[1]);
        // A second fork: the watchdog is nobody's child the controller waits for.
        if (fork() != 0) _exit(0);
        watch(life[0]);
    }
    close(life[0]);
    if (child > 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

void wayland_watchdog_note_buttons(uint32_t mask) {
    if (record != nullptr) record->buttons_down = mask;
}

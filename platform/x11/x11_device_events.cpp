#include "platform/x11/x11_device_events.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_signals.h"
#include "platform/x11/x11_watchdog.h"

namespace {

constexpr int MAX_HELD = 4096;

enum class kind : uint8_t { key, button, motion, group };

struct device_event {
    kind what;
    bool press;
    uint8_t keycode;
    unsigned int button;
    int x;
    int y;
};

device_event held[MAX_HELD];
int held_count;
bool holding;
uint64_t made;
uint64_t sent;
void (*on_full)();

void send(const device_event& event) {
    Display* display = x11_display();
    // The watchdog's record covers a press before it leaves, a release after.
    switch (event.what) {
    case kind::key:
        if (event.press) x11_watchdog_note_key(event.keycode, true);
        XTestFakeKeyEvent(display, event.keycode, event.press ? True : False, CurrentTime);
        if (!event.press) x11_watchdog_note_key(event.keycode, false);
        break;
    case kind::button:
        if (event.press) x11_watchdog_note_button(event.button, true);
        XTestFakeButtonEvent(display, event.button, event.press ? True : False, CurrentTime);
        if (!event.press) x11_watchdog_note_button(event.button, false);
        break;
    case kind::motion: XTestFakeMotionEvent(display, DefaultScreen(display), event.x, event.y, CurrentTime); break;
    case kind::group:
        x11_watchdog_note_locked_group(static_cast<int>(event.button));
        XkbLockGroup(display, XkbUseCoreKbd, event.button);
        break;
    }
}

uint64_t put(const device_event& event) {
    x11_signals_check(); // a signal ends the run before anything new is pressed
    if (holding && held_count == MAX_HELD && on_full != nullptr) on_full();
    if (!holding || held_count == MAX_HELD) {
        send(event);
        sent = ++made;
        return made;
    }
    held[held_count++] = event;
    return ++made;
}

} // namespace

uint64_t x11_device_key(uint8_t keycode, bool press) { return put({kind::key, press, keycode, 0, 0, 0}); }

void x11_device_button(unsigned int button, bool press) { put({kind::button, press, 0, button, 0, 0}); }

void x11_device_motion(int x, int y) { put({kind::motion, false, 0, 0, x, y}); }

void x11_device_lock_group(unsigned int group) { put({kind::group, false, 0, group, 0, 0}); }

void x11_device_hold() { holding = true; }

bool x11_device_holding() { return holding; }

void x11_device_send_held(const bool* dropped_keycodes) {
    for (int i = 0; i < held_count; ++i) {
        const device_event& event = held[i];
        if (event.what != kind::key || dropped_keycodes == nullptr || !dropped_keycodes[event.keycode]) send(event);
    }
    held_count = 0;
    holding = false;
    sent = made;
}

uint64_t x11_device_sent() { return sent; }

void x11_device_on_full(void (*full)()) { on_full = full; }

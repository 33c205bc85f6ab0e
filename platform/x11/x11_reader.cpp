#include "platform/x11/x11_reader.h"

#include <X11/Xatom.h>

#include "platform/x11/x11_connection.h"

namespace {

constexpr int MAX_DEPTH = 32; // of the walk up from the focus window

Atom wm_protocols;
Atom net_wm_ping;
Window focus_seen = None; // the focus the reader below was found for
Window reader = None;     // the window that answers for it, None when none does
Window hung_reader = None;
uint32_t hung_serial;
uint32_t sent_serial;
uint32_t answered_serial;

// Serials wrap; a later one is less than half the range ahead.
bool answered(uint32_t serial) { return static_cast<int32_t>(answered_serial - serial) >= 0; }

uint32_t awaited;
bool awaited_answered() { return answered(awaited); }

// 0: no WM_PROTOCOLS; 1: it has them, without the ping; 2: with the ping.
int protocols_of(Window window) {
    Atom* protocols = nullptr;
    int count = 0;
    if (XGetWMProtocols(x11_display(), window, &protocols, &count) == 0) return 0;
    int found = 1;
    for (int i = 0; i < count; ++i) {
        if (protocols[i] == net_wm_ping) found = 2;
    }
    XFree(protocols);
    return found;
}

Window parent_of(Window window) {
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(x11_display(), window, &root, &parent, &children, &count) == 0) return None;
    if (children != nullptr) XFree(children);
    return parent == root ? None : parent;
}

// The top-level window of an application: the first with WM_PROTOCOLS on the
// way up from the focus. A window manager's frame, above it, has none.
Window answering_window(Window focus) {
    Window window = focus;
    for (int depth = 0; window != None && depth < MAX_DEPTH; ++depth) {
        const int protocols = protocols_of(window);
        if (protocols == 2) return window;
        if (protocols == 1) return None;
        window = parent_of(window);
    }
    return None;
}

// With the focus on the root (or following the pointer) keys go to the
// window under the pointer: a top-level window, or a frame around one.
Window pointer_top_level() {
    Display* display = x11_display();
    Window root = None;
    Window child = None;
    int root_x = 0;
    int root_y = 0;
    int x = 0;
    int y = 0;
    unsigned int mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &root_x, &root_y, &x, &y, &mask);
    if (child == None || protocols_of(child) != 0) return child;
    Window* children = nullptr;
    unsigned int count = 0;
    Window parent = None;
    if (XQueryTree(display, child, &root, &parent, &children, &count) == 0) return None;
    Window found = None;
    for (unsigned int i = 0; i < count && found == None; ++i) {
        if (protocols_of(children[i]) != 0) found = children[i];
    }
    if (children != nullptr) XFree(children);
    return found;
}

Window find_reader() {
    Display* display = x11_display();
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    const Window root = DefaultRootWindow(display);
    const bool follows_pointer = focus == PointerRoot || focus == root;
    if (!follows_pointer && focus == focus_seen) return reader;
    focus_seen = follows_pointer ? None : focus;
    if (focus == None) {
        reader = None;
    } else if (follows_pointer) {
        const Window top = pointer_top_level();
        reader = top != None ? answering_window(top) : None;
    } else {
        reader = answering_window(focus);
    }
    return reader;
}

void send_ping(Window window, uint32_t serial) {
    XEvent ping{};
    ping.xclient.type = ClientMessage;
    ping.xclient.window = window;
    ping.xclient.message_type = wm_protocols;
    ping.xclient.format = 32;
    ping.xclient.data.l[0] = static_cast<long>(net_wm_ping);
    ping.xclient.data.l[1] = CurrentTime;
    ping.xclient.data.l[2] = static_cast<long>(window);
    ping.xclient.data.l[3] = static_cast<long>(serial); // echoed back, as the rest
    XSendEvent(x11_display(), window, False, NoEventMask, &ping);
}

} // namespace

void x11_reader_watch() {
    Display* display = x11_display();
    wm_protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    net_wm_ping = XInternAtom(display, "_NET_WM_PING", False);
    // Toolkits answer to the root with one or the other of these masks.
    XSelectInput(display, DefaultRootWindow(display), StructureNotifyMask | SubstructureNotifyMask);
}

bool x11_reader_take_event(const XEvent* event) {
    if (event->type != ClientMessage || event->xclient.message_type != wm_protocols ||
        static_cast<Atom>(event->xclient.data.l[0]) != net_wm_ping) {
        return false;
    }
    const auto serial = static_cast<uint32_t>(event->xclient.data.l[3]);
    // Only serials we sent count (another program's ping may pass by).
    if (static_cast<int32_t>(sent_serial - serial) >= 0 && static_cast<int32_t>(serial - answered_serial) > 0) {
        answered_serial = serial;
    }
    return true;
}

bool x11_reader_sync() {
    const Window window = find_reader();
    if (window == None) return false;
    if (window == hung_reader) {
        awaited = hung_serial;
        if (!x11_wait_until(awaited_answered, 0)) return false;
        hung_reader = None; // it answered late: it lives, and is waited for again
    }
    awaited = ++sent_serial;
    send_ping(window, awaited);
    if (x11_wait_until(awaited_answered, READER_ANSWER_TIMEOUT_US)) return true;
    hung_reader = window;
    hung_serial = awaited;
    return false;
}

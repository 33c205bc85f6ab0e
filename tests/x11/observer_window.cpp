#include "observer_window.h"

#include "observer_keymap.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace {

Display* own = nullptr;
Window window = 0;
int xkb_event_base = -1;
std::vector<unsigned> window_text; // code points its lookup read since the last take_window_text
std::mutex window_lock;            // window_text and the catch-up below
std::condition_variable window_caught_up;
bool catch_up_done = false;
int wake_window[2] = {-1, -1}; // a pipe: the window's thread catches up when a byte comes
Atom wm_protocols = None;
Atom net_wm_ping = None;
bool answer_pings = true;

// A toolkit's answer: the ping goes back to the root window once the event
// loop gets to it.
void answer_ping(XEvent& event) {
    XEvent answer = event;
    answer.xclient.window = DefaultRootWindow(own);
    XSendEvent(own, answer.xclient.window, False, SubstructureNotifyMask | SubstructureRedirectMask, &answer);
    XFlush(own);
}

// What an ordinary client makes of a key press: its own lookup, with the
// keymap Xlib holds when the event is handled here.
void look_up_key(XKeyEvent& key) {
    char bytes[32];
    KeySym sym = NoSymbol;
    XLookupString(&key, bytes, sizeof bytes, &sym, nullptr);
    unsigned cp = keysym_code_point(sym);
    if (cp != 0) {
        std::lock_guard<std::mutex> hold(window_lock);
        window_text.push_back(cp);
    }
}

void on_window_event(XEvent& event) {
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
    } else if (xkb_event_base >= 0 && event.type == xkb_event_base) {
        auto* xkb = reinterpret_cast<XkbEvent*>(&event);
        if (xkb->any.xkb_type == XkbMapNotify) {
            XkbRefreshKeyboardMapping(&xkb->map);
        }
    } else if (event.type == KeyPress) {
        look_up_key(event.xkey);
    } else if (event.type == ClientMessage && event.xclient.message_type == wm_protocols &&
               static_cast<Atom>(event.xclient.data.l[0]) == net_wm_ping) {
        if (answer_pings) answer_ping(event);
    } else if (event.type == FocusOut) {
        XSetInputFocus(own, window, RevertToParent, CurrentTime);
    }
}

void handle_window_events() {
    while (XPending(own) > 0) {
        XEvent event;
        XNextEvent(own, &event);
        on_window_event(event);
    }
}

void run_window() {
    for (;;) {
        handle_window_events();
        pollfd fds[2] = {{ConnectionNumber(own), POLLIN, 0}, {wake_window[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            continue;
        }
        if (fds[0].revents & (POLLHUP | POLLERR)) {
            return;
        }
        if (fds[1].revents & POLLIN) {
            char byte = 0;
            if (read(wake_window[0], &byte, 1) != 1) {
                return;
            }
            XSync(own, False); // every event the server sent before now is queued
            handle_window_events();
            std::lock_guard<std::mutex> hold(window_lock);
            catch_up_done = true;
            window_caught_up.notify_one();
        }
    }
}

} // namespace

bool open_window_connection() {
    own = XOpenDisplay(nullptr);
    return own != nullptr && pipe(wake_window) == 0;
}

Window create_window(bool with_xkb, const char* pings) {
    int opcode = 0;
    int event_base = 0;
    int error_base = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (with_xkb && XkbQueryExtension(own, &opcode, &event_base, &error_base, &major, &minor) &&
        XkbSelectEvents(own, XkbUseCoreKbd, XkbMapNotifyMask, XkbMapNotifyMask)) {
        xkb_event_base = event_base;
    }
    window = XCreateSimpleWindow(own, DefaultRootWindow(own), 0, 0, 64, 64, 0, 0, 0);
    XSelectInput(own, window, KeyPressMask | FocusChangeMask | StructureNotifyMask);
    const std::string ping_mode = pings != nullptr ? pings : "answer";
    if (ping_mode != "none") {
        wm_protocols = XInternAtom(own, "WM_PROTOCOLS", False);
        net_wm_ping = XInternAtom(own, "_NET_WM_PING", False);
        XSetWMProtocols(own, window, &net_wm_ping, 1);
        answer_pings = ping_mode != "ignore";
    }
    XMapWindow(own, window);
    for (;;) { // focus may only go to a viewable window
        XEvent event;
        XNextEvent(own, &event);
        if (event.type == MapNotify) {
            break;
        }
    }
    XSetInputFocus(own, window, RevertToParent, CurrentTime);
    XSync(own, False);
    return window;
}

void serve_window() { std::thread(run_window).detach(); }

std::vector<unsigned> take_window_text() {
    std::vector<unsigned> taken;
    std::unique_lock<std::mutex> hold(window_lock);
    catch_up_done = false;
    const char byte = 'x';
    if (write(wake_window[1], &byte, 1) == 1) {
        window_caught_up.wait(hold, [] { return catch_up_done; });
    }
    taken.swap(window_text);
    return taken;
}

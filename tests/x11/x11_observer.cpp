// The X event observer: prints every key, button and motion event the X server
// processes, in server order, through the RECORD extension, and answers
// markers and queries on standard input (see tests/x11/README.md).
//
// A marker is a ChangeProperty request on the observer's own window, recorded
// in the same stream as the device events: the server records it when it
// dispatches it, so every event processed before it is already in the stream.
// The keymap is mirrored from the same stream (core ChangeKeyboardMapping
// requests applied as they come, a fresh read after any XKB request), so each
// key event names the keysym its keycode carried at that moment.
//
// Three connections: this one for queries and markers, one the recorded
// stream is read on (observer_record), and the window's own (observer_window).
#include "observer_keymap.h"
#include "observer_record.h"
#include "observer_window.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/record.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

Display* control = nullptr; // queries and the marker requests
Window window = 0;
Atom mark_atom = 0;

bool bit_set(const char* bits, int k) {
    return ((static_cast<unsigned>(static_cast<unsigned char>(bits[k / 8])) >> (k % 8)) & 1U) != 0;
}

void answer(const std::string& line) {
    if (line.rfind("MARK", 0) == 0) {
        std::string label = line.size() > 5 ? line.substr(5) : "";
        XChangeProperty(control, window, mark_atom, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(label.data()), static_cast<int>(label.size()));
        // The server sends recorded data only when it flushes output to some
        // client, and a ChangeProperty makes none: a round trip makes one.
        XSync(control, False);
        return;
    }
    std::string out;
    if (line == "POS") {
        Window root = 0;
        Window child = 0;
        int rx = 0;
        int ry = 0;
        int wx = 0;
        int wy = 0;
        unsigned mask = 0;
        XQueryPointer(control, DefaultRootWindow(control), &root, &child, &rx, &ry, &wx, &wy, &mask);
        out = "POS " + std::to_string(rx) + " " + std::to_string(ry);
    } else if (line == "KEYS") {
        char keys[32];
        XQueryKeymap(control, keys);
        out = "KEYS";
        for (int k = 0; k < 256; ++k) {
            if (bit_set(keys, k)) {
                out += " " + std::to_string(k);
            }
        }
    } else if (line == "TEXT" || line == "WTEXT") {
        std::vector<unsigned> received = line == "TEXT" ? take_text() : take_window_text();
        out = line;
        char hex[16];
        for (unsigned cp : received) {
            std::snprintf(hex, sizeof hex, " %x", cp);
            out += hex;
        }
    } else if (line == "REPEATOFF") {
        XKeyboardState state{};
        XGetKeyboardControl(control, &state);
        int min_keycode = 0;
        int max_keycode = 0;
        XDisplayKeycodes(control, &min_keycode, &max_keycode);
        out = "REPEATOFF";
        for (int k = min_keycode; k <= max_keycode; ++k) {
            if (!bit_set(state.auto_repeats, k)) {
                out += " " + std::to_string(k);
            }
        }
    } else if (line == "BOUND") {
        out = "BOUND" + bound_spare_keycodes();
    } else {
        return;
    }
    std::printf("%s\n", out.c_str());
    std::fflush(stdout);
}

bool start() {
    control = XOpenDisplay(nullptr);
    if (control == nullptr || !open_record_connection() || !open_window_connection()) {
        std::fprintf(stderr, "observer: cannot open display %s\n", XDisplayName(nullptr));
        return false;
    }
    int major = 0;
    int minor = 0;
    if (XRecordQueryVersion(control, &major, &minor) == 0) {
        std::fprintf(stderr, "observer: display %s has no RECORD extension\n", XDisplayName(nullptr));
        return false;
    }
    int xkb_major = -1;
    int xkb_opcode = 0;
    int event_base = 0;
    int error_base = 0;
    int xkb_maj = XkbMajorVersion;
    int xkb_min = XkbMinorVersion;
    if (XkbQueryExtension(control, &xkb_opcode, &event_base, &error_base, &xkb_maj, &xkb_min)) {
        xkb_major = xkb_opcode;
    }
    start_keymap(control);
    mark_atom = XInternAtom(control, "BRASKELOT_OBSERVER_MARK", False);
    window = create_window(xkb_major >= 0, std::getenv("BRASKELOT_OBSERVER_PINGS"));
    if (!start_recording(control, window, mark_atom, xkb_major)) {
        std::fprintf(stderr, "observer: cannot record on display %s\n", XDisplayName(nullptr));
        return false;
    }
    XSync(control, False);
    serve_window();
    std::printf("OBSERVER_READY\n");
    std::fflush(stdout);
    return true;
}

} // namespace

int main() {
    XInitThreads();                  // the window's connection is served by a thread of its own
    static char out_buffer[1 << 16]; // a recorded batch in few writes
    std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
    if (!start()) {
        return 1;
    }
    std::string pending;
    for (;;) {
        // The recorded lines go out a batch at a time.
        read_record();
        std::fflush(stdout);
        while (XPending(control) > 0) { // none selected; errors and the like
            XEvent event;
            XNextEvent(control, &event);
        }
        if (record_ended()) {
            return 1;
        }
        pollfd fds[3] = {{0, POLLIN, 0}, {record_fd(), POLLIN, 0}, {ConnectionNumber(control), POLLIN, 0}};
        if (poll(fds, 3, 1000) < 0) {
            continue;
        }
        if ((fds[1].revents | fds[2].revents) & (POLLHUP | POLLERR)) {
            return 1;
        }
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buffer[4096];
            ssize_t n = read(0, buffer, sizeof buffer);
            if (n <= 0) {
                return 0;
            }
            pending.append(buffer, static_cast<size_t>(n));
            size_t end = 0;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (line == "QUIT") {
                    return 0;
                }
                answer(line);
            }
        }
    }
}

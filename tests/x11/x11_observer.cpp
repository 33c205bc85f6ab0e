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
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/extensions/record.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

Display* control = nullptr; // queries and the marker requests
Display* own = nullptr;     // the window's own connection, served by its own thread
Display* data = nullptr;    // the recorded stream
Window window = 0;
Atom mark_atom = 0;
int xkb_major = -1;
int min_keycode = 8;
int max_keycode = 255;
int syms_per_code = 1;
std::vector<KeySym> keymap;        // mirror: (keycode - min) * syms_per_code + level
std::vector<bool> spare;           // keycodes that had no keysym at start
std::vector<unsigned> text;        // code points received by the window since the last TEXT
std::vector<unsigned> window_text; // ... as its own lookup read them, since the last WTEXT
std::mutex window_lock;            // window_text and the catch-up below
std::condition_variable window_caught_up;
bool catch_up_done = false;
int wake_window[2] = {-1, -1}; // a pipe: the window's thread catches up when a byte comes
int xkb_event_base = -1;
bool ended = false;

void read_keymap() {
    int count = max_keycode - min_keycode + 1;
    int per = 0;
    KeySym* syms = XGetKeyboardMapping(control, static_cast<KeyCode>(min_keycode), count, &per);
    syms_per_code = per > 0 ? per : 1;
    keymap.assign(static_cast<size_t>(count * syms_per_code), NoSymbol);
    if (syms != nullptr) {
        for (size_t i = 0; i < keymap.size(); ++i) {
            keymap[i] = syms[i];
        }
        XFree(syms);
    }
}

bool carries_keysym(int keycode) {
    for (int level = 0; level < syms_per_code; ++level) {
        if (keymap[static_cast<size_t>((keycode - min_keycode) * syms_per_code + level)] != NoSymbol) {
            return true;
        }
    }
    return false;
}

KeySym first_keysym(int keycode) {
    if (keycode < min_keycode || keycode > max_keycode) {
        return NoSymbol;
    }
    for (int level = 0; level < syms_per_code; ++level) {
        KeySym sym = keymap[static_cast<size_t>((keycode - min_keycode) * syms_per_code + level)];
        if (sym != NoSymbol) {
            return sym;
        }
    }
    return NoSymbol;
}

std::string keysym_name(KeySym sym) {
    if (sym == NoSymbol) {
        return "NoSymbol";
    }
    const char* name = XKeysymToString(sym);
    if (name != nullptr) {
        return name;
    }
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%lx", sym);
    return hex;
}

uint32_t card32(const unsigned char* p, bool swapped) {
    uint32_t v = 0;
    std::memcpy(&v, p, 4);
    return swapped ? __builtin_bswap32(v) : v;
}

uint16_t card16(const unsigned char* p, bool swapped) {
    uint16_t v = 0;
    std::memcpy(&v, p, 2);
    return swapped ? __builtin_bswap16(v) : v;
}

// A core ChangeKeyboardMapping as the server will apply it.
void apply_keymap_change(const unsigned char* req, bool swapped) {
    int codes = req[1];
    int first = req[4];
    int per = req[5];
    if (per > syms_per_code) {
        read_keymap(); // the server widens the map; read it whole
        return;
    }
    // Fewer keysyms than the map is wide: the rest of each key's row is empty.
    // (Reading the map here instead would see the server's later state.)
    for (int c = 0; c < codes; ++c) {
        int keycode = first + c;
        if (keycode < min_keycode || keycode > max_keycode) {
            continue;
        }
        for (int level = 0; level < syms_per_code; ++level) {
            keymap[static_cast<size_t>((keycode - min_keycode) * syms_per_code + level)] =
                level < per ? card32(req + 8 + 4 * (c * per + level), swapped) : NoSymbol;
        }
    }
}

unsigned keysym_code_point(KeySym sym) {
    if ((sym >= 0x20 && sym <= 0x7e) || (sym >= 0xa0 && sym <= 0xff)) {
        return static_cast<unsigned>(sym);
    }
    if (sym >= 0x01000100 && sym <= 0x0110ffff) {
        return static_cast<unsigned>(sym - 0x01000000);
    }
    return 0;
}

std::vector<bool> shift_down(256, false);  // keycodes down that carry Shift
std::vector<bool> level3_down(256, false); // ... ISO_Level3_Shift or Mode_switch

KeySym level_keysym(int keycode, int level) {
    if (level >= syms_per_code) {
        return NoSymbol;
    }
    return keymap[static_cast<size_t>((keycode - min_keycode) * syms_per_code + level)];
}

// The character a key press types, read with the keymap in force when the
// server processed it: the window's own lookup would read a map that the
// program may have changed again since (a spare keycode rebound).
void note_key(int keycode, bool press) {
    if (keycode < min_keycode || keycode > max_keycode) {
        return;
    }
    KeySym first = first_keysym(keycode);
    auto code = static_cast<size_t>(keycode);
    if (first == XK_Shift_L || first == XK_Shift_R) {
        shift_down[code] = press;
    } else if (first == XK_ISO_Level3_Shift || first == XK_Mode_switch) {
        level3_down[code] = press;
    } else if (press) {
        bool shift = false;
        bool level3 = false;
        for (size_t k = 0; k < 256; ++k) {
            shift = shift || shift_down[k];
            level3 = level3 || level3_down[k];
        }
        int base = level3 ? 4 : 0; // core columns: group 1 levels 1-2, group 2, then levels 3-4
        KeySym sym = level_keysym(keycode, base + (shift ? 1 : 0));
        if (sym == NoSymbol && shift) {
            KeySym lower = NoSymbol;
            KeySym upper = NoSymbol;
            XConvertCase(level_keysym(keycode, base), &lower, &upper);
            sym = upper;
        }
        if (sym == NoSymbol) {
            sym = level_keysym(keycode, base);
        }
        unsigned cp = keysym_code_point(sym);
        if (cp != 0) {
            text.push_back(cp);
        }
    }
}

void print_event(const unsigned char* ev, bool swapped) {
    int type = ev[0] & 0x7f;
    int detail = ev[1];
    uint32_t time = card32(ev + 4, swapped);                // the server's clock, ms
    int x = static_cast<int16_t>(card16(ev + 20, swapped)); // rootX
    int y = static_cast<int16_t>(card16(ev + 22, swapped)); // rootY
    if (type == KeyPress || type == KeyRelease) {
        std::printf("key %s keycode=%d keysym=%s time=%u\n", type == KeyPress ? "press" : "release", detail,
                    keysym_name(first_keysym(detail)).c_str(), time);
        note_key(detail, type == KeyPress);
    } else if (type == ButtonPress || type == ButtonRelease) {
        std::printf("button %s button=%d x=%d y=%d time=%u\n", type == ButtonPress ? "press" : "release", detail, x, y,
                    time);
    } else if (type == MotionNotify) {
        std::printf("motion x=%d y=%d\n", x, y);
    }
}

void on_record(XPointer, XRecordInterceptData* d) {
    if (d->category == XRecordEndOfData) {
        ended = true;
    }
    if (d->data == nullptr || d->data_len == 0) {
        XRecordFreeData(d);
        return;
    }
    const unsigned char* p = d->data;
    bool swapped = d->client_swapped != 0;
    if (d->category == XRecordFromServer) {
        print_event(p, swapped);
    } else if (d->category == XRecordFromClient) {
        int major = p[0];
        if (major == X_ChangeKeyboardMapping) {
            apply_keymap_change(p, swapped);
        } else if (major == xkb_major && (p[1] == X_kbSetMap || p[1] == X_kbGetKbdByName)) {
            // Only the requests that change the map: clients refreshing their
            // own copy send XKB reads all the time, and reading the map then
            // would see later changes.
            read_keymap();
        } else if (major == X_ChangeProperty && d->data_len * 4 >= 24) {
            // window(4) property(4) type(4) format(1) pad(3) length(4), then the bytes
            if (card32(p + 8, swapped) == mark_atom && card32(p + 4, swapped) == window) {
                uint32_t len = card32(p + 20, swapped);
                if (24 + len <= d->data_len * 4) {
                    std::printf("MARK %.*s\n", static_cast<int>(len), reinterpret_cast<const char*>(p + 24));
                }
            }
        }
    }
    XRecordFreeData(d);
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

// The window is an ordinary client: a thread of its own handles its events
// as they come, so its lookups never wait for the printing of a long
// recorded batch on the main thread.
void serve_window() {
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

// Waits until the window has handled every event the server sent it so far.
void catch_up_window() {
    std::unique_lock<std::mutex> hold(window_lock);
    catch_up_done = false;
    const char byte = 'x';
    if (write(wake_window[1], &byte, 1) != 1) {
        return;
    }
    window_caught_up.wait(hold, [] { return catch_up_done; });
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
        for (unsigned k = 0; k < 256; ++k) {
            if ((static_cast<unsigned>(static_cast<unsigned char>(keys[k / 8])) >> (k % 8)) & 1U) {
                out += " " + std::to_string(k);
            }
        }
    } else if (line == "TEXT" || line == "WTEXT") {
        std::vector<unsigned> received;
        if (line == "TEXT") {
            received.swap(text);
        } else {
            catch_up_window();
            std::lock_guard<std::mutex> hold(window_lock);
            received.swap(window_text);
        }
        out = line;
        char hex[16];
        for (unsigned cp : received) {
            std::snprintf(hex, sizeof hex, " %x", cp);
            out += hex;
        }
    } else if (line == "REPEATOFF") {
        XKeyboardState state{};
        XGetKeyboardControl(control, &state);
        out = "REPEATOFF";
        for (int k = min_keycode; k <= max_keycode; ++k) {
            if (((static_cast<unsigned>(static_cast<unsigned char>(state.auto_repeats[k / 8])) >> (k % 8)) & 1U) == 0) {
                out += " " + std::to_string(k);
            }
        }
    } else if (line == "BOUND") {
        read_keymap();
        out = "BOUND";
        for (int k = min_keycode; k <= max_keycode; ++k) {
            if (spare[static_cast<size_t>(k - min_keycode)] && carries_keysym(k)) {
                out += " " + std::to_string(k) + "=" + keysym_name(first_keysym(k));
            }
        }
    } else {
        return;
    }
    std::printf("%s\n", out.c_str());
    std::fflush(stdout);
}

bool start() {
    control = XOpenDisplay(nullptr);
    data = XOpenDisplay(nullptr);
    own = XOpenDisplay(nullptr);
    if (control == nullptr || data == nullptr || own == nullptr || pipe(wake_window) != 0) {
        std::fprintf(stderr, "observer: cannot open display %s\n", XDisplayName(nullptr));
        return false;
    }
    int major = 0;
    int minor = 0;
    if (XRecordQueryVersion(control, &major, &minor) == 0) {
        std::fprintf(stderr, "observer: display %s has no RECORD extension\n", XDisplayName(nullptr));
        return false;
    }
    int event_base = 0;
    int error_base = 0;
    int xkb_opcode = 0;
    int xkb_maj = XkbMajorVersion;
    int xkb_min = XkbMinorVersion;
    if (XkbQueryExtension(control, &xkb_opcode, &event_base, &error_base, &xkb_maj, &xkb_min)) {
        xkb_major = xkb_opcode;
        // As toolkits do: an XKB map change refreshes the window's lookup.
        int own_opcode = 0;
        int own_errors = 0;
        if (XkbQueryExtension(own, &own_opcode, &event_base, &own_errors, &xkb_maj, &xkb_min) &&
            XkbSelectEvents(own, XkbUseCoreKbd, XkbMapNotifyMask, XkbMapNotifyMask)) {
            xkb_event_base = event_base;
        }
    }
    XDisplayKeycodes(control, &min_keycode, &max_keycode);
    read_keymap();
    spare.assign(static_cast<size_t>(max_keycode - min_keycode + 1), false);
    for (int k = min_keycode; k <= max_keycode; ++k) {
        spare[static_cast<size_t>(k - min_keycode)] = !carries_keysym(k);
    }
    mark_atom = XInternAtom(control, "BRASKELOT_OBSERVER_MARK", False);
    window = XCreateSimpleWindow(own, DefaultRootWindow(own), 0, 0, 64, 64, 0, 0, 0);
    XSelectInput(own, window, KeyPressMask | FocusChangeMask | StructureNotifyMask);
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

    XRecordRange* ranges[2] = {XRecordAllocRange(), XRecordAllocRange()};
    ranges[0]->device_events.first = KeyPress;
    ranges[0]->device_events.last = MotionNotify;
    ranges[0]->core_requests.first = X_ChangeProperty;
    ranges[0]->core_requests.last = X_ChangeProperty;
    ranges[1]->core_requests.first = X_ChangeKeyboardMapping;
    ranges[1]->core_requests.last = X_ChangeKeyboardMapping;
    int range_count = 2;
    if (xkb_major > 0) {
        ranges[1]->ext_requests.ext_major.first = static_cast<unsigned char>(xkb_major);
        ranges[1]->ext_requests.ext_major.last = static_cast<unsigned char>(xkb_major);
        ranges[1]->ext_requests.ext_minor.first = 0;
        ranges[1]->ext_requests.ext_minor.last = 0xffff;
    }
    XRecordClientSpec clients = XRecordAllClients;
    XRecordContext context = XRecordCreateContext(control, 0, &clients, 1, ranges, range_count);
    XFree(ranges[0]);
    XFree(ranges[1]);
    XSync(control, False);
    if (context == 0 || XRecordEnableContextAsync(data, context, on_record, nullptr) == 0) {
        std::fprintf(stderr, "observer: cannot record on display %s\n", XDisplayName(nullptr));
        return false;
    }
    XRecordProcessReplies(data);
    XSync(control, False);
    std::thread(serve_window).detach();
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
        XRecordProcessReplies(data);
        std::fflush(stdout);
        while (XPending(control) > 0) { // none selected; errors and the like
            XEvent event;
            XNextEvent(control, &event);
        }
        if (ended) {
            return 1;
        }
        pollfd fds[3] = {{0, POLLIN, 0}, {ConnectionNumber(data), POLLIN, 0}, {ConnectionNumber(control), POLLIN, 0}};
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

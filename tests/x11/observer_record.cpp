#include "observer_record.h"

#include "observer_keymap.h"
#include "observer_wire.h"

#include <X11/XKBlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>

#include <cstdio>

namespace {

Display* data = nullptr;
Window mark_window = 0;
Atom mark = 0;
int xkb_request = -1;
bool ended = false;

void print_event(const unsigned char* ev, bool swapped) {
    int type = ev[0] & 0x7f;
    int detail = ev[1];
    uint32_t time = card32(ev + 4, swapped);                // the server's clock, ms
    int x = static_cast<int16_t>(card16(ev + 20, swapped)); // rootX
    int y = static_cast<int16_t>(card16(ev + 22, swapped)); // rootY
    if (type == KeyPress || type == KeyRelease) {
        std::printf("key %s keycode=%d keysym=%s time=%u\n", type == KeyPress ? "press" : "release", detail,
                    keysym_name(key_identity(detail, type == KeyPress)).c_str(), time);
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
        } else if (major == xkb_request && (p[1] == X_kbSetMap || p[1] == X_kbGetKbdByName)) {
            // Only the requests that change the map: clients refreshing their
            // own copy send XKB reads all the time, and reading the map then
            // would see later changes.
            read_keymap();
        } else if (major == xkb_request && p[1] == X_kbLatchLockState && d->data_len * 4 >= 16) {
            // deviceSpec(2) affectModLocks(1) modLocks(1) lockGroup(1) groupLock(1) ...
            if (p[8] != 0) {
                note_group_lock(p[9]);
            }
        } else if (major == X_ChangeProperty && d->data_len * 4 >= 24) {
            // window(4) property(4) type(4) format(1) pad(3) length(4), then the bytes
            if (card32(p + 8, swapped) == mark && card32(p + 4, swapped) == mark_window) {
                uint32_t len = card32(p + 20, swapped);
                if (24 + len <= d->data_len * 4) {
                    std::printf("MARK %.*s\n", static_cast<int>(len), reinterpret_cast<const char*>(p + 24));
                }
            }
        }
    }
    XRecordFreeData(d);
}

} // namespace

bool open_record_connection() {
    data = XOpenDisplay(nullptr);
    return data != nullptr;
}

bool start_recording(Display* control, Window window, Atom mark_atom, int xkb_major) {
    mark_window = window;
    mark = mark_atom;
    xkb_request = xkb_major;
    XRecordRange* ranges[2] = {XRecordAllocRange(), XRecordAllocRange()};
    ranges[0]->device_events.first = KeyPress;
    ranges[0]->device_events.last = MotionNotify;
    ranges[0]->core_requests.first = X_ChangeProperty;
    ranges[0]->core_requests.last = X_ChangeProperty;
    ranges[1]->core_requests.first = X_ChangeKeyboardMapping;
    ranges[1]->core_requests.last = X_ChangeKeyboardMapping;
    if (xkb_major > 0) {
        ranges[1]->ext_requests.ext_major.first = static_cast<unsigned char>(xkb_major);
        ranges[1]->ext_requests.ext_major.last = static_cast<unsigned char>(xkb_major);
        ranges[1]->ext_requests.ext_minor.first = 0;
        ranges[1]->ext_requests.ext_minor.last = 0xffff;
    }
    XRecordClientSpec clients = XRecordAllClients;
    XRecordContext context = XRecordCreateContext(control, 0, &clients, 1, ranges, 2);
    XFree(ranges[0]);
    XFree(ranges[1]);
    XSync(control, False);
    if (context == 0 || XRecordEnableContextAsync(data, context, on_record, nullptr) == 0) {
        return false;
    }
    XRecordProcessReplies(data);
    return true;
}

int record_fd() { return ConnectionNumber(data); }

void read_record() { XRecordProcessReplies(data); }

bool record_ended() { return ended; }

#pragma once
#include <X11/Xlib.h>
#include <cstdint>

// The application that reads the keys we send: the client whose window has
// the input focus. It reads each key event with its own copy of the keymap,
// fetched when it gets to the event, so a binding must not change while it
// may still have an event made with it to read, and a new binding must have
// reached it before the first press on it.
//
// An application that lists _NET_WM_PING in WM_PROTOCOLS answers a ping
// only when its event loop gets to it, so its answer says it has handled
// every event sent before the ping. Those are the readers we can wait for.

/// Answers a ping within this long, or is taken as hung: not waited for
/// again until it answers.
constexpr uint64_t READER_ANSWER_TIMEOUT_US = 5000000;

/// Asks for the answers (they go to the root window); after x11_connect.
void x11_reader_watch();

/// True when event was an answer to one of our pings, now taken in.
bool x11_reader_take_event(const XEvent* event);

/// Waits until the focused application has handled every event sent before
/// this call. False, at once or after READER_ANSWER_TIMEOUT_US, when that
/// cannot be known: no window has the focus, its application does not answer
/// pings, or it is hung.
bool x11_reader_sync();

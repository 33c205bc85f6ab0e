"""What the X server holds, read through libX11 with ctypes (standard library
only): the keys down (XQueryKeymap), the keymap (XGetKeyboardMapping, what
`xmodmap -pke` prints), the keys that auto-repeat, and the input focus."""

import ctypes
import ctypes.util


class _KeyboardState(ctypes.Structure):
    _fields_ = [("key_click_percent", ctypes.c_int), ("bell_percent", ctypes.c_int),
                ("bell_pitch", ctypes.c_uint), ("bell_duration", ctypes.c_uint),
                ("led_mask", ctypes.c_ulong), ("global_auto_repeat", ctypes.c_int),
                ("auto_repeats", ctypes.c_ubyte * 32)]


class _Event(ctypes.Structure):
    _fields_ = [("pad", ctypes.c_long * 24)]


def _bits(raw):
    return [code for code in range(256) if raw[code // 8] & (1 << (code % 8))]


class Server:
    """One connection of our own; it never selects input, so the only events
    it gets are the MappingNotify every client gets, drained on each call."""

    def __init__(self, display):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
        self.x.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int,
                                               ctypes.POINTER(ctypes.c_int)]
        self.x.XFree.argtypes = [ctypes.c_void_p]
        self.x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.POINTER(ctypes.c_ulong)] * 2 + [
            ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)), ctypes.POINTER(ctypes.c_uint)]
        self.x.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
        for name in ("XQueryKeymap", "XDisplayKeycodes", "XGetKeyboardControl", "XGetInputFocus", "XSync",
                     "XPending", "XNextEvent", "XCloseDisplay"):
            getattr(self.x, name).argtypes = None
        # Xlib's default handler ends the process on an error, and a window
        # may go away between two requests: errors are ignored instead.
        self.handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda *_: 0)
        self.x.XSetErrorHandler.argtypes = [ctypes.c_void_p]
        self.x.XSetErrorHandler(ctypes.cast(self.handler, ctypes.c_void_p))
        self.display = self.x.XOpenDisplay(display.encode())
        if not self.display:
            raise OSError(f"cannot open display {display}")
        self.dpy = ctypes.c_void_p(self.display)

    def _drain(self):
        event = _Event()
        while self.x.XPending(self.dpy) > 0:
            self.x.XNextEvent(self.dpy, ctypes.byref(event))

    def keys_down(self):
        self._drain()
        raw = (ctypes.c_ubyte * 32)()
        self.x.XQueryKeymap(self.dpy, raw)
        return _bits(raw)

    def keymap(self):
        """{keycode: (keysym, ...)} for every keycode, as `xmodmap -pke` lists it."""
        self._drain()
        low, high, per = ctypes.c_int(), ctypes.c_int(), ctypes.c_int()
        self.x.XDisplayKeycodes(self.dpy, ctypes.byref(low), ctypes.byref(high))
        count = high.value - low.value + 1
        syms = self.x.XGetKeyboardMapping(self.dpy, low.value, count, ctypes.byref(per))
        table = {code: tuple(syms[(code - low.value) * per.value + level] for level in range(per.value))
                 for code in range(low.value, high.value + 1)}
        self.x.XFree(syms)
        return table

    def auto_repeat(self):
        """(global auto-repeat on?, keycodes that repeat)."""
        self._drain()
        state = _KeyboardState()
        self.x.XGetKeyboardControl(self.dpy, ctypes.byref(state))
        return state.global_auto_repeat, _bits(state.auto_repeats)

    def focus(self):
        self._drain()
        window, revert = ctypes.c_ulong(), ctypes.c_int()
        self.x.XGetInputFocus(self.dpy, ctypes.byref(window), ctypes.byref(revert))
        return window.value

    def set_focus(self, window):
        self.x.XSetInputFocus(self.dpy, window, 2, 0)  # RevertToParent, CurrentTime
        self.x.XSync(self.dpy, 0)

    def ancestors(self, window):
        """The window and its parents up to (not including) the root."""
        chain = []
        while window:
            chain.append(window)
            root, parent = ctypes.c_ulong(), ctypes.c_ulong()
            children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
            if not self.x.XQueryTree(self.dpy, window, ctypes.byref(root), ctypes.byref(parent),
                                     ctypes.byref(children), ctypes.byref(count)):
                break
            if children:
                self.x.XFree(children)
            if parent.value == root.value:
                break
            window = parent.value
        return chain

    def focus_in(self, window):
        """Whether the input focus is on the window, inside it or on one of its parents."""
        focus = self.focus()
        return focus > 1 and (window in self.ancestors(focus) or focus in self.ancestors(window))

    def close(self):
        self.x.XCloseDisplay(self.dpy)

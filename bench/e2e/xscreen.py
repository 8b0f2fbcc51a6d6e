#!/usr/bin/env python3
"""The X screen as the end-to-end scripts see it: reading pixels, typing
keys through XTEST and moving the keyboard focus, through the system's
libX11 and libXtst (ctypes), so no package beyond the standard library is
needed.

  xscreen.py focus (WINDOW | none)
      Gives the keyboard focus to WINDOW (an X window id), or to no window.
  xscreen.py settle WINDOW --quiet MS [--limit S] [--since NS]
      Reads the window's pixels until they have not changed for MS
      milliseconds, then prints the wall-clock time (ns since the epoch, as
      `date +%s%N`) of the last change, or of the first read when nothing
      changed, and with --since, the seconds from NS to it.
"""

import argparse
import ctypes
import ctypes.util
import os
import subprocess
import time


def now_ns():
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC)


class XImage(ctypes.Structure):
    _fields_ = [
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("xoffset", ctypes.c_int),
        ("format", ctypes.c_int),
        ("data", ctypes.c_void_p),
        ("byte_order", ctypes.c_int),
        ("bitmap_unit", ctypes.c_int),
        ("bitmap_bit_order", ctypes.c_int),
        ("bitmap_pad", ctypes.c_int),
        ("depth", ctypes.c_int),
        ("bytes_per_line", ctypes.c_int),
        ("bits_per_pixel", ctypes.c_int),
    ]


class Display:
    ZPixmap = 2
    AllPlanes = 0xFFFFFFFF

    def __init__(self):
        x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XGetImage.restype = ctypes.POINTER(XImage)
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                  ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        x11.XStringToKeysym.restype = ctypes.c_ulong
        x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                       ctypes.c_ulong]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                           ctypes.c_ulong]
        self.x11, self.xtst = x11, xtst
        self.display = x11.XOpenDisplay(None)
        if not self.display:
            raise SystemExit("cannot open the X display %s" % os.environ.get("DISPLAY"))
        self.root = x11.XDefaultRootWindow(self.display)

    def grab(self, left, top, width, height):
        """The screen's pixels in a rectangle, as bytes."""
        image = self.x11.XGetImage(self.display, self.root, left, top, width, height,
                                   self.AllPlanes, self.ZPixmap)
        if not image:
            raise SystemExit("XGetImage failed for %dx%d+%d+%d" % (width, height, left, top))
        contents = image.contents
        pixels = ctypes.string_at(contents.data, contents.bytes_per_line * contents.height)
        stride = contents.bytes_per_line
        self.x11.XDestroyImage(image)
        return pixels, stride

    def keycode(self, name):
        code = self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(name.encode()))
        if not code:
            raise SystemExit("no key code for %s" % name)
        return code

    def focus(self, window):
        """Keyboard focus to a window, or to none (0) when window is None."""
        self.x11.XSetInputFocus(self.display, window or 0, 1, 0)  # RevertToPointerRoot
        self.x11.XSync(self.display, 0)

    def press(self, code):
        """Sends a press and a release; returns the time the press went out."""
        self.xtst.XTestFakeKeyEvent(self.display, code, 1, 0)
        self.x11.XFlush(self.display)
        sent = now_ns()
        self.xtst.XTestFakeKeyEvent(self.display, code, 0, 0)
        self.x11.XFlush(self.display)
        return sent


def window_geometry(window):
    """Absolute left, top, width and height of a window, from xwininfo."""
    text = subprocess.run(["xwininfo", "-id", str(window)], check=True, capture_output=True,
                          text=True).stdout
    fields = {}
    for line in text.splitlines():
        if ":" in line:
            key, _, value = line.strip().partition(":")
            fields[key] = value.strip()
    return (int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"]),
            int(fields["Width"]), int(fields["Height"]))


def changed_box(before, after, stride, width, height, depth=4):
    """Bounding box (left, top, right, bottom; exclusive) of changed pixels."""
    rows = [y for y in range(height)
            if before[y * stride:y * stride + width * depth] != after[y * stride:y * stride + width * depth]]
    if not rows:
        return None
    columns = [x for x in range(width)
               if any(before[y * stride + x * depth:y * stride + x * depth + depth]
                      != after[y * stride + x * depth:y * stride + x * depth + depth] for y in rows)]
    return min(columns), min(rows), max(columns) + 1, max(rows) + 1


def settle(window, quiet_ms, limit_s):
    """The time of the window's last change before it stayed unchanged for
    quiet_ms; None when it kept changing for limit_s."""
    display = Display()
    left, top, width, height = window_geometry(window)
    last, _ = display.grab(left, top, width, height)
    changed = started = time.time_ns()
    while time.time_ns() - changed < quiet_ms * 1e6:
        if time.time_ns() - started > limit_s * 1e9:
            return None
        time.sleep(0.002)
        current, _ = display.grab(left, top, width, height)
        if current != last:
            last, changed = current, time.time_ns()
    return changed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    focus = commands.add_parser("focus")
    focus.add_argument("window")
    watch = commands.add_parser("settle")
    watch.add_argument("window", type=int)
    watch.add_argument("--quiet", type=float, required=True)
    watch.add_argument("--limit", type=float, default=60)
    watch.add_argument("--since", type=int)
    arguments = parser.parse_args()
    if arguments.command == "focus":
        Display().focus(None if arguments.window == "none" else int(arguments.window))
    else:
        changed = settle(arguments.window, arguments.quiet, arguments.limit)
        if changed is None:
            raise SystemExit("window %d still changing after %g s" % (arguments.window,
                                                                    arguments.limit))
        print(changed, end="")
        if arguments.since is not None:
            print(" %.3f" % ((changed - arguments.since) / 1e9), end="")
        print()


if __name__ == "__main__":
    main()

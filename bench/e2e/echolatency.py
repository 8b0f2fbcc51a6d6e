#!/usr/bin/env python3
"""Echo latency of a terminal under X: from a typed key to the paint of its echo.

  echolatency.py echo (--socket PATH | --tty) --log FILE
      The server side: echoes every byte it receives, at once, and appends
      the time it received it (CLOCK_MONOTONIC, ns) to FILE. With --socket
      it listens on a Unix socket for one connection (a console's pipe);
      with --tty it serves the terminal it runs in, in raw mode.

  echolatency.py measure --window ID --log FILE [--keys N] [--gap MS]
      The user side: focuses window ID and types N keys (default 1000)
      through the XTEST extension. Each key is timed from the moment its
      press is sent to the X server until a screen read finds the echo
      painted: the cells around the cursor differ from what they were before
      the key. The keys alternate between "x" and "o", and each is followed
      by an untimed Return whose echo (CR) brings the cursor back to the
      first column, so every key is echoed into the same cell; the next key
      waits until those cells have not changed for the gap (default 50 ms),
      so each key finds the terminal idle. Prints the
      median, 90th and 99th percentiles and the maximum, overall and split
      into key-to-server (from the log) and server-to-paint.

Only the standard library and the system's libX11 and libXtst (through
ctypes, in xscreen.py) are used.
"""

import argparse
import os
import socket
import statistics
import subprocess
import sys
import termios
import time
import tty

from xscreen import Display, changed_box, now_ns, window_geometry


# ---------------------------------------------------------------- server side


def echo_loop(read, write, log_path):
    log = os.open(log_path, os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
    while True:
        data = read()
        if not data:
            return
        received = now_ns()
        write(data)
        os.write(log, b"".join(b"%d %d\n" % (received, byte) for byte in data))


def serve_socket(path, log_path):
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass
    os.makedirs(os.path.dirname(path), exist_ok=True)
    listener.bind(path)
    listener.listen(1)
    connection, _ = listener.accept()
    connection.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4096)
    echo_loop(lambda: connection.recv(4096), connection.sendall, log_path)


def serve_tty(log_path):
    tty.setraw(0, termios.TCSANOW)
    out = sys.stdout.fileno()

    def write(data):
        while data:
            data = data[os.write(out, data) :]

    echo_loop(lambda: os.read(0, 4096), write, log_path)


# ------------------------------------------------------------------ user side


class EchoLog:
    """The server's log of received bytes, read as it grows."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.entries = []  # (ns, byte)

    def poll(self):
        try:
            with open(self.path, "rb") as log:
                log.seek(self.offset)
                data = log.read()
        except FileNotFoundError:
            return
        complete = data.rfind(b"\n") + 1
        self.offset += complete
        for line in data[:complete].splitlines():
            stamp, byte = line.split()
            self.entries.append((int(stamp), int(byte)))

    def wait_for(self, count, limit_s=5.0):
        deadline = time.monotonic() + limit_s
        while len(self.entries) < count:
            if time.monotonic() > deadline:
                raise SystemExit("the server received %d bytes, expected %d: is the window "
                                 "focused and connected?" % (len(self.entries), count))
            time.sleep(0.0005)
            self.poll()


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def measure(arguments):
    display = Display()
    subprocess.run(["xdotool", "windowfocus", "--sync", str(arguments.window)], check=True)
    left, top, width, height = window_geometry(arguments.window)
    log = EchoLog(arguments.log)
    log.poll()
    sent_bytes = len(log.entries)
    keys = [display.keycode("x"), display.keycode("o")]
    enter = display.keycode("Return")
    gap = arguments.gap / 1000.0

    def settle(region):
        """Waits until the region has not changed for the gap (at most 2 s),
        so the Return's echo is painted and the terminal is idle again."""
        last, _ = display.grab(*region)
        stable_since = started = time.monotonic()
        while time.monotonic() - stable_since < gap and time.monotonic() - started < 2:
            time.sleep(0.001)
            current, _ = display.grab(*region)
            if current != last:
                last, stable_since = current, time.monotonic()

    def type_and_wait(code):
        nonlocal sent_bytes
        display.press(code)
        sent_bytes += 1
        log.wait_for(sent_bytes)

    # Find the cells that an echo changes: the whole window before and after.
    time.sleep(0.5)
    before, stride = display.grab(left, top, width, height)
    type_and_wait(keys[0])
    time.sleep(0.5)
    after, _ = display.grab(left, top, width, height)
    box = changed_box(before, after, stride, width, height)
    if box is None:
        raise SystemExit("the echo of a key changed nothing on the screen")
    type_and_wait(enter)
    time.sleep(0.5)
    box_left, box_top, box_right, box_bottom = box
    region = (left + box_left, top + box_top, box_right - box_left, box_bottom - box_top)

    totals, to_server, to_paint, polls = [], [], [], 0
    for index in range(arguments.keys):
        previous, _ = display.grab(*region)
        sent = display.press(keys[(index + 1) % 2])
        while True:
            current, _ = display.grab(*region)
            polls += 1
            if current != previous:
                painted = now_ns()
                break
            if now_ns() - sent > 5e9:
                raise SystemExit("key %d: no echo painted within 5 s" % index)
        sent_bytes += 1
        log.wait_for(sent_bytes)
        received = log.entries[sent_bytes - 1][0]
        totals.append((painted - sent) / 1e6)
        to_server.append((received - sent) / 1e6)
        to_paint.append((painted - received) / 1e6)
        type_and_wait(enter)
        settle(region)

    def row(name, values):
        return "%-16s %8.2f %8.2f %8.2f %8.2f" % (
            name, statistics.median(values), percentile(values, 0.9), percentile(values, 0.99),
            max(values))

    print("%d keys, %d screen reads of %dx%d pixels" % (arguments.keys, polls, region[2], region[3]))
    print("%-16s %8s %8s %8s %8s" % ("ms", "p50", "p90", "p99", "max"))
    print(row("key to paint", totals))
    print(row("key to server", to_server))
    print(row("server to paint", to_paint))
    # What one screen read costs bounds the resolution of "key to paint".
    grab_started = time.perf_counter()
    for _ in range(200):
        display.grab(*region)
    print("one screen read takes %.3f ms (the resolution of the paint time)"
          % ((time.perf_counter() - grab_started) / 200 * 1000))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    echo = commands.add_parser("echo")
    where = echo.add_mutually_exclusive_group(required=True)
    where.add_argument("--socket")
    where.add_argument("--tty", action="store_true")
    echo.add_argument("--log", required=True)
    timing = commands.add_parser("measure")
    timing.add_argument("--window", required=True, type=int)
    timing.add_argument("--log", required=True)
    timing.add_argument("--keys", type=int, default=1000)
    timing.add_argument("--gap", type=float, default=50.0,
                        help="milliseconds without a change on the screen before the next key")
    arguments = parser.parse_args()
    if arguments.command == "echo":
        if arguments.socket:
            serve_socket(arguments.socket, arguments.log)
        else:
            serve_tty(arguments.log)
    else:
        measure(arguments)


if __name__ == "__main__":
    main()

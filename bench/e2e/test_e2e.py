#!/usr/bin/env python3
"""Checks of the end-to-end scripts' helpers, which need no X display:
    python3 bench/e2e/test_e2e.py
"""

import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from echolatency import EchoLog, percentile  # noqa: E402
from xscreen import changed_box  # noqa: E402


def shell(function, *arguments):
    """Runs a function of common.sh; returns (status, standard output)."""
    script = 'source "%s/common.sh"; %s "$@"' % (HERE, function)
    done = subprocess.run(["bash", "-c", script, "bash", *arguments], capture_output=True,
                          text=True)
    return done.returncode, done.stdout.strip()


class ShellHelpers(unittest.TestCase):
    def test_byte_counts(self):
        for text, expected in [("1048576", "1048576"), ("1024K", "1048576"), ("1M", "1048576"),
                               ("8MiB", "8388608"), ("64k", "65536"), ("0", "0")]:
            self.assertEqual(shell("e2e_bytes", text), (0, expected), text)
        for text in ["", "M", "1G", "1.5M", "-1M", "x1M"]:
            self.assertNotEqual(shell("e2e_bytes", text)[0], 0, text)

    def test_median_takes_the_lower_middle_of_numbers_in_any_order(self):
        for values, expected in [([], "-"), (["3"], "3"), (["10", "9", "2"], "9"),
                                 (["0.5", "0.25", "1.5", "1"], "0.5"),
                                 (["1e-3", "2", "0.01"], "0.01")]:
            self.assertEqual(shell("e2e_median", *values), (0, expected), values)


class ScreenComparison(unittest.TestCase):
    def test_changed_box_bounds_every_changed_pixel(self):
        width, height, depth = 6, 4, 4
        stride = width * depth + 8  # rows padded, as X pads them
        before = bytes(stride * height)

        def changed(*pixels):
            after = bytearray(before)
            for x, y in pixels:
                after[y * stride + x * depth + 1] = 0xFF
            return bytes(after)

        rows = [((), None), (((0, 0),), (0, 0, 1, 1)), (((5, 3),), (5, 3, 6, 4)),
                (((1, 2), (4, 0)), (1, 0, 5, 3))]
        for pixels, expected in rows:
            self.assertEqual(changed_box(before, changed(*pixels), stride, width, height),
                             expected, pixels)
        padding = bytearray(before)
        padding[width * depth] = 0xFF  # a change in the padding is no change
        self.assertIsNone(changed_box(before, bytes(padding), stride, width, height))

    def test_percentile_picks_the_nearest_rank(self):
        values = list(range(100, 0, -1))  # 100 .. 1, unsorted
        for fraction, expected in [(0.0, 1), (0.5, 51), (0.9, 90), (0.99, 99), (1.0, 100)]:
            self.assertEqual(percentile(values, fraction), expected, fraction)


class EchoLogReading(unittest.TestCase):
    def test_a_line_is_taken_only_once_it_is_complete(self):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "log")
            log = EchoLog(path)
            log.poll()  # before the server has written anything
            self.assertEqual(log.entries, [])
            with open(path, "ab") as out:
                out.write(b"100 120\n200 1")
            log.poll()
            self.assertEqual(log.entries, [(100, 120)])
            with open(path, "ab") as out:
                out.write(b"3\n")
            log.poll()
            self.assertEqual(log.entries, [(100, 120), (200, 13)])


class Helpers(unittest.TestCase):
    def test_ptyrun_sizes_the_terminal_before_the_command_starts(self):
        with tempfile.TemporaryDirectory() as directory:
            size = os.path.join(directory, "size")
            done = subprocess.run([sys.executable, os.path.join(HERE, "ptyrun.py"), "24", "80",
                                   "--", "sh", "-c", "stty size >%s; yes | head -c 300000; exit 3"
                                   % size])
            self.assertEqual(done.returncode, 3)
            with open(size) as result:
                self.assertEqual(result.read().split(), ["24", "80"])

    def test_idle_servers_greet_each_console_with_its_pipe_name(self):
        with tempfile.TemporaryDirectory() as directory:
            servers = subprocess.Popen([sys.executable, os.path.join(HERE, "idleservers.py"),
                                        directory, "2", "--greet"], stdout=subprocess.PIPE,
                                       text=True)
            try:
                self.assertEqual(servers.stdout.readline().strip(), "ready")
                for name in ["IDLE2", "IDLE1"]:
                    with socket.socket(socket.AF_UNIX) as console:
                        console.connect(os.path.join(directory, name))
                        greeting = b""
                        deadline = time.monotonic() + 5
                        while not greeting.endswith(b"\r\n") and time.monotonic() < deadline:
                            greeting += console.recv(200)
                        self.assertEqual(greeting,
                                         b"\x1b[7m" + name.encode().ljust(80) + b"\x1b[m\r\n")
                        self.assertEqual(servers.stdout.readline().strip(), name)
            finally:
                servers.kill()
                servers.wait()
                servers.stdout.close()


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""idleservers.py DIRECTORY COUNT [--greet]

Listens on COUNT Unix sockets DIRECTORY/IDLE1 .. DIRECTORY/IDLEcount (the
pipes IDLE1 .. IDLEcount of consoles whose KESTRA_PIPES is DIRECTORY) and
holds every connection open without writing, until it is stopped. With
--greet, each connection is first sent one line naming its pipe, in
reverse video across the whole 80-column row, so a paint of that console is
visible from far away. Prints "ready" once all sockets listen, and each
pipe name as its console connects.
"""

import os
import selectors
import socket
import sys


def main(argv):
    if len(argv) not in (3, 4) or (len(argv) == 4 and argv[3] != "--greet"):
        sys.stderr.write(__doc__)
        return 2
    directory, count, greet = argv[1], int(argv[2]), len(argv) == 4
    # KESTRA refuses a pipe directory that others may use.
    os.makedirs(directory, mode=0o700, exist_ok=True)
    os.chmod(directory, 0o700)
    selector = selectors.DefaultSelector()
    for number in range(1, count + 1):
        name = "IDLE%d" % number
        path = os.path.join(directory, name)
        if os.path.exists(path):
            os.unlink(path)
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        listener.bind(path)
        listener.listen(1)
        selector.register(listener, selectors.EVENT_READ, name)
    print("ready", flush=True)
    held = []
    while True:
        for key, _ in selector.select():
            if key.data is None:  # a console closed its end: nothing to do
                selector.unregister(key.fileobj)
                continue
            connection, _ = key.fileobj.accept()
            if greet:
                connection.sendall(b"\x1b[7m" + key.data.encode().ljust(80) + b"\x1b[m\r\n")
            held.append(connection)
            selector.register(connection, selectors.EVENT_READ, None)
            print(key.data, flush=True)


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except KeyboardInterrupt:
        sys.exit(0)

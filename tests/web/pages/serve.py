#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Serves a folder over HTTP on 127.0.0.1 and a free port; prints the port.

Stops when its standard input closes, so that a test which dies without
stopping it does not leave it behind."""
import functools
import http.server
import sys
import threading


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def main():
    folder = sys.argv[1]
    handler = functools.partial(QuietHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    print(server.server_address[1], flush=True)

    def watch_stdin():
        while sys.stdin.buffer.read(4096):
            pass
        server.shutdown()

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Feeds a chained Ogg stream to an Icecast mount, in real time.

Sends the given Ogg files one after the other (each one is a complete logical
stream, so the result is a chained Ogg stream with a new header, and new
title tags, at every file), over and over, as an HTTP PUT source client.
Usage: ogg_source.py PORT MOUNT PASSWORD SECONDS_PER_FILE FILE...
"""
import base64
import socket
import os
import sys
import threading
import time


def main():
    port, mount, password, seconds = int(sys.argv[1]), sys.argv[2], sys.argv[3], float(sys.argv[4])
    # Ends with the test that started it, even when that one crashed: its
    # end closes our stdin.
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    files = [open(p, "rb").read() for p in sys.argv[5:]]
    sock = socket.create_connection(("127.0.0.1", port))
    auth = base64.b64encode(("source:" + password).encode()).decode()
    sock.sendall(("PUT %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nAuthorization: Basic %s\r\n"
                  "Content-Type: application/ogg\r\nIce-Public: 0\r\nIce-Name: chain\r\n"
                  "Expect: 100-continue\r\n\r\n" % (mount, port, auth)).encode())
    reply = sock.recv(4096)
    sys.stdout.write(reply.decode("latin-1").splitlines()[0] + "\n")
    sys.stdout.flush()
    start = time.monotonic()
    elapsed = 0.0
    while True:
        for data in files:
            step = max(1, len(data) // 40)
            for i in range(0, len(data), step):
                sock.sendall(data[i:i + step])
                elapsed += seconds * len(data[i:i + step]) / len(data)
                ahead = elapsed - 1.0 - (time.monotonic() - start)  # stays ~1 s ahead
                if ahead > 0:
                    time.sleep(ahead)


if __name__ == "__main__":
    main()

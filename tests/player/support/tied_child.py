#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs a command as long as the test that started it lives.

tied_child.py CMD ARGS...: starts CMD, and stops it (by its PID) when this
process gets SIGTERM, when its stdin closes (the test ended, even by a
crash), or exits when CMD exits. Keeps servers such as Icecast from
outliving a test that died.
"""
import os
import signal
import subprocess
import sys
import threading


def main():
    child = subprocess.Popen(sys.argv[1:], stdin=subprocess.DEVNULL)
    stopping = threading.Event()

    # Only signals the child: the main thread is the one that waits for it.
    # (A handler that waited as well would run inside the main thread's own
    # wait and block on the lock that wait holds.)
    def finish(*_):
        stopping.set()
        try:
            os.kill(child.pid, signal.SIGTERM)
        except ProcessLookupError:
            return
        timer = threading.Timer(5, lambda: os.kill(child.pid, signal.SIGKILL))
        timer.daemon = True
        timer.start()

    signal.signal(signal.SIGTERM, finish)
    threading.Thread(target=lambda: (sys.stdin.read(), finish()), daemon=True).start()
    code = child.wait()
    os._exit(0 if stopping.is_set() else code)


if __name__ == "__main__":
    main()

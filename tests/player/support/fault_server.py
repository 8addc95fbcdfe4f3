#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A small HTTP server with misbehaving stream endpoints, for the player's tests.

Listens on 127.0.0.1 only, on a free port, and prints "PORT <n>" once ready and
"REQUEST <path>" for every request (stdout, line buffered).

Endpoints:
  /stream.mp3[?title=<text>&enc=utf8|gbk&every=S]
                                           endless MP3 paced at --rate bytes/s,
                                           ICY metadata when the client asks;
                                           "A|B|C" titles change every S seconds
  /404, /500                               the error status
  /stall                                   accepts, reads the request, never answers
  /drop?after=S&down=N                     streams S seconds then closes; the next
                                           N connections are closed at once; then
                                           streams again
  /cycle?after=S                           every connection streams S seconds, then closes
  /trickle                                 headers, then 50 bytes/s of the MP3
  /garbage                                 200 audio/mpeg with random bytes
  /list.asx?target=<url>                   an ASX playlist naming target
  /list.pls?target=<url>                   a PLS playlist naming target
  /big.asx                                 a 1 MiB "playlist"
  /file/<name>                             a file from --files, whole, with its size
  /cut/<name>                              the same size announced, half the file sent
"""
import argparse
import os
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlparse

MP3 = b""
FILES = None
RATE = 16000
drop_state = {}
drop_lock = threading.Lock()
active = 0
active_lock = threading.Lock()


def count_active(delta):
    global active
    with active_lock:
        active += delta
        log("ACTIVE %d" % active)


def log(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):  # quiet
        pass

    def stream(self, seconds=None, rate=None, title=None, enc="utf8", every=3.0):
        rate = rate or RATE
        icy = self.headers.get("Icy-MetaData") == "1" and title is not None
        metaint = 8192
        self.send_response(200)
        self.send_header("Content-Type", "audio/mpeg")
        self.send_header("icy-name", "test")
        if icy:
            self.send_header("icy-metaint", str(metaint))
        self.end_headers()
        def meta_block(text):
            raw = b"StreamTitle='" + text.encode("gbk" if enc == "gbk" else "utf-8") + b"';"
            blocks = (len(raw) + 15) // 16
            return bytes([blocks]) + raw + b"\0" * (blocks * 16 - len(raw))
        # "A|B|C": the title changes every `every` seconds, as songs do.
        titles = title.split("|") if icy else []
        pos = 0
        since_meta = 0
        start = time.monotonic()
        sent = 0
        burst = rate * 2
        count_active(1)
        try:
            while seconds is None or time.monotonic() - start < seconds:
                chunk = MP3[pos:pos + 1024]
                if not chunk:
                    pos = 0
                    continue
                pos += len(chunk)
                if icy:
                    out = b""
                    while chunk:
                        take = min(len(chunk), metaint - since_meta)
                        out += chunk[:take]
                        chunk = chunk[take:]
                        since_meta += take
                        if since_meta == metaint:
                            now = int((time.monotonic() - start) / every)
                            out += meta_block(titles[min(now, len(titles) - 1)])
                            since_meta = 0
                    self.wfile.write(out)
                else:
                    self.wfile.write(chunk)
                sent += 1024
                ahead = (sent - burst) / rate - (time.monotonic() - start)
                if ahead > 0:
                    time.sleep(ahead)
        except (BrokenPipeError, ConnectionResetError, OSError):
            pass
        finally:
            count_active(-1)

    def do_GET(self):
        url = urlparse(self.path)
        q = {k: v[0] for k, v in parse_qs(url.query).items()}
        log("REQUEST " + self.path)
        p = url.path
        if p == "/stream.mp3":
            self.stream(title=q.get("title"), enc=q.get("enc", "utf8"), every=float(q.get("every", "3")))
        elif p in ("/404", "/500"):
            self.send_error(int(p[1:]))
        elif p == "/stall":
            try:
                while self.rfile.read(1):
                    pass
            except OSError:
                pass
        elif p == "/drop":
            key = self.path
            with drop_lock:
                n = drop_state.get(key, 0)
                drop_state[key] = n + 1
            down = int(q.get("down", "2"))
            if n == 0:
                self.stream(seconds=float(q.get("after", "3")))
            elif n <= down:
                self.close_connection = True
                self.connection.shutdown(socket.SHUT_RDWR)
            else:
                self.stream()
        elif p == "/cycle":
            self.stream(seconds=float(q.get("after", "120")))
        elif p == "/trickle":
            self.send_response(200)
            self.send_header("Content-Type", "audio/mpeg")
            self.end_headers()
            try:
                for i in range(0, len(MP3), 5):
                    self.wfile.write(MP3[i:i + 5])
                    self.wfile.flush()
                    time.sleep(0.1)
            except OSError:
                pass
        elif p == "/garbage":
            self.send_response(200)
            self.send_header("Content-Type", "audio/mpeg")
            self.end_headers()
            try:
                self.wfile.write(os.urandom(256 * 1024))
            except OSError:
                pass
        elif p == "/list.asx":
            body = ('<ASX version="3.0">\n <Title>test</Title>\n <Entry>\n'
                    '  <Ref href="%s"/>\n </Entry>\n</ASX>\n' % q.get("target", "")).encode()
            self.reply(body, "video/x-ms-asf")
        elif p == "/list.pls":
            body = ("[playlist]\nNumberOfEntries=1\nFile1=%s\nTitle1=test\nLength1=-1\nVersion=2\n"
                    % q.get("target", "")).encode()
            self.reply(body, "audio/x-scpls")
        elif p.startswith("/file/") and FILES:
            name = os.path.basename(p[6:])
            try:
                with open(os.path.join(FILES, name), "rb") as f:
                    self.reply(f.read(), "application/octet-stream")
            except OSError:
                self.send_error(404)
        elif p.startswith("/cut/") and FILES:
            try:
                with open(os.path.join(FILES, os.path.basename(p[5:])), "rb") as f:
                    body = f.read()
            except OSError:
                self.send_error(404)
                return
            self.send_response(200)
            self.send_header("Content-Type", "audio/mpeg")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            try:
                self.wfile.write(body[: len(body) // 2])
            except OSError:
                pass
        elif p == "/big.asx":
            body = b"<ASX>" + b"<!-- padding -->" * 65536 + b"<Ref href=\"http://127.0.0.1:1/x\"/></ASX>"
            self.reply(body, "video/x-ms-asf")
        else:
            self.send_error(404)

    def reply(self, body, ctype):
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except OSError:
            pass


def main():
    global MP3, RATE, FILES
    ap = argparse.ArgumentParser()
    ap.add_argument("--mp3", required=True)
    ap.add_argument("--rate", type=int, default=16000)
    ap.add_argument("--files")
    args = ap.parse_args()
    with open(args.mp3, "rb") as f:
        MP3 = f.read()
    RATE = args.rate
    FILES = args.files
    # Ends with the test that started it, even when that one crashed: its
    # end closes our stdin.
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    log("PORT %d" % server.server_address[1])
    server.serve_forever()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A stand-in for the station directory's JSON API, for tests.

Listens on 127.0.0.1 only, on a free port, and prints (stdout, line
buffered) "PORT <n>" once ready; then "REQUEST <method> <path> <parameters>
<user-agent>" for every request (the query and form parameters together,
URL-encoded and sorted, "-" for none) and "CLICK <uuid>" for every click
counted. Ends when its stdin closes (the test that started it ended, even by
a crash; so keep stdin open when running it by hand) or on SIGTERM.

Endpoints, by GET or by POST with a form body, as the directory takes them:
  /json/stations/search  name (found in the name, any case), countrycode,
                         language (found in it), tag (found in a tag),
                         hidebroken=true, order=clickcount|votes|name,
                         reverse=true, offset, limit (default 100000)
  /json/url/<uuid>       counts a click: {"ok": true, "url": ...}
  /json/countries        [{"name", "iso_3166_1", "stationcount"}]
  /json/languages        [{"name", "iso_639", "stationcount"}]
  /json/tags             [{"name", "stationcount"}]
  (the three lists take hidebroken, order=name|stationcount, reverse, limit)

Options:
  --stations normal|nasty  the station set (default normal):
      normal: seven stations, five of them Chinese (one of those not
        working), one Swiss with tag jazz, one named "摇滚 & 流行 + 电台";
        their url comes from --stream-url;
      nasty: names with ";;", a ";" at the end, line breaks and tabs, C1 and
        DEL controls, an unpaired U+202E, an emoji, one empty name; a station
        given twice (same uuid), two with the same url; url values file:,
        javascript: (with a usable url_resolved) and data:; lower-case
        country code, tags with empty entries, a broken station.
  --stream-url URL       the address of the normal set's stations: the first
                         gets URL as it is, each other one URL with
                         "station=<n>" added to its query, so the addresses
                         differ and all play the same stream (default
                         http://127.0.0.1:9/stream.mp3, which plays nothing)
  --extra N              N more working Chinese stations, "测试电台 <n>", for
                         paging (clickcount going down with n)
  --delay S              every /json answer comes after S seconds; a client
                         that hangs up meanwhile is logged "HUNGUP <path>"
  --status N             every /json answer is HTTP status N
  --malformed            every /json answer is JSON cut off in the middle
  --huge                 every /json answer is a valid station list of 256 MiB,
                         without Content-Length (ends with the connection);
                         "SENT <bytes> <path>" tells how much went out before
                         the client hung up or the end
  --huge-announced       the same, with its Content-Length
"""
import argparse
import json
import os
import select
import socket
import sys
import threading
import time
import uuid
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlencode, urlparse

ARGS = None
STATIONS = []
HUGE_BYTES = 256 * 1024 * 1024
COUNTRY_NAMES = {"CN": "China", "CH": "Switzerland"}
LANGUAGE_CODES = {"chinese": "zh", "english": "en", "mandarin": "zh"}


def log(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


def station(name, url, *, uuid_text=None, countrycode="CN", language="chinese", tags="", clicks=0,
            votes=0, ok=1, url_resolved=None, codec="MP3", bitrate=128):
    return {
        "changeuuid": str(uuid.uuid4()),
        "stationuuid": uuid_text or str(uuid.uuid5(uuid.NAMESPACE_URL, name + "|" + url)),
        "serveruuid": None,
        "name": name,
        "url": url,
        "url_resolved": url if url_resolved is None else url_resolved,
        "homepage": "",
        "favicon": "",
        "tags": tags,
        "country": COUNTRY_NAMES.get(countrycode.upper(), ""),
        "countrycode": countrycode,
        "iso_3166_2": None,
        "state": "",
        "language": language,
        "languagecodes": ",".join(LANGUAGE_CODES.get(l, "") for l in language.split(",") if l),
        "votes": votes,
        "lastchangetime": "2024-01-01 00:00:00",
        "lastchangetime_iso8601": "2024-01-01T00:00:00Z",
        "codec": codec,
        "bitrate": bitrate,
        "hls": 0,
        "lastcheckok": ok,
        "lastchecktime": "2024-01-01 00:00:00",
        "clickcount": clicks,
        "clicktrend": 0,
        "ssl_error": 0,
        "geo_lat": None,
        "geo_long": None,
        "has_extended_info": False,
    }


def normal_set(stream_url, extra):
    def address(n):
        if n == 0:
            return stream_url
        return stream_url + ("&" if "?" in stream_url else "?") + "station=%d" % n
    rows = [
        ("示例新闻台", "CN", "chinese", "news,talk", 900, 1),
        ("示例音乐台", "CN", "chinese,mandarin", "pop,music", 800, 1),
        ("示例经济台", "CN", "chinese", "news,economy", 700, 1),
        ("摇滚 & 流行 + 电台", "CN", "chinese", "rock,pop", 600, 1),
        ("示例停播台", "CN", "chinese", "news", 500, 0),
        ("Jazz Sample FM", "CH", "english", "jazz", 400, 1),
        ("示例交通台", "CN", "chinese", "traffic", 300, 1),
    ]
    out = [station(name, address(i), countrycode=cc, language=lang, tags=tags, clicks=clicks, votes=clicks // 10, ok=ok)
           for i, (name, cc, lang, tags, clicks, ok) in enumerate(rows)]
    for n in range(1, extra + 1):
        out.append(station("测试电台 %d" % n, address(len(rows) + n - 1), tags="test", clicks=max(0, 200 - n)))
    return out


def nasty_set():
    twice = "11111111-2222-4333-8444-555555555555"
    return [
        station("新闻;;广播", "http://127.0.0.1:9/semicolons", uuid_text=twice, clicks=100),
        station("第一行\n第二行\r\n\t第三行", "http://127.0.0.1:9/lines", clicks=99),
        station("\u202e右到左", "http://127.0.0.1:9/rlo", clicks=98),
        station("音乐 🎵 电台", "http://127.0.0.1:9/emoji", clicks=97),
        station("新闻;;广播 again", "http://127.0.0.1:9/same-uuid", uuid_text=twice, clicks=96),
        station("同一地址", "http://127.0.0.1:9/emoji", clicks=95),
        station("本地文件", "file:///etc/passwd", url_resolved="", clicks=94),
        station("脚本", "javascript:alert(1)", url_resolved="http://127.0.0.1:9/resolved", clicks=93),
        station("数据", "data:audio/mpeg;base64,AAAA", url_resolved="data:audio/mpeg;base64,AAAA", clicks=92),
        station(" \x01\x7f\u009b ", "http://nameless.invalid:8000/live", clicks=91),
        station("尾巴;", "http://127.0.0.1:9/tail", countrycode="cn", tags=" pop, ,news ,,", clicks=90, ok=0),
        station("控制\u0085字符\x1b[31m", "http://127.0.0.1:9/controls", clicks=89),
    ]


def matches(s, p):
    def has(key):
        return p.get(key, "") != ""
    if has("name") and p["name"].lower() not in s["name"].lower():
        return False
    if has("countrycode") and p["countrycode"].upper() != s["countrycode"].upper():
        return False
    if has("language") and p["language"].lower() not in s["language"].lower():
        return False
    if has("tag") and not any(p["tag"].lower() in t.strip().lower() for t in s["tags"].split(",")):
        return False
    if p.get("hidebroken") == "true" and not s["lastcheckok"]:
        return False
    return True


def ordered(items, p, keys):
    order = p.get("order", "name")
    key = keys.get(order, keys["name"])
    items = sorted(items, key=key, reverse=p.get("reverse") == "true")
    offset = int(p.get("offset", "0") or 0)
    limit = int(p.get("limit", "100000") or 100000)
    return items[offset:offset + limit]


def counted(p, field, split):
    counts = {}
    for s in STATIONS:
        if p.get("hidebroken") == "true" and not s["lastcheckok"]:
            continue
        for value in (s[field].split(",") if split else [s[field]]):
            value = value.strip()
            if value:
                counts[value] = counts.get(value, 0) + 1
    return counts


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):  # quiet
        pass

    def do_GET(self):
        self.answer(b"")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.answer(self.rfile.read(length) if length else b"")

    def answer(self, body):
        url = urlparse(self.path)
        p = {k: v[-1] for k, v in parse_qs(url.query, keep_blank_values=True).items()}
        p.update({k: v[-1] for k, v in parse_qs(body.decode("utf-8", "replace"), keep_blank_values=True).items()})
        log("REQUEST %s %s %s %s" % (self.command, url.path, urlencode(sorted(p.items())) or "-",
                                    self.headers.get("User-Agent", "-")))
        if not url.path.startswith("/json/"):
            return self.send(404, b"not found")
        if ARGS.delay and not self.wait(ARGS.delay, url.path):
            return
        if ARGS.status:
            return self.send(ARGS.status, b'{"error": "unavailable"}')
        if ARGS.malformed:
            return self.send(200, b'[{"stationuuid": "x", "name": "cut off", "url": "http://127.0.0.1:9/')
        if ARGS.huge or ARGS.huge_announced:
            return self.huge(url.path)
        data = self.content(url.path, p)
        if data is None:
            return self.send(404, b"not found")
        self.send(200, json.dumps(data, ensure_ascii=False).encode("utf-8"))

    def content(self, path, p):
        if path == "/json/stations/search":
            chosen = [s for s in STATIONS if matches(s, p)]
            return ordered(chosen, p, {"name": lambda s: s["name"], "clickcount": lambda s: s["clickcount"],
                                       "votes": lambda s: s["votes"]})
        if path.startswith("/json/url/"):
            wanted = path[len("/json/url/"):]
            found = [s for s in STATIONS if s["stationuuid"] == wanted]
            if not found:
                return {"ok": False, "message": "station not found", "stationuuid": wanted, "name": "", "url": ""}
            log("CLICK %s" % wanted)
            return {"ok": True, "message": "retrieved station url", "stationuuid": wanted,
                    "name": found[0]["name"], "url": found[0]["url"]}
        keys = {"name": lambda e: e["name"], "stationcount": lambda e: e["stationcount"]}
        if path == "/json/countries":
            codes = counted(p, "countrycode", False)
            items = [{"name": COUNTRY_NAMES.get(c.upper(), c), "iso_3166_1": c.upper(), "stationcount": n}
                     for c, n in codes.items()]
            return ordered(items, p, keys)
        if path == "/json/languages":
            items = [{"name": l, "iso_639": LANGUAGE_CODES.get(l), "stationcount": n}
                     for l, n in counted(p, "language", True).items()]
            return ordered(items, p, keys)
        if path == "/json/tags":
            items = [{"name": t, "stationcount": n} for t, n in counted(p, "tags", True).items()]
            return ordered(items, p, keys)
        return None

    def wait(self, seconds, path):
        """Sleeps, watching for the client hanging up; False when it did."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            readable, _, _ = select.select([self.connection], [], [], min(0.05, max(0, end - time.monotonic())))
            if readable:
                try:
                    gone = self.connection.recv(1, socket.MSG_PEEK) == b""
                except OSError:
                    gone = True
                if gone:
                    log("HUNGUP %s" % path)
                    return False
        return True

    def send(self, status, data):
        try:
            self.send_response(status)
            self.send_header("Content-Type", "application/json; charset=utf-8")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
        except OSError:
            pass

    def huge(self, path):
        one = json.dumps(station("大", "http://127.0.0.1:9/huge"), ensure_ascii=False).encode("utf-8")
        chunk = b",".join([one] * max(1, 65536 // len(one))) + b","
        count = (HUGE_BYTES - 2) // len(chunk)
        total = 2 + count * len(chunk) + len(one)
        sent = 0
        try:
            self.send_response(200)
            self.send_header("Content-Type", "application/json; charset=utf-8")
            if ARGS.huge_announced:
                self.send_header("Content-Length", str(total))
            self.end_headers()
            self.wfile.write(b"[")
            sent += 1
            for _ in range(count):
                self.wfile.write(chunk)
                sent += len(chunk)
            self.wfile.write(one + b"]")
            sent += len(one) + 1
        except OSError:
            pass
        log("SENT %d %s" % (sent, path))


def main():
    global ARGS, STATIONS
    ap = argparse.ArgumentParser()
    ap.add_argument("--stations", choices=["normal", "nasty"], default="normal")
    ap.add_argument("--stream-url", default="http://127.0.0.1:9/stream.mp3")
    ap.add_argument("--extra", type=int, default=0)
    ap.add_argument("--delay", type=float, default=0)
    ap.add_argument("--status", type=int, default=0)
    ap.add_argument("--malformed", action="store_true")
    ap.add_argument("--huge", action="store_true")
    ap.add_argument("--huge-announced", action="store_true")
    ARGS = ap.parse_args()
    STATIONS = nasty_set() if ARGS.stations == "nasty" else normal_set(ARGS.stream_url, ARGS.extra)
    # Ends with the test that started it, even when that one crashed: its
    # end closes our stdin.
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    log("PORT %d" % server.server_address[1])
    server.serve_forever()


if __name__ == "__main__":
    main()

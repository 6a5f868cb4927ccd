#!/usr/bin/env python3
"""Stand-in for the video sites, reached as an HTTP proxy on loopback.

Usage: fakesites.py --scenario FILE... [--record FILE] [--port N] [--tls DIR]
                    [--files DIR]

Prints "PORT <n>" on standard output once it listens, and stops when its
standard input reaches end of file (the test that started it has ended).

With --tls, CONNECT requests (https through the proxy) are answered with a
TLS server whose certificate, made at start in DIR/ca.pem (key in
DIR/key.pem), names every site host; clients trust it through
CURL_CA_BUNDLE=DIR/ca.pem. Requests inside the tunnel are routed and
recorded like the others, their target written as https://host/path.

A scenario is a JSON object {"routes": [route, ...]}. A route matches on
"host", "method" (default any) and "path" (path with query, exact) or
"path_prefix", and "header_match" {name: value} (each header exactly so).
The first matching route answers with:
  status (200), headers {name: value}, set_cookies [..],
  body (text, UTF-8), body_size (bytes of a fixed pattern) or body_file
  (the bytes of a file in the --files folder, by name; 500 when unreadable),
  body_random (that many bytes of a fixed pseudo-random sequence, no media),
  media: true (the body_size bytes begin with a short real FLV video, made
  once with ffmpeg and kept in the temporary folder, so the player can read
  the file; the pattern follows it),
  content_length: true (default) | false | a number to announce,
  reset_after: close the connection after N body bytes,
  stall_after: stop sending (but keep the connection) after N body bytes,
  drip: seconds between single body bytes,
  rate: bytes per second, sent in pieces of 16 KiB,
  ranges: true answers "Range: bytes=a-b" (one range) with 206 and
  Content-Range, or 416 past the end, and announces Accept-Ranges; without
  it a Range header is ignored and the whole body sent. An If-Range that
  names another validator than the route's ETag or Last-Modified header
  gets the whole body too,
  latency: seconds to wait before answering,
  serve_files: true - the path after path_prefix (up to any query) names
  a file of the --files folder to answer with (404 when there is none),
  seed: where the fixed pattern of body_size starts (another file of the
  same size),
  content_range_shift: N - the Content-Range of a 206 names N bytes later
  than the bytes sent,
  versions: [route fields, ...] - the n-th request of this route takes the
  fields of versions[n] (the last one from then on) over its own.
Unmatched requests get 404 "no route".

Every request is appended to the record file as
  REQUEST <method> <target>
  H <name>: <value>        (one line per header, in order)
  B <body as hex>
  END
"""
import argparse
import json
import os
import random
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit

# The names the test certificate is valid for.
TLS_NAMES = ["*.nicovideo.jp", "nicovideo.jp", "*.youtube.com", "youtube.com",
             "*.google.com", "*.metacafe.com", "*.clipvane.test", "localhost"]

BLOCK = (bytes(range(251)) * ((1 << 20) // 251 + 1))[:1 << 20]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Set inside a CONNECT tunnel: the host the client asked for.
    tunnel_host = None

    def log_message(self, fmt, *args):
        pass

    def setup(self):
        super().setup()
        # Head and body go out in separate writes; without this the body
        # waits for the client's delayed acknowledgement of the head.
        try:
            self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        except OSError:
            pass

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length > 0 else b""
        srv = self.server
        shown = self.path
        if self.tunnel_host is not None:
            shown = "https://%s%s" % (self.headers.get("Host") or self.tunnel_host, self.path)
        with srv.record_lock:
            if srv.record:
                with open(srv.record, "a", encoding="utf-8") as f:
                    f.write("REQUEST %s %s\n" % (self.command, shown))
                    for k, v in self.headers.items():
                        f.write("H %s: %s\n" % (k, v))
                    f.write("B %s\nEND\n" % body.hex())
        parts = urlsplit(self.path)
        host = parts.hostname or (self.headers.get("Host") or "").split(":")[0]
        target = parts.path or "/"
        if parts.query:
            target += "?" + parts.query
        route = self.find_route(host, target)
        if route is None:
            self.answer({"status": 404, "body": "no route"})
        else:
            self.answer(route)

    do_GET = do_POST = do_HEAD = handle_any

    def do_CONNECT(self):
        context = self.server.tls_context
        host = self.path.rpartition(":")[0] or self.path
        if context is None:
            self.send_error(501, "no TLS here")
            return
        self.send_response(200, "Connection established")
        self.end_headers()
        self.wfile.flush()
        self.close_connection = True
        try:
            tls = context.wrap_socket(self.connection, server_side=True)
        except (ssl.SSLError, OSError):
            return
        inner = type("TunnelHandler", (Handler,), {"tunnel_host": host})
        try:
            inner(tls, self.client_address, self.server)
        except (ssl.SSLError, OSError):
            pass

    def find_route(self, host, target):
        for i, r in enumerate(self.server.routes):
            if "host" in r and r["host"].lower() != (host or "").lower():
                continue
            if "method" in r and r["method"] != self.command:
                continue
            if "path" in r and r["path"] != target:
                continue
            if "path_prefix" in r and not target.startswith(r["path_prefix"]):
                continue
            if any(self.headers.get(k) != v for k, v in r.get("header_match", {}).items()):
                continue
            if "versions" in r:
                with self.server.record_lock:
                    n = self.server.route_hits.get(i, 0)
                    self.server.route_hits[i] = n + 1
                versions = r["versions"]
                r = dict(r, **versions[min(n, len(versions) - 1)])
            if r.get("serve_files"):
                name = target[len(r.get("path_prefix", "/")):].split("?")[0]
                r = dict(r, body_file=name)
                if self.server.load_file(name) is None:
                    r = {"status": 404, "body": "no file " + name}
            return r
        return None

    def range_asked(self, r, size):
        """(first, last) of a Range the route honours, "bad" past the end, or None."""
        spec = self.headers.get("Range")
        if not r.get("ranges") or not spec or not spec.startswith("bytes="):
            return None
        validator = r.get("headers", {}).get("ETag") or r.get("headers", {}).get("Last-Modified")
        if_range = self.headers.get("If-Range")
        if if_range is not None and if_range != validator:
            return None
        return parse_range(spec, size)

    def answer(self, r):
        if r.get("latency"):
            time.sleep(float(r["latency"]))
        status = int(r.get("status", 200))
        if "body_file" in r:
            data = self.server.load_file(r["body_file"])
            if data is None:
                r = {"status": 500, "body": "cannot read " + r["body_file"]}
                status = 500
            else:
                r = dict(r, body=data)
        if "body_random" in r:
            r = dict(r, body=random.Random(7).randbytes(int(r["body_random"])))
        elif r.get("media"):
            clip = short_video()
            size = max(int(r.get("body_size", 0)), len(clip))
            rest = size - len(clip)
            r = dict(r, body=clip + (BLOCK * (rest // len(BLOCK) + 1))[:rest])
        if isinstance(r.get("body"), bytes):
            body = r["body"]
            size = len(body)
        elif "body" in r:
            body = r["body"].encode("utf-8")
            size = len(body)
        else:
            body = None
            size = int(r.get("body_size", 0))
        offset = 0
        asked = self.range_asked(r, size) if status == 200 else None
        if asked == "bad":
            r = dict(r, body="", headers=dict(r.get("headers", {}),
                                             **{"Content-Range": "bytes */%d" % size}))
            status, body, size = 416, b"", 0
        elif asked is not None:
            offset, last = asked
            shift = int(r.get("content_range_shift", 0))
            status = 206
            r = dict(r, headers=dict(r.get("headers", {}), **{
                "Content-Range": "bytes %d-%d/%d" % (offset + shift, last + shift, size)}))
            if body is not None:
                body = body[offset:last + 1]
            size = last + 1 - offset
        self.send_response(status)
        if r.get("ranges"):
            self.send_header("Accept-Ranges", "bytes")
        for k, v in r.get("headers", {}).items():
            self.send_header(k, v)
        for c in r.get("set_cookies", []):
            self.send_header("Set-Cookie", c)
        cl = r.get("content_length", True)
        if cl is True:
            self.send_header("Content-Length", str(size))
        elif cl is not False:
            self.send_header("Content-Length", str(cl))
        if cl is not True:
            # No length, or a wrong one: the end of the connection ends the body.
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command == "HEAD":
            return
        self.send_body(r, body, size, offset)

    def send_body(self, r, body, size, offset=0):
        limit = size
        reset = r.get("reset_after")
        stall = r.get("stall_after")
        if reset is not None:
            limit = min(limit, int(reset))
        if stall is not None:
            limit = min(limit, int(stall))
        drip = r.get("drip")
        rate = float(r.get("rate", 0))
        piece = 16384 if rate > 0 else len(BLOCK) - 251
        started = time.monotonic()
        sent = 0
        try:
            while sent < limit:
                # The pattern block is read from offset sent % 251, so a piece
                # never runs past its end.
                n = 1 if drip else min(limit - sent, piece)
                if body is not None:
                    chunk = body[sent:sent + n]
                else:
                    start = (offset + sent + int(r.get("seed", 0))) % 251
                    chunk = BLOCK[start:start + n]
                self.wfile.write(chunk)
                sent += len(chunk)
                if drip:
                    self.wfile.flush()
                    time.sleep(float(drip))
                elif rate > 0:
                    self.wfile.flush()
                    ahead = started + sent / rate - time.monotonic()
                    if ahead > 0:
                        time.sleep(ahead)
            self.wfile.flush()
            if stall is not None and sent >= int(stall):
                while not self.server.stopping:
                    time.sleep(0.1)
            if reset is not None and sent >= int(reset):
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                           b"\x01\x00\x00\x00\x00\x00\x00\x00")
                self.close_connection = True
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True


def parse_range(header, size):
    """(first, last) of a one-range "bytes=a-b" header, None when there is
    none to honour, "bad" when it starts past the end."""
    if not header or not header.startswith("bytes=") or "," in header:
        return None
    first, _, last = header[6:].strip().partition("-")
    try:
        if first == "":
            n = int(last)
            return (max(0, size - n), size - 1) if n > 0 and size > 0 else "bad"
        a = int(first)
        b = int(last) if last else size - 1
    except ValueError:
        return None
    if a >= size:
        return "bad"
    return (a, min(b, size - 1)) if b >= a else None


_short_video_lock = threading.Lock()


def short_video():
    """A one-second FLV the player reads, made once for every server of the user."""
    folder = os.path.join(tempfile.gettempdir(), "clipvane-fakesites-%d" % os.getuid())
    path = os.path.join(folder, "short.flv")
    with _short_video_lock:
        if not os.path.exists(path):
            os.makedirs(folder, exist_ok=True)
            tmp = "%s.%d.flv" % (path, os.getpid())
            subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi",
                            "-i", "testsrc=size=64x48:rate=5", "-t", "1", "-c:v", "flv",
                            "-q:v", "10", tmp], check=True)
            os.replace(tmp, path)
        with open(path, "rb") as f:
            return f.read()


class FileCache:
    """Bytes of the files that routes serve, read once; None when unreadable."""

    def __init__(self, folder):
        self.folder = folder
        self.lock = threading.Lock()
        self.files = {}

    def __call__(self, name):
        with self.lock:
            if name not in self.files:
                try:
                    with open(os.path.join(self.folder, os.path.basename(name)), "rb") as f:
                        self.files[name] = f.read()
                except OSError:
                    self.files[name] = None
            return self.files[name]


def make_tls_context(folder):
    cert = os.path.join(folder, "ca.pem")
    key = os.path.join(folder, "key.pem")
    if not (os.path.exists(cert) and os.path.exists(key)):
        san = ",".join("DNS:" + n for n in TLS_NAMES) + ",IP:127.0.0.1"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:prime256v1", "-nodes", "-days", "7",
                        "-subj", "/CN=Clipvane stand-in sites", "-keyout", key,
                        "-out", cert, "-addext", "subjectAltName=" + san],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--scenario", required=True, action="append",
                    help="may be given more than once: the routes are joined in order")
    ap.add_argument("--record")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--tls")
    ap.add_argument("--files", default=".")
    a = ap.parse_args()
    routes = []
    for path in a.scenario:
        with open(path, encoding="utf-8") as f:
            routes += json.load(f).get("routes", [])
    server = ThreadingHTTPServer(("127.0.0.1", a.port), Handler)
    server.daemon_threads = True
    server.routes = routes
    server.record = a.record
    server.record_lock = threading.Lock()
    server.route_hits = {}
    server.stopping = False
    server.tls_context = make_tls_context(a.tls) if a.tls else None
    server.load_file = FileCache(a.files)
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05},
                     daemon=True).start()
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        while sys.stdin.buffer.read(4096):
            pass
    except KeyboardInterrupt:
        pass
    server.stopping = True
    server.shutdown()


if __name__ == "__main__":
    main()

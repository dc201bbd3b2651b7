"""Helpers shared by the loopback server's tests: raw HTTP over sockets to
127.0.0.1, so a test sees exactly the bytes the server sent and when."""

import os
import socket
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
LOOPBACK_DIR = os.path.dirname(HERE)
if LOOPBACK_DIR not in sys.path:
    sys.path.insert(0, LOOPBACK_DIR)

import client  # noqa: E402,F401  (re-exported to the tests)
from client import wait_until  # noqa: E402,F401

sys.path.insert(0, os.path.join(LOOPBACK_DIR, "..", "profile"))
import launcher_profile  # noqa: E402

# The channel profile the server under test takes its routes and names from.
PROFILE = launcher_profile.load()

HOST = "127.0.0.1"


class RawResponse:
    def __init__(self):
        self.status = None
        self.headers = {}
        self.head = b""
        self.body = b""        # raw body bytes as sent (chunk framing kept)
        self.end = None        # "eof", "timeout" or "reset"
        self.pieces = []       # (monotonic time, bytes) per recv, body part only
        self.head_time = None

    def header(self, name):
        return self.headers.get(name.lower())


def open_request(port, target, method=b"GET", close=True, extra=b""):
    """Sends one request; returns the connected socket."""
    if isinstance(target, str):
        target = target.encode("latin-1")
    s = socket.create_connection((HOST, port), timeout=5)
    req = method + b" " + target + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n"
    if close:
        req += b"Connection: close\r\n"
    s.sendall(req + extra + b"\r\n")
    return s


def read_raw(sock, idle_timeout=3.0, max_bytes=None):
    """Reads until EOF, reset, or idle_timeout seconds without a byte."""
    r = RawResponse()
    sock.settimeout(idle_timeout)
    buf = b""
    in_body = False
    total = 0
    while True:
        try:
            data = sock.recv(1 << 20)
        except socket.timeout:
            r.end = "timeout"
            break
        except ConnectionResetError:
            r.end = "reset"
            break
        if not data:
            r.end = "eof"
            break
        now = time.monotonic()
        if in_body:
            r.pieces.append((now, data))
            total += len(data)
        else:
            buf += data
            if b"\r\n\r\n" in buf:
                r.head, rest = buf.split(b"\r\n\r\n", 1)
                r.head_time = now
                in_body = True
                if rest:
                    r.pieces.append((now, rest))
                    total += len(rest)
        if max_bytes is not None and total >= max_bytes:
            r.end = "enough"
            break
    if not in_body:
        r.head = buf
    lines = r.head.split(b"\r\n")
    if lines and lines[0].startswith(b"HTTP/"):
        r.status = int(lines[0].split()[1])
        for line in lines[1:]:
            k, _, v = line.partition(b":")
            r.headers[k.strip().lower().decode("latin-1")] = v.strip().decode("latin-1")
    r.body = b"".join(p for _, p in r.pieces)
    return r


def fetch_raw(port, target, idle_timeout=3.0, **kw):
    s = open_request(port, target, **kw)
    try:
        return read_raw(s, idle_timeout)
    finally:
        s.close()


def decode_chunked(raw):
    """Splits a chunked body into its chunks; returns (chunks, complete,
    end offsets of each chunk's data within raw)."""
    chunks, ends, pos = [], [], 0
    while True:
        nl = raw.find(b"\r\n", pos)
        if nl < 0:
            return chunks, False, ends
        size = int(raw[pos:nl].split(b";")[0], 16)
        start = nl + 2
        if size == 0:
            return chunks, raw[start:start + 2] == b"\r\n", ends
        if len(raw) < start + size + 2:
            return chunks, False, ends
        chunks.append(raw[start:start + size])
        ends.append(start + size)
        pos = start + size + 2


def time_of_offset(resp, offset):
    """Arrival time of the body byte at offset (0-based)."""
    seen = 0
    for t, data in resp.pieces:
        seen += len(data)
        if seen > offset:
            return t
    raise ValueError("offset beyond body")


class ServerTestCase(unittest.TestCase):
    """One server for the whole class (started with server_options), put
    back to its start before each test."""
    server_options = {}

    @classmethod
    def setUpClass(cls):
        cls.srv = client.LoopbackServer(**cls.server_options).start()

    @classmethod
    def tearDownClass(cls):
        cls.srv.stop()

    def setUp(self):
        self.srv.reset()

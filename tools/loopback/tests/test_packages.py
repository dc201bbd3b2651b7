"""The package server: each fault asked for really happens, per request and
for as many requests as asked; names never reach outside the package
directory; large files stream without being held in memory."""

import http.client
import os
import tempfile
import time
import unittest
import urllib.parse

from .loopback_support import client, fetch_raw, decode_chunked, open_request, read_raw, \
    wait_until, HOST, ServerTestCase

SIZE = 300_000
DATA = bytes((i * 7 + i // 251) & 0xFF for i in range(SIZE))


class PackageFaults(ServerTestCase):
    def setUp(self):
        super().setUp()
        self.srv.register_package("chan/1.0.0.1/bm.zip", data=DATA)
        self.target = "/packages/chan/1.0.0.1/bm.zip"

    def last_request(self):
        return self.srv.requests()[-1]

    def test_plain_download_then_keep_alive(self):
        conn = http.client.HTTPConnection(HOST, self.srv.port, timeout=5)
        for _ in range(2):   # the second request reuses the connection
            conn.request("GET", self.target)
            resp = conn.getresponse()
            self.assertEqual((resp.status, resp.getheader("Content-Length")), (200, str(SIZE)))
            self.assertEqual(resp.read(), DATA)
        conn.close()
        self.assertEqual(fetch_raw(self.srv.port, "/packages/missing.zip").status, 404)

    def test_error_statuses_for_the_next_n_requests_then_normal(self):
        self.srv.add_fault("packages", count=2, status=500)
        self.srv.add_fault("packages", count=1, status=404)
        got = [fetch_raw(self.srv.port, self.target).status for _ in range(4)]
        self.assertEqual(got, [500, 500, 404, 200])
        self.assertEqual([r["remaining"] for r in self.srv.faults()], [0, 0])

    def test_always_and_match(self):
        self.srv.register_package("other.zip", data=b"other")
        self.srv.add_fault("packages", match="chan/*", status=404)
        for _ in range(3):
            self.assertEqual(fetch_raw(self.srv.port, self.target).status, 404)
        self.assertEqual(fetch_raw(self.srv.port, "/packages/other.zip").body, b"other")
        self.assertEqual(self.srv.faults()[0]["hits"], 3)

    def test_redirect_to_the_real_file(self):
        for hops in (1, 3):
            with self.subTest(hops=hops):
                self.srv.clear_faults()
                self.srv.add_fault("packages", count=1, redirect=302, redirect_hops=hops)
                target, statuses = self.target, []
                for _ in range(hops + 2):
                    r = fetch_raw(self.srv.port, target)
                    statuses.append(r.status)
                    if r.status != 302:
                        break
                    u = urllib.parse.urlsplit(r.header("location"))
                    self.assertEqual((u.hostname, u.port), ("127.0.0.1", self.srv.port))
                    target = u.path
                self.assertEqual(statuses, [302] * hops + [200])
                self.assertEqual(r.body, DATA)

    def test_chunked_without_length(self):
        self.srv.add_fault("packages", count=1, chunked=True)
        r = fetch_raw(self.srv.port, self.target)
        self.assertEqual(r.header("transfer-encoding"), "chunked")
        self.assertIsNone(r.header("content-length"))
        chunks, complete, _ = decode_chunked(r.body)
        self.assertTrue(complete)
        self.assertEqual(b"".join(chunks), DATA)

    def test_length_larger_than_body(self):
        self.srv.add_fault("packages", count=1, announce_extra=5000)
        r = fetch_raw(self.srv.port, self.target)
        self.assertEqual(int(r.header("content-length")), SIZE + 5000)
        self.assertEqual((r.body, r.end), (DATA, "eof"))
        self.srv.add_fault("packages", count=1, announce=SIZE * 2)
        r = fetch_raw(self.srv.port, self.target)
        self.assertEqual((int(r.header("content-length")), r.body), (SIZE * 2, DATA))

    def test_cut_after_n_bytes(self):
        self.srv.add_fault("packages", count=1, cut_after=12345)
        r = fetch_raw(self.srv.port, self.target)
        self.assertEqual(r.header("content-length"), str(SIZE))
        self.assertEqual((r.body, r.end), (DATA[:12345], "eof"))
        self.assertEqual(self.last_request()["outcome"], "cut")
        # With reset the connection ends in RST rather than an orderly close.
        self.srv.add_fault("packages", count=1, cut_after=1000, reset=True)
        s = open_request(self.srv.port, self.target)
        time.sleep(0.3)
        r = read_raw(s)
        s.close()
        self.assertEqual(r.end, "reset")
        # Cutting a chunked body leaves it without its final chunk.
        self.srv.add_fault("packages", count=1, cut_after=70000, chunked=True)
        r = fetch_raw(self.srv.port, self.target)
        chunks, complete, _ = decode_chunked(r.body)
        self.assertFalse(complete)
        self.assertEqual(b"".join(chunks), DATA[:70000])

    def test_stall_after_n_bytes_keeps_the_connection_open(self):
        self.srv.add_fault("packages", count=1, stall_after=5000)
        s = open_request(self.srv.port, self.target)
        r = read_raw(s, idle_timeout=1.0)
        self.assertEqual(r.header("content-length"), str(SIZE))
        self.assertEqual((r.body, r.end), (DATA[:5000], "timeout"))
        self.assertEqual(self.last_request()["outcome"], "stall")
        # When the client gives up, the server lets go of the connection too.
        s.close()
        self.assertTrue(wait_until(lambda: self.last_request()["outcome"] == "stall_ended"))

    def test_stall_before_any_byte_of_body(self):
        self.srv.add_fault("packages", count=1, stall_after=0)
        r = fetch_raw(self.srv.port, self.target, idle_timeout=0.8)
        self.assertEqual((r.status, r.body, r.end), (200, b"", "timeout"))

    def test_throttled_rate(self):
        body = DATA[:100_000]
        self.srv.register_package("small.zip", data=body)
        t0 = time.monotonic()
        fast = fetch_raw(self.srv.port, "/packages/small.zip")
        fast_time = time.monotonic() - t0
        self.srv.add_fault("packages", count=1, rate=200_000)
        t0 = time.monotonic()
        slow = fetch_raw(self.srv.port, "/packages/small.zip")
        slow_time = time.monotonic() - t0
        self.assertEqual((fast.body, slow.body), (body, body))
        self.assertLess(fast_time, 0.3)
        self.assertGreater(slow_time, 0.4)      # 100 kB at 200 kB/s: 0.5 s
        self.assertLess(slow_time, 1.5)
        # Bytes arrive spread over the time, not in one burst at the end.
        self.assertGreater(len(slow.pieces), 5)

    def test_faults_combine(self):
        self.srv.add_fault("packages", count=1, chunked=True, rate=400_000, stall_after=50_000)
        r = fetch_raw(self.srv.port, self.target, idle_timeout=0.8)
        chunks, complete, _ = decode_chunked(r.body)
        self.assertFalse(complete)
        self.assertEqual(b"".join(chunks), DATA[:50_000])
        self.assertEqual(r.end, "timeout")


class PackageNames(unittest.TestCase):
    def test_names_cannot_reach_outside_the_package_directory(self):
        with tempfile.TemporaryDirectory() as d:
            pkgs = os.path.join(d, "pkgs")
            os.makedirs(os.path.join(pkgs, "chan"))
            with open(os.path.join(pkgs, "chan", "bm.zip"), "wb") as f:
                f.write(b"inside")
            with open(os.path.join(d, "secret"), "wb") as f:
                f.write(b"outside")
            os.symlink(os.path.join(d, "secret"), os.path.join(pkgs, "link"))
            with client.LoopbackServer(state_dir=os.path.join(d, "state"),
                                       extra_args=["--packages-dir", pkgs]) as srv:
                self.assertEqual(fetch_raw(srv.port, "/packages/chan/bm.zip").body, b"inside")
                self.assertEqual(fetch_raw(srv.port, "/packages/chan%2Fbm.zip").body, b"inside")
                for target in ["/packages/../secret", "/packages/chan/../../secret",
                               "/packages/..%2Fsecret", "/packages/%2e%2e/secret",
                               "/packages/link", "/packages/%2Fetc%2Fpasswd",
                               "/packages/chan%5C..%5C..%5Csecret", "/files/../secret",
                               "/packages/", "/packages/%ff.zip"]:
                    with self.subTest(target=target):
                        r = fetch_raw(srv.port, target)
                        self.assertIn(r.status, (400, 404))
                        self.assertNotIn(b"outside", r.body)


class LargeFiles(unittest.TestCase):
    def test_large_files_stream_without_growing_memory(self):
        size = 256 << 20
        with tempfile.TemporaryDirectory() as d:
            big = os.path.join(d, "big.bin")
            with open(big, "wb") as f:
                f.truncate(size)
            with client.LoopbackServer() as srv:
                srv.register_package("big.zip", big)
                pid = srv.proc.pid
                base = peak_rss_kib(pid)
                for fault in ({}, {"chunked": True}):
                    with self.subTest(**fault):
                        if fault:
                            srv.add_fault("packages", count=1, **fault)
                        s = open_request(srv.port, "/packages/big.zip")
                        got = drain(s)
                        s.close()
                        self.assertGreaterEqual(got, size)
                grown = peak_rss_kib(pid) - base
                self.assertLess(grown, 64 << 10, "server grew by %d KiB" % grown)


def peak_rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise AssertionError("no VmHWM")


def drain(sock):
    buf = bytearray(1 << 20)
    total = 0
    sock.settimeout(10)
    while True:
        n = sock.recv_into(buf)
        if not n:
            return total
        total += n


if __name__ == "__main__":
    unittest.main()

"""Start-up, the loopback-only bind, SIGTERM and the admin API's refusals."""

import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import http.client

from .loopback_support import client, open_request, read_raw, wait_until, HOST, PROFILE

SERVER = client.SERVER_SCRIPT


def listeners(proc_file, port):
    """Local addresses (hex) of listening sockets on port in /proc/net/tcp*."""
    out = []
    try:
        with open(proc_file) as f:
            next(f)
            for line in f:
                fields = line.split()
                addr, p = fields[1].split(":")
                if int(p, 16) == port and fields[3] == "0A":
                    out.append(addr)
    except FileNotFoundError:
        pass
    return out


class StartAndStop(unittest.TestCase):
    def test_starts_quickly_on_a_free_port_and_reports_it(self):
        # Best of two, so one slow moment of a busy machine does not fail it.
        times = []
        for _ in range(2):
            with tempfile.TemporaryDirectory() as d:
                port_file = os.path.join(d, "port")
                t0 = time.monotonic()
                proc = subprocess.Popen([sys.executable, SERVER, "--port", "0",
                                         "--port-file", port_file, "--state-dir", d],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                try:
                    self.assertTrue(wait_until(lambda: os.path.exists(port_file), 5, 0.002))
                    times.append(time.monotonic() - t0)
                    with open(port_file) as f:
                        port = int(f.read())
                    line = proc.stdout.readline().decode()
                    self.assertEqual(line.strip(), "listening on http://127.0.0.1:%d" % port)
                    conn = http.client.HTTPConnection(HOST, port, timeout=5)
                    conn.request("GET", "/_admin/status")
                    self.assertEqual(json.loads(conn.getresponse().read())["port"], port)
                    conn.close()
                finally:
                    proc.send_signal(signal.SIGTERM)
                    proc.wait(5)
                    proc.stdout.close()
            if times[-1] < 1.0:
                break
        self.assertLess(min(times), 1.0, "start-up took %r s" % times)

    def test_given_port_is_used(self):
        probe = socket.socket()
        probe.bind((HOST, 0))
        port = probe.getsockname()[1]
        probe.close()
        with client.LoopbackServer(port=port) as srv:
            self.assertEqual(srv.port, port)
            self.assertEqual(srv.status()["port"], port)

    def test_port_in_use_is_an_error_not_a_silent_other_port(self):
        with client.LoopbackServer() as first:
            with self.assertRaises(RuntimeError):
                client.LoopbackServer(port=first.port, start_timeout=5).start()

    def test_listens_on_127_0_0_1_only(self):
        with client.LoopbackServer() as srv:
            # Read from the kernel's socket table; nothing is sent anywhere.
            self.assertEqual(listeners("/proc/net/tcp", srv.port), ["0100007F"])
            self.assertEqual(listeners("/proc/net/tcp6", srv.port), [])

    def test_sigterm_stops_promptly_even_with_held_connections(self):
        srv = client.LoopbackServer().start()
        try:
            srv.add_fault("event", hang=True)
            srv.register_package("big.zip", data=b"x" * 100000)
            srv.add_fault("packages", stall_after=10)
            hung = open_request(srv.port, PROFILE["event_path"] + "?a=1")
            stalled = open_request(srv.port, "/packages/big.zip")
            # an idle keep-alive connection, as an HTTP client library leaves
            idle = http.client.HTTPConnection(HOST, srv.port, timeout=5)
            idle.request("GET", "/entry/login.html")
            idle.getresponse().read()
            self.assertTrue(wait_until(lambda: len(srv.records()) == 1))
            self.assertEqual(read_raw(stalled, idle_timeout=0.5).end, "timeout")
            t0 = time.monotonic()
            rc = srv.stop(timeout=5)
            self.assertEqual(rc, 0)
            self.assertLess(time.monotonic() - t0, 0.9)
            # The held connections were closed, not left dangling.
            for sock in (hung, stalled, idle.sock):
                self.assertIn(read_raw(sock, idle_timeout=2).end, ("eof", "reset"))
                sock.close()
        finally:
            srv.stop()


class SetupFile(unittest.TestCase):
    def test_setup_file_is_applied_before_the_port_is_announced(self):
        from .loopback_support import fetch_raw
        with tempfile.TemporaryDirectory() as d:
            exe = os.path.join(d, "game.exe")
            with open(exe, "wb") as f:
                f.write(b"MZ")
            setup = os.path.join(d, "setup.json")
            with open(setup, "w") as f:
                json.dump({"config": {"body": "ClientVersion=2.0.0.0\n", "status": 503},
                           "faults": [{"target": "packages", "count": 1, "status": 500}],
                           "packages": [{"name": "chan/2.0.0.0/bm.zip", "exe": exe}],
                           "entry": {"token": "from-setup"}}, f)
            with client.LoopbackServer(setup=setup) as srv:
                r = fetch_raw(srv.port, "/x/client_config_chan.php")
                self.assertEqual((r.status, r.body), (503, b"ClientVersion=2.0.0.0\n"))
                target = "/packages/chan/2.0.0.0/bm.zip"
                self.assertEqual(fetch_raw(srv.port, target).status, 500)
                self.assertEqual(fetch_raw(srv.port, target).body[:2], b"PK")
                self.assertEqual(srv.entry()["token"], "from-setup")
            with open(setup, "w") as f:
                json.dump({"faults": [{"target": "packages", "cut_afterr": 1}]}, f)
            with self.assertRaises(RuntimeError):   # a bad setup stops the start
                client.LoopbackServer(setup=setup).start()


class AdminRefusals(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.srv = client.LoopbackServer().start()

    @classmethod
    def tearDownClass(cls):
        cls.srv.stop()

    def post_raw(self, path, body):
        conn = http.client.HTTPConnection(HOST, self.srv.port, timeout=5)
        conn.request("POST", path, body=body)
        resp = conn.getresponse()
        resp.read()
        conn.close()
        return resp.status

    def test_bad_input_is_refused_with_400_and_changes_nothing(self):
        before = self.srv.faults()
        cases = [
            ("faults", {"target": "packages", "cut_afterr": 5}),       # unknown option
            ("faults", {"target": "nowhere", "status": 500}),          # unknown target
            ("faults", {"target": "packages", "status": 5000}),
            ("faults", {"target": "packages", "count": 0, "status": 500}),
            ("faults", {"target": "packages", "rate": 0}),
            ("faults", {"target": "packages", "headers": {"X": "a\r\nSet-Cookie: y"}}),
            ("faults", {"target": "packages", "redirect": 302, "location": "http://example.org/x"}),
            ("faults", {"target": "event", "redirect": 302}),     # packages only
            ("config", {"redirect_status": 200}),
            ("config", {"body_b64": "***"}),
            ("entry", {"token": "</script><script>alert(1)"}),
            ("packages/register", {"name": "../escape.zip", "data_b64": ""}),
        ]
        for path, payload in cases:
            with self.subTest(path=path, payload=payload):
                with self.assertRaises(client.AdminError) as ctx:
                    self.srv.admin("POST", path, payload)
                self.assertEqual(ctx.exception.status, 400)
        self.assertEqual(self.srv.faults(), before)
        self.assertEqual(self.post_raw("/_admin/faults", b"{not json"), 400)
        self.assertEqual(self.post_raw("/_admin/nothing", b"{}"), 404)

    def test_reset_returns_everything_to_the_start(self):
        srv = self.srv
        srv.set_config(body="A=1\n", status=500)
        srv.add_fault("packages", status=404)
        srv.register_package("p.zip", data=b"zip")
        client_sock = open_request(srv.port, PROFILE["event_path"] + "?x=1")
        read_raw(client_sock)
        client_sock.close()
        srv.reset()
        self.assertEqual(srv.faults(), [])
        self.assertEqual(srv.records(), [])
        self.assertEqual(srv.admin("GET", "packages")["packages"], {})
        cfg = srv.admin("GET", "config")
        self.assertEqual(cfg["plan"], {})
        self.assertIn(b"EntryUrl=", __import__("base64").b64decode(cfg["body_b64"]))


if __name__ == "__main__":
    unittest.main()

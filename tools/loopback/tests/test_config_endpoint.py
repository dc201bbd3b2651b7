"""The configuration endpoint: routes, exact bodies, statuses, redirect
chains and loops, delays, stalls and a body split across chunks."""

import base64
import time
import unittest
import urllib.parse

from .loopback_support import client, fetch_raw, decode_chunked, time_of_offset, ServerTestCase, \
    PROFILE

CONFIG_PATH = PROFILE.config_target


class ConfigEndpoint(ServerTestCase):
    def test_routes(self):
        body = b"ClientVersion=1.2.3.4\n"
        self.srv.set_config(body_bytes=body, paths=["/cfg.txt"])
        for target, served in [
            (CONFIG_PATH, True),
            ("/api/qelto/ditches/other/client_config_other.php", True),
            ("/client_config_.php?x=1", True),
            ("/cfg.txt", True),
            (PROFILE["config_path"] + "x", False),
            ("/api/client_config_chan.php/more", False),
            (PROFILE["config_path"] + "/more", False),
        ]:
            with self.subTest(target=target):
                r = fetch_raw(self.srv.port, target)
                if served:
                    self.assertEqual((r.status, r.body), (200, body))
                else:
                    self.assertEqual(r.status, 404)

    def test_body_bytes_are_served_exactly(self):
        # CRLF, blanks, a second "=", a NUL and bytes that are not UTF-8 all
        # reach the client unchanged.
        body = b"EntryUrl=/login?a=1&b=2\r\n k = v \n\x00x=\xb0\xa1\xff\nlast"
        self.srv.set_config(body_bytes=body)
        r = fetch_raw(self.srv.port, CONFIG_PATH)
        self.assertEqual(r.status, 200)
        self.assertEqual(r.body, body)
        self.assertEqual(r.header("content-length"), str(len(body)))
        self.assertEqual(base64.b64decode(self.srv.admin("GET", "config")["body_b64"]), body)

    def test_config_file_option_serves_the_file(self):
        import os
        import tempfile
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "cfg")
            with open(path, "wb") as f:
                f.write(b"ClientVersion=9.9.9.9\r\n")
            with client.LoopbackServer(config_file=path) as srv:
                self.assertEqual(fetch_raw(srv.port, CONFIG_PATH).body, b"ClientVersion=9.9.9.9\r\n")

    def test_error_status_still_carries_the_body(self):
        self.srv.set_config(body="ClientVersion=1\n", status=404)
        r = fetch_raw(self.srv.port, CONFIG_PATH)
        self.assertEqual((r.status, r.body), (404, b"ClientVersion=1\n"))

    def follow(self, target, limit):
        """Follows redirects by hand; returns the chain of (status, location)."""
        chain = []
        for _ in range(limit):
            r = fetch_raw(self.srv.port, target)
            loc = r.header("location")
            chain.append((r.status, loc, r.body))
            if not 300 <= r.status < 400:
                break
            u = urllib.parse.urlsplit(loc)
            # Every hop stays on this server.
            self.assertEqual((u.scheme, u.hostname, u.port), ("http", "127.0.0.1", self.srv.port))
            target = u.path + ("?" + u.query if u.query else "")
        return chain

    def test_redirect_chain_ends_in_the_body(self):
        self.srv.set_config(body="A=1\n", redirects=3, redirect_status=301)
        chain = self.follow(CONFIG_PATH, 10)
        self.assertEqual([c[0] for c in chain], [301, 301, 301, 200])
        self.assertEqual(chain[-1][2], b"A=1\n")
        # The final status applies at the end of the chain, not at its start.
        self.srv.set_config(body="A=1\n", redirects=1, status=404)
        self.assertEqual([c[0] for c in self.follow(CONFIG_PATH, 10)], [302, 404])

    def test_redirect_loop_never_ends(self):
        self.srv.set_config(body="A=1\n", redirect_loop=True)
        chain = self.follow(CONFIG_PATH, 25)
        self.assertEqual(len(chain), 25)
        self.assertTrue(all(c[0] == 302 for c in chain))
        locations = [c[1] for c in chain[1:]]
        self.assertEqual(len(set(locations)), 2)      # back and forth
        self.assertNotEqual(locations[0], locations[1])

    def test_delay(self):
        self.srv.set_config(body="A=1\n", delay=0.5)
        t0 = time.monotonic()
        r = fetch_raw(self.srv.port, CONFIG_PATH)
        self.assertGreaterEqual(time.monotonic() - t0, 0.45)
        self.assertEqual(r.body, b"A=1\n")

    def test_accept_and_stall(self):
        self.srv.set_config(body="A=1\n", hang=True)
        r = fetch_raw(self.srv.port, CONFIG_PATH, idle_timeout=1.0)
        self.assertEqual((r.end, r.head, r.body), ("timeout", b"", b""))
        # A one-off rule overrides the settings for one request only.
        self.srv.set_config(body="A=1\n")
        self.srv.add_fault("config", count=1, hang=True)
        self.assertEqual(fetch_raw(self.srv.port, CONFIG_PATH, idle_timeout=0.7).end, "timeout")
        self.assertEqual(fetch_raw(self.srv.port, CONFIG_PATH).body, b"A=1\n")

    def test_body_split_inside_a_multibyte_character(self):
        body = "EntryUrl=/é\nCustomParameters=王\n".encode("utf-8")
        cut1 = body.index("é".encode()) + 1        # between the two bytes of é
        cut2 = body.index("王".encode()) + 2        # inside 王 (3 bytes)
        self.srv.set_config(body_bytes=body, chunked=True, split_at=[cut1, cut2], pause=0.3)
        r = fetch_raw(self.srv.port, CONFIG_PATH)
        self.assertEqual(r.header("transfer-encoding"), "chunked")
        self.assertIsNone(r.header("content-length"))
        chunks, complete, ends = decode_chunked(r.body)
        self.assertTrue(complete)
        self.assertEqual(chunks, [body[:cut1], body[cut1:cut2], body[cut2:]])
        # Each piece arrives on its own, a pause apart, so a client reading
        # as data comes sees the character in two halves.
        t = [time_of_offset(r, e - 1) for e in ends]
        self.assertGreaterEqual(t[1] - t[0], 0.25)
        self.assertGreaterEqual(t[2] - t[1], 0.25)

    def test_split_without_chunking_keeps_the_length(self):
        body = b"A=1\nB=2\n"
        self.srv.set_config(body_bytes=body, split_at=[3], pause=0.3)
        r = fetch_raw(self.srv.port, CONFIG_PATH)
        self.assertEqual((r.header("content-length"), r.body), ("8", body))
        self.assertGreaterEqual(time_of_offset(r, 3) - time_of_offset(r, 2), 0.25)

    def test_default_configuration_leads_to_this_servers_page_and_package(self):
        import os
        import tempfile
        import zipfile
        with tempfile.TemporaryDirectory() as d:
            exe = os.path.join(d, "game.exe")
            with open(exe, "wb") as f:
                f.write(b"MZ not really a program")
            with client.LoopbackServer(demo_exe=exe) as srv:
                body = fetch_raw(srv.port, CONFIG_PATH).body.decode("ascii")
                # Values must survive the launcher's reading: the value ends
                # at a second "=", so none may hold one.
                values = {}
                for line in body.split("\n"):
                    if "=" in line:
                        k, v = line.split("=", 1)
                        self.assertNotIn("=", v)
                        values.setdefault(k, v)
                entry = urllib.parse.urlsplit(values["EntryUrl"])
                self.assertEqual((entry.hostname, entry.port), ("127.0.0.1", srv.port))
                self.assertEqual(fetch_raw(srv.port, entry.path).status, 200)
                dl = values["ClientDownloadUrl"].replace("{ditch_name}", PROFILE["channel_name"]) \
                    .replace("{version}", values["ClientVersion"])
                r = fetch_raw(srv.port, urllib.parse.urlsplit(dl).path)
                self.assertEqual(r.status, 200)
                path = os.path.join(d, "got.zip")
                with open(path, "wb") as f:
                    f.write(r.body)
                with zipfile.ZipFile(path) as zf:
                    self.assertEqual(zf.read(PROFILE.game_relative), b"MZ not really a program")


if __name__ == "__main__":
    unittest.main()

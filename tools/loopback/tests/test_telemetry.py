"""The event and error endpoints: every report recorded exactly as it came
(query bytes untouched, escapes not decoded), answered 200 with an empty
body, and a hang mode that really never answers."""

import json
import os
import tempfile
import time
import unittest

from .loopback_support import client, fetch_raw, open_request, read_raw, wait_until, \
    ServerTestCase, PROFILE

EVENT = PROFILE["event_path"].encode("ascii")
ERROR = PROFILE["error_path"].encode("ascii")


class Reports(ServerTestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.record = os.path.join(cls.dir.name, "reports.jsonl")
        cls.server_options = {"record": cls.record}
        super().setUpClass()

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls.dir.cleanup()

    def test_queries_are_recorded_byte_for_byte(self):
        queries = [
            b"client_uid=0123abcd&ditch_name=chan&mac=AA-BB-CC-DD-EE-FF"
            b"&os_version=Windows%2010%20%28x64%29%2FIntel%3F&ac=create",
            b"client_uid=&ditch_name=chan&mac=unkown&os_version=&error_msg=game%20start",
            # escapes that decode to "/", "?", "&", "=", "%", "+" stay escaped
            b"error_msg=a%2Fb%3Fc%26d%3De%25f%2Bg+h%2bi",
            # raw UTF-8 whose bytes include 0x85 (入) and 0xA0 (丠), whitespace to a
            # careless parser; raw GBK bytes; a raw tab and a raw blank
            "error_msg=进入游戏失败丠".encode("utf-8") + b"&gbk=\xb4\xb4\xbd\xa8",
            b"error_msg=tab\there&blank=a b",
            b"", b"&&==%%",
        ]
        sent = []
        for i, q in enumerate(queries):
            path = EVENT if i % 2 == 0 else ERROR
            before = time.time()
            r = fetch_raw(self.srv.port, path + b"?" + q)
            after = time.time()
            self.assertEqual((r.status, r.body, r.header("content-length")), (200, b"", "0"))
            sent.append((path, q, before, after))
        recs = self.srv.records()
        self.assertEqual(len(recs), len(queries))
        for rec, (path, q, before, after) in zip(recs, sent):
            with self.subTest(query=q):
                self.assertEqual(rec["query_bytes"], q)
                self.assertEqual(rec["query"].encode("latin-1"), q)
                self.assertEqual(rec["path"].encode(), path)
                self.assertEqual(rec["endpoint"], "event" if path == EVENT else "error")
                self.assertTrue(rec["has_query"])
                self.assertTrue(before - 0.01 <= rec["time"] <= after + 0.01)
        # The file holds the same records, one JSON object per line.
        with open(self.record, "rb") as f:
            lines = f.read().split(b"\n")
        self.assertEqual(lines[-1], b"")
        from_file = client.read_records_file(self.record)
        self.assertEqual([r["query_bytes"] for r in from_file], [s[1] for s in sent])
        self.assertEqual([json.loads(l)["seq"] for l in lines[:-1]], list(range(len(queries))))

    def test_report_without_query(self):
        fetch_raw(self.srv.port, EVENT)
        rec = self.srv.records()[0]
        self.assertEqual((rec["has_query"], rec["query_bytes"]), (False, b""))

    def test_reports_on_one_connection_are_all_recorded(self):
        s = open_request(self.srv.port, EVENT + b"?n=1", close=False)
        s.sendall(b"GET " + ERROR + b"?n=2 HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
        r = read_raw(s)
        s.close()
        self.assertEqual(r.body.count(b"HTTP/1.1 200"), 1)   # second answer follows the first
        self.assertEqual([x["query_bytes"] for x in self.srv.records()], [b"n=1", b"n=2"])

    def test_clear_empties_the_file_too(self):
        fetch_raw(self.srv.port, EVENT + b"?a=1")
        self.srv.clear_records()
        self.assertEqual(os.path.getsize(self.record), 0)
        fetch_raw(self.srv.port, ERROR + b"?b=2")
        self.assertEqual([r["query_bytes"] for r in client.read_records_file(self.record)],
                         [b"b=2"])

    def test_hang_mode_accepts_records_and_never_answers(self):
        self.srv.add_fault("event", hang=True)
        s = open_request(self.srv.port, EVENT + b"?ac=game_start")
        # The report is recorded on arrival although no answer ever comes.
        recs = wait_until(lambda: self.srv.records())
        self.assertEqual(recs[0]["query_bytes"], b"ac=game_start")
        self.assertEqual(recs[0]["answer"], "hang")
        # Meanwhile the other endpoint answers normally.
        self.assertEqual(fetch_raw(self.srv.port, ERROR + b"?x=1").status, 200)
        r = read_raw(s, idle_timeout=1.5)
        s.close()
        self.assertEqual((r.end, r.head), ("timeout", b""))

    def test_hang_for_both_endpoints_for_n_requests(self):
        self.srv.add_fault("telemetry", count=2, hang=True)
        held = [open_request(self.srv.port, p + b"?h=1") for p in (EVENT, ERROR)]
        self.assertTrue(wait_until(lambda: len(self.srv.records()) == 2))
        self.assertEqual(fetch_raw(self.srv.port, EVENT + b"?h=0").status, 200)
        for s in held:
            self.assertEqual(read_raw(s, idle_timeout=0.5).end, "timeout")
            s.close()

    def test_status_and_delay_faults(self):
        self.srv.add_fault("error", count=1, status=500)
        self.srv.add_fault("error", count=1, delay=0.4)
        self.assertEqual(fetch_raw(self.srv.port, ERROR + b"?a").status, 500)
        t0 = time.monotonic()
        self.assertEqual(fetch_raw(self.srv.port, ERROR + b"?b").status, 200)
        self.assertGreaterEqual(time.monotonic() - t0, 0.35)
        self.assertEqual(len(self.srv.records()), 2)   # faults do not lose reports


if __name__ == "__main__":
    unittest.main()

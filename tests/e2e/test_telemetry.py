"""Reports from a real launcher run reach the event and error endpoints of the
loopback server exactly as logged, and a run whose endpoints never answer
still ends promptly."""
import re
import time
import unittest

import harness
from harness import MAIN, gui

BOX = "#32770"
EVENT_PATH = harness.PROFILE["event_path"]
ERROR_PATH = harness.PROFILE["error_path"]
# client_uid (digest, or the fallbacks), channel, adapter address, and the
# escaped version text with processor and memory: one query value, so no
# blank, '/', '?' or '&' inside.
COMMON = (r"client_uid=(?:[0-9a-f]{32}|unkown|)&ditch_name=" + re.escape(harness.CHANNEL) +
          r"&mac=(?:unkown|[0-9A-F]{2}(?:-[0-9A-F]{2}){5})"
          r"&os_version=Version%20major:\d+%20minor:\d+%20build:\d+[^ /?&]*"
          r"physical%20memory:\d+%20MB%20virtual%20memory:\d+%20MB")


class TelemetryTest(unittest.TestCase):
    def setUp(self):
        harness.require_environment(self)
        harness.reset_install_root()
        self.server = harness.start_server(self)
        # No configuration: the worker stops after its request, so the only
        # reports of a run are those of start-up.
        self.server.set_config(status=404, body="")
        self.launcher = harness.launcher_copy(self)
        self.procs = []

    def tearDown(self):
        harness.end_run(self.procs, (("TovLauncher", BOX), (MAIN, "-")))

    def start(self):
        proc = self.launcher.start()
        self.procs.append(proc)
        return proc

    def run_to_main_window(self):
        proc = self.start()
        harness.wait_main_window(self, proc)
        return proc

    def reports(self, n):
        recs = self.server.wait_records(n, timeout=15)
        self.assertGreaterEqual(len(recs), n, recs)
        return recs

    def test_start_reports_create_and_launcher_start_exactly_as_logged(self):
        proc = self.run_to_main_window()
        # Two independent requests: either may arrive first.
        recs = self.reports(2)
        create = next(r for r in recs if r["endpoint"] == "event")
        start = next(r for r in recs if r["endpoint"] == "error")
        harness.close_main_window(self, proc)

        self.assertEqual((create["endpoint"], create["method"], create["path"]),
                         ("event", "GET", EVENT_PATH))
        self.assertEqual((start["endpoint"], start["method"], start["path"]),
                         ("error", "GET", ERROR_PATH))
        self.assertRegex(create["query"], "^" + COMMON + "&ac=create$")
        common = create["query"][:-len("&ac=create")]
        self.assertEqual(start["query"], common + "&error_msg=launcher%20start")

        # The local log holds the very URLs that went out, on the server's
        # own port, under the reporter's operation names.
        base = harness.SERVER_BASE
        self.assertEqual(harness.info_messages("WebLogger::LogEvent", r"(\S+)"),
                         [base + EVENT_PATH + "?" + create["query"]])
        self.assertEqual(harness.info_messages("WebLogger::Log", r"(\S+)"),
                         [base + ERROR_PATH + "?" + start["query"]])

        # The next run of the same machine sends the same identification.
        self.server.clear_records()
        proc = self.run_to_main_window()
        again = self.reports(2)
        harness.close_main_window(self, proc)
        self.assertEqual(sorted(r["query"] for r in again), sorted([create["query"], start["query"]]))

    def test_data_directory_failure_is_reported_in_chinese_as_utf8(self):
        with open(harness.install_root(), "w") as f:
            f.write("in the way")
        proc = self.start()
        recs = self.reports(3)
        self.assertEqual(gui("wait", "TovLauncher", BOX, 20000)[0], 0, "no message box")
        gui("command", "TovLauncher", BOX, 1)
        self.assertEqual(harness.exit_code(proc), 255)
        failure = [r for r in recs if r["query"].endswith("id:3")]
        self.assertEqual(len(failure), 1, [r["query"] for r in recs])
        self.assertEqual(failure[0]["path"], ERROR_PATH)
        # "创建数据目录失败,错误id:3"
        self.assertRegex(failure[0]["query"], "^" + COMMON + re.escape(
            "&error_msg=%E5%88%9B%E5%BB%BA%E6%95%B0%E6%8D%AE%E7%9B%AE%E5%BD%95%E5%A4%B1%E8%B4%A5,"
            "%E9%94%99%E8%AF%AFid:3") + "$")

    def test_endpoints_that_never_answer_do_not_hold_the_exit(self):
        self.server.add_fault("telemetry", hang=True)
        proc = self.run_to_main_window()
        recs = self.reports(2)
        self.assertTrue(all(r["answer"] == "hang" for r in recs), recs)
        closed_at = time.monotonic()
        self.assertEqual(gui("close", MAIN, "-")[0], 0)
        self.assertEqual(harness.exit_code(proc, timeout=60), 0)
        took = time.monotonic() - closed_at
        # Up to 3 s of waiting for the report threads, plus Wine's own
        # start and end of the helper; the bound only has to catch a hang.
        self.assertLess(took, 12.0, "the launcher took %.1f s to end" % took)
        self.assertIn("wnd destory", harness.read_log())


if __name__ == "__main__":
    unittest.main()

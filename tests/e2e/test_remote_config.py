"""The provisioning worker's configuration request, end to end: the body
parsed into the entry address the panel's web control is sent to, failures
shown in the panel's status mode, waits that end, and a body decoded whole."""
import os
import shutil
import subprocess
import time
import unittest

import harness
from harness import MAIN, gui, info

FAILURE = "更新失败,请检查网络"
FETCH = "CGameRemoteConfig::InitRemoteConfig"
NAVIGATE = "CWebCDlg::InitWebBrower"
CONFIG_PATH = harness.PROFILE["config_path"]
CONFIG_TARGET = harness.PROFILE.config_target

PROGRESS, PERCENT, PHASE, STATUS, BROWSER = "1000", "1001", "1002", "1003", "1005"


def chinese_locale_env():
    """Environment for a launcher whose ANSI code page is 936 (GBK), as on a
    Chinese Windows: Wine takes it from a zh_CN locale, built here once."""
    root = os.path.join(harness.BUILD_DIR, "locale")
    if not os.path.isdir(os.path.join(root, "zh_CN.UTF-8")):
        if not shutil.which("localedef") or not os.path.isdir("/usr/share/i18n/locales"):
            return None
        os.makedirs(root, exist_ok=True)
        subprocess.run(["localedef", "-i", "zh_CN", "-f", "UTF-8",
                        os.path.join(root, "zh_CN.UTF-8")],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    if not os.path.isdir(os.path.join(root, "zh_CN.UTF-8")):
        return None
    return {"LOCPATH": root, "TOV_WINE_LC_ALL": "zh_CN.UTF-8"}


class RemoteConfigTest(unittest.TestCase):
    def setUp(self):
        harness.require_environment(self)
        # No launcher left over from elsewhere; this also readies the prefix.
        harness.close_windows(MAIN)
        harness.reset_install_root()
        self.procs = []

    def tearDown(self):
        harness.end_run(self.procs)

    # -- helpers

    def serve(self, **config):
        self.server = harness.start_server(self)
        self.server.set_config(**config)

    def launch(self, test_build=False, env=None):
        if test_build and not harness.TEST_LAUNCHER_EXE:
            self.fail("TOV_TEST_LAUNCHER_EXE is not set (run through CTest)")
        copy = harness.launcher_copy(self, source=harness.TEST_LAUNCHER_EXE if test_build else None)
        proc = copy.start(env=env)
        self.procs.append(proc)
        harness.wait_main_window(self, proc)
        return proc

    def finish(self, proc):
        harness.close_main_window(self, proc)

    def wait_log(self, pattern):
        return harness.wait_log(self, pattern)

    def navigations(self):
        return harness.info_messages(NAVIGATE)

    def wait_failure(self, res, status):
        return self.wait_log(r"\[ERROR\]\[" + FETCH + r"::\d+\]\[res:%d, httpStatusCode:%d\]\r\n"
                             % (res, status))

    def read_panel(self):
        found = harness.owned_windows()
        if not found:
            return None
        own, controls = found
        if not all(c in controls for c in (PROGRESS, PERCENT, PHASE, STATUS, BROWSER)):
            return None  # still being created
        return {"class": own[0], "visible": own[1] == "visible", "rect": own[2],
                "controls": controls}

    def panel(self):
        """The content panel as the GUI driver sees it: its own line and its
        controls by id, each (class, visible, text, extra)."""
        found = harness.wait_for(self.read_panel, 10)
        self.assertTrue(found, "no content panel: " + gui("owned", MAIN, "-")[1])
        return found

    def control_address(self, expected):
        """The address the web control was sent to. The engine may hold the
        window's thread while it navigates (Wine without its HTML engine for
        about ten seconds), so the address is waited for."""
        harness.wait_for(lambda: self.panel()["controls"][BROWSER][2] == expected, 20)
        return self.panel()["controls"][BROWSER][2]

    def wait_status_mode(self, text):
        shown = harness.wait_for(lambda: self.panel()["controls"][STATUS][1:3] == ("visible", text))
        panel = self.panel()
        self.assertTrue(shown, panel)
        c = panel["controls"]
        self.assertEqual(c[PROGRESS][1], "hidden")
        self.assertEqual(c[PHASE][1], "hidden")
        self.assertEqual(c[PERCENT][1], "hidden")
        # A status text counts as the extraction phase; the position stayed
        # at 0, so the percentage keeps the template's text.
        self.assertEqual(c[PHASE][2], "正在解压：")
        self.assertEqual(c[PERCENT][2], "0%")
        return panel

    # -- answers that arrive

    def test_body_of_a_200_answer_sends_the_web_control_to_its_entry_address(self):
        base = "http://127.0.0.1:%d" % harness.server_port()
        self.serve(body="ClientVersion=1.0.0.1\n"
                        "EntryUrl=%s/entry/login.html?from=launcher\n"
                        "EntryUrl=%s/entry/second.html\n"
                        "CustomParameters=demo\n" % (base, base))
        proc = self.launch()
        # The value ends at the second "=", and the first EntryUrl wins.
        entry = base + "/entry/login.html?from"
        self.wait_log(info(NAVIGATE, entry))
        self.assertEqual(self.navigations(), [entry])
        self.wait_log(info(FETCH, harness.SERVER_BASE + CONFIG_TARGET))
        self.assertNotIn("httpStatusCode", harness.read_log())

        panel = self.panel()
        self.assertEqual(panel["class"], "#32770")
        self.assertTrue(panel["visible"])
        self.assertEqual(self.control_address(entry), entry)
        # The panel lies exactly over the main window.
        state = gui("state", MAIN, "-")[1].split()
        self.assertEqual(panel["rect"], " ".join(state[1:5]))
        served = [r for r in self.server.requests() if r.get("route") == "config"]
        self.assertEqual(len(served), 1, served)
        self.finish(proc)

    def test_redirects_then_200_parse_the_final_body(self):
        entry = "http://127.0.0.1/after-redirects"
        self.serve(body="EntryUrl=%s\n" % entry, redirects=3, redirect_status=302)
        proc = self.launch()
        self.wait_log(info(NAVIGATE, entry))
        outcomes = [r.get("outcome") for r in self.server.requests() if r.get("route") == "config"]
        self.assertEqual(outcomes, ["redirect"] * 3 + ["complete"])
        self.finish(proc)

    def test_body_split_inside_a_chinese_character_is_decoded_whole(self):
        env = chinese_locale_env()
        if env is None:
            self.skipTest("no zh_CN locale can be built here (localedef and its sources)")
        entry = "http://127.0.0.1/入口/王者荣耀"
        body = ("EntryUrl=%s\n" % entry).encode("gbk")
        first = body.index("入".encode("gbk"))
        wang = body.index("王".encode("gbk"))
        # Each piece ends after the first byte of a two-byte character.
        self.serve(body_bytes=body, chunked=True, split_at=[first + 1, wang + 1, wang + 3],
                   pause=0.4)
        proc = self.launch(env=env)
        self.wait_log(info(NAVIGATE))
        self.assertEqual(self.navigations(), [entry])
        self.assertEqual(self.control_address(entry), entry)
        self.finish(proc)

    def test_crlf_body_sends_the_control_to_the_address_without_its_cr(self):
        base = "http://127.0.0.1:%d" % harness.server_port()
        self.serve(body="EntryUrl=%s/entry/login.html\r\nClientVersion=1.0.0.1\r\n" % base)
        proc = self.launch()
        entry = base + "/entry/login.html"
        self.wait_log(info(NAVIGATE))
        self.assertEqual(self.navigations(), [entry])
        self.assertEqual(self.control_address(entry), entry)
        self.finish(proc)

    def test_an_entry_address_of_another_scheme_is_logged_and_not_opened(self):
        self.serve(body="EntryUrl=file:///C:/windows/win.ini\nClientVersion=1.0.0.1\n")
        proc = self.launch()
        self.wait_log(r"\[ERROR\]\[" + NAVIGATE + r"::\d+\]\[not a web address, not opened: "
                      r"file:///C:/windows/win.ini\]\r\n")
        self.assertEqual(self.panel()["controls"][BROWSER][2], "")
        self.finish(proc)

    # -- failures, shown in the panel's status mode

    def test_404_with_a_well_formed_body_is_a_failure_and_parses_nothing(self):
        self.serve(body="EntryUrl=http://127.0.0.1/entry\n", status=404)
        proc = self.launch()
        self.wait_failure(0, 404)
        panel = self.wait_status_mode(FAILURE)
        self.assertEqual(panel["controls"][BROWSER][2], "")
        self.assertEqual(self.navigations(), [])
        self.finish(proc)

    def test_a_body_over_one_mebibyte_is_a_failure_and_parses_nothing(self):
        # A well-formed start, then more than the launcher keeps.
        body = b"EntryUrl=http://127.0.0.1/entry\nfill=" + b"x" * (1 << 20) + b"\n"
        self.serve(body_bytes=body)
        proc = self.launch()
        self.wait_failure(23, 200)
        self.wait_status_mode(FAILURE)
        self.assertEqual(self.navigations(), [])
        self.finish(proc)

    def test_refused_connection_fails_with_no_status(self):
        proc = self.launch()
        self.wait_failure(7, 0)
        self.wait_status_mode(FAILURE)
        self.assertEqual(self.navigations(), [])
        self.finish(proc)

    def test_redirect_loop_ends_as_a_failure(self):
        self.serve(body="EntryUrl=http://127.0.0.1/never\n", redirect_loop=True)
        proc = self.launch()
        self.wait_failure(47, 302)
        self.wait_status_mode(FAILURE)
        hops = [r for r in self.server.requests() if r.get("route") == "config"]
        self.assertEqual(len(hops), 31, "the first request and 30 redirects followed")
        self.assertEqual(self.navigations(), [])
        self.finish(proc)

    # -- the test build: short limits, the channel named twice

    def test_test_build_names_the_channel_twice_in_the_configuration_address(self):
        self.serve(body="EntryUrl=http://127.0.0.1/entry\n")
        proc = self.launch(test_build=True)
        self.wait_log(info(NAVIGATE))
        self.wait_log(info(FETCH, harness.SERVER_BASE + CONFIG_TARGET))
        paths = [r["target"].partition("?")[0] for r in self.server.requests()
                 if r.get("route") == "config"]
        self.assertEqual(paths, [CONFIG_PATH])
        self.finish(proc)

    def test_server_that_never_answers_fails_within_the_stall_limit(self):
        self.serve(body="EntryUrl=http://127.0.0.1/entry\n", hang=True)
        proc = self.launch(test_build=True)
        self.wait_log(info(FETCH))
        asked = time.monotonic()
        self.wait_failure(28, 0)
        waited = time.monotonic() - asked
        # The test build gives up after 2 s without a byte.
        self.assertGreater(waited, 1.0)
        self.assertLess(waited, 12.0)
        self.wait_status_mode(FAILURE)
        self.assertEqual(self.navigations(), [])
        self.finish(proc)


if __name__ == "__main__":
    unittest.main()

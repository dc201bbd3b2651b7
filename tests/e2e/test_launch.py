"""Login and game start end to end: TovLauncherTest.exe under Wine, whose
page is a script run by Wine's JScript engine against the launcher's real
script object, the loopback server, and the demo game client, which reports
how it was started."""
import os
import re
import shutil
import unittest

import harness
from harness import MAIN, STAMP, gui, info
from client import read_started_file

GAME = harness.GAME
VERSION = "1.0.0.1"
# A configuration value ends at its second "=", so this one has none.
CUSTOM = "plat:demo&zone:7"
LOGIN = "CWebCDlg::OnLoginResult"
LAUNCH = "CWebCDlg::LaunchGame"


page = harness.page_script
login = harness.login_statement
# A stress mode: every case TOV_LAUNCH_ROUNDS times over.
load_tests = harness.repeated_tests("LAUNCH")


class LaunchTest(unittest.TestCase):
    def setUp(self):
        harness.require_environment(self)
        if not harness.TEST_LAUNCHER_EXE:
            self.fail("TOV_TEST_LAUNCHER_EXE is not set (run through CTest)")
        harness.close_windows(MAIN)
        harness.close_windows(GAME)
        harness.reset_install_root()
        self.server = harness.start_server(self)
        self.proc = None

    def tearDown(self):
        harness.end_run([self.proc], ((MAIN, "-"), (GAME, "-")))

    # -- helpers

    def serve(self, custom=CUSTOM, version=VERSION):
        self.server.set_config(body=harness.config_body(self.server.base_url, version, version,
                                                        custom))

    def install_client(self, with_game=True):
        """An installed client that is current: the up-to-date path sets the
        panel ready at once."""
        harness.install_current_client(VERSION, with_game)

    def launch(self, script, *args, luapath=None):
        self.copy, self.proc, self.script_path = harness.start_with_page(self, script, *args, luapath=luapath)
        return self.proc

    def script_errors(self):
        path = self.script_path + ".errors"
        return open(path, encoding="utf-8").read() if os.path.exists(path) else ""

    def wait_log(self, pattern):
        return harness.wait_log(self, pattern, 30, lambda: "\npage errors: " + self.script_errors())

    def assert_in_order(self, *patterns):
        log = harness.read_log() or ""
        at = 0
        for p in patterns:
            m = re.compile(STAMP + p).search(log, at)
            self.assertTrue(m, "not found after %d: %s\n%s" % (at, p, log))
            at = m.end()

    def started(self, timeout=20):
        path = harness.game_path("bm_started.txt")
        self.assertTrue(harness.wait_for(lambda: os.path.exists(path), timeout),
                        "the game did not start (launcher %s)\n%s" % (
                            harness.launcher_state(self.proc), harness.read_log()))
        return read_started_file(path)

    def logged_command_line(self):
        m = re.search(STAMP + info(LAUNCH) + r"(.*)\r\n" + STAMP +
                      info(LAUNCH, "LaunchGame"), harness.read_log())
        self.assertTrue(m, harness.read_log())
        return m.group(1)

    def error_texts(self):
        return harness.report_texts(r for r in self.server.records() if r["endpoint"] == "error")

    def assert_launcher_exits(self):
        self.assertEqual(harness.exit_code(self.proc, timeout=30), 0)
        self.assertEqual(gui("gone", MAIN, "-", 5000)[0], 0)

    # -- the game starts

    def test_login_before_ready_starts_the_game_from_the_worker_with_the_composed_line(self):
        self.serve()
        self.install_client()
        # The page logs in as soon as it loads, before the version decision.
        self.launch(page(login("true|account=p%201&token=T0k|ignored")), "--launcher-arg")
        game = self.started()
        self.assert_launcher_exits()

        line = game["command_line"]
        self.assertEqual(line, self.logged_command_line())
        suffix = " --parameters=account=p%201&token=T0k --plat_extra=" + CUSTOM
        self.assertTrue(line.endswith(suffix), line)
        # The launcher's own command line comes first, its argument included.
        launcher_part = line[:-len(suffix)]
        exe = "C:\\" + os.path.relpath(self.copy.exe, harness.drive_c()).replace("/", "\\")
        self.assertEqual(launcher_part, '"%s" --launcher-arg' % exe)
        game_dir = harness.INSTALL_ROOT + "\\client\\" + harness.PROFILE["game_folder"]
        self.assertEqual(game["working_directory"], game_dir)
        self.assertEqual(game["executable"].lower(),
                         (game_dir + "\\" + harness.PROFILE["game_executable"]).lower())
        # Logged in first, so the worker's SetReady started the game.
        self.assert_in_order(info(LOGIN, "is logic suc!"),
                             info("CWebCDlg::SetReady", "is ready"),
                             info(LAUNCH, "LaunchGame Succ"),
                             info("CWebDlg::Cancel", "Laucher Stop"))
        self.assertEqual(harness.wait_for(lambda: len(re.findall("LaunchGame Succ", harness.read_log()))), 1)
        # The launcher closes right after the start, and its three reports
        # still arrive, each once.
        texts = harness.report_texts(self.server.records())
        for text in ("ac=game_start", "game start", "game start success"):
            self.assertEqual(texts.count(text), 1, texts)
        log = harness.read_log()
        self.assertRegex(log, r"\[INFO\]\[WebLogger::LogEvent::\d+\] \S+&ac=game_start\r\n")
        for text in ("game%20start", "game%20start%20success"):
            self.assertRegex(log, r"\[INFO\]\[WebLogger::Log::\d+\] \S+&error_msg=" + text + r"\r\n")
        self.assertEqual(self.script_errors(), "")

    def test_ready_before_login_and_luapath_txt_in_the_current_directory(self):
        self.serve()
        self.install_client()
        scripts = harness.drive_c("lua dev", "scripts")
        os.makedirs(scripts, exist_ok=True)
        self.addCleanup(shutil.rmtree, harness.drive_c("lua dev"), True)
        self.launch(page("window.setTimeout(function () { %s }, 4000);" % login("TRUE|a=1")),
                    luapath=b"C:\\lua dev\\scripts\r\nsecond line\r\n")
        game = self.started()
        self.assert_launcher_exits()
        self.assert_in_order(info("CWebCDlg::SetReady", "is ready"),
                             info(LOGIN, "is logic suc!"),
                             info(LAUNCH, "LaunchGame Succ"))
        self.assertTrue(game["command_line"].endswith(
            " --parameters=a=1 --plat_extra=" + CUSTOM + ' "--luapath=C:\\lua dev\\scripts"'),
            game["command_line"])

    def test_first_install_maximises_the_game_window(self):
        self.serve()
        self.server.build_package("%s/%s/bm.zip" % (harness.CHANNEL, VERSION), harness.DEMO_CLIENT)
        self.launch(page(login("true|first")))
        game = self.started(timeout=60)
        self.assert_launcher_exits()
        self.assertTrue(game["command_line"].endswith(" --parameters=first --plat_extra=" + CUSTOM))
        self.assertEqual(gui("wait", GAME, "-", 5000)[0], 0)
        state = harness.wait_for(lambda: (lambda s: s if s.endswith("maximized") else None)(
            gui("state", GAME, "-")[1].strip()), 5)
        self.assertTrue(state, gui("state", GAME, "-")[1])

    # -- the launcher stays

    def test_missing_game_executable_keeps_the_launcher_open_and_reports_the_failure(self):
        self.serve()
        self.install_client(with_game=False)
        self.launch(page(login("true|x"),
                         "window.setTimeout(function () { %s }, 500);" % login("true|y")))
        self.wait_log(info(LAUNCH, "LaunchGame Faild"))
        # The system's reason comes with it: the file is not there.
        self.assertRegex(harness.read_log(), r"\[ERROR\]\[CWebCDlg::LaunchGame::\d+\]\[CreateProcess error 2\]")
        self.assertTrue(harness.wait_for(lambda: "game start failed" in self.error_texts()),
                        self.error_texts())
        self.assertNotIn("game start success", self.error_texts())
        self.wait_log(info(LOGIN, "already login"))
        state = gui("state", MAIN, "-")
        self.assertEqual(state[0], 0)
        self.assertTrue(state[1].startswith("visible"), state[1])
        self.assertIsNone(self.proc.poll(), "the launcher exited")
        self.assertNotIn("Laucher Stop", harness.read_log())
        harness.close_main_window(self, self.proc)

    def test_refused_login_shows_the_box_and_a_later_login_is_taken(self):
        self.serve()
        self.install_client()
        self.launch(page(login("false|"), login("true|second")))
        self.assertEqual(gui("box", "登录验证未通过", 30000)[0], 0,
                         harness.read_log())
        self.assertFalse(os.path.exists(harness.game_path("bm_started.txt")))
        self.assertEqual(gui("answer", "登录验证未通过", 1)[0], 0)
        game = self.started()
        self.assert_launcher_exits()
        self.assertTrue(game["command_line"].endswith(" --parameters=second --plat_extra=" + CUSTOM))
        self.assertEqual(len(re.findall(re.escape("is logic suc!"), harness.read_log())), 1)

    def test_the_page_stays_where_it_was_sent_and_only_its_own_script_logs_in(self):
        # The page tries to leave, or a frame to log in; then the page logs in
        # with the address it is on.
        leave, navigation = "window.location = %s;", "CWebCDlg::OnBeforeNavigate2"
        private, public = harness.package_key(self)
        for statement, env, operation, refusal in (
                (leave % "'file:///C:/windows/win.ini'", {}, navigation,
                 "not a web address, not opened: file:///C:/windows/win.ini"),
                (leave % "\"javascript:login('true|js')\"", {}, navigation,
                 "not a web address, not opened: javascript:login('true|js')"),
                (leave % "'http://elsewhere.invalid/x'", {"TOV_TEST_PAGE_HOSTS": "127.0.0.1"}, navigation,
                 "host not allowed, not opened: http://elsewhere.invalid/x"),
                # A keyed build: the hosts are those its signed configuration names.
                (leave % "'http://elsewhere.invalid/y'", {"TOV_PACKAGE_PUBLIC_KEY": public}, navigation,
                 "host not allowed, not opened: http://elsewhere.invalid/y"),
                ("window.frame('http://ads.invalid/', \"window.external.JavascriptToCsharp('LoginResult', 'true|frame')\");",
                 {}, "CImpIDispatch::Invoke", "script call refused, not from the page itself: %s/entry/login.html")):
            with self.subTest(statement):
                harness.end_run([self.proc], ((MAIN, "-"), (GAME, "-")))
                harness.reset_install_root()
                self.serve()
                if env.get("TOV_PACKAGE_PUBLIC_KEY"):
                    harness.wine(["reg", "delete", harness.SEALED_KEY, "/f"])
                    self.server.set_config(body_bytes=harness.sign_config(private, 1, harness.config_body(
                        self.server.base_url, VERSION, VERSION, CUSTOM, extra=[
                            "ConfigChannel=" + harness.CHANNEL, "ClientPackageSha256=" + "0" * 64])))
                self.install_client()
                self.copy, self.proc, self.script_path = harness.start_with_page(
                    self, page(statement, "ext.JavascriptToCsharp('LoginResult', 'true|at=' + window.location);"),
                    env=env)
                self.assertIn(" --parameters=at=%s/entry/login.html " % self.server.base_url,
                              self.started()["command_line"])
                self.assert_launcher_exits()
                error = "[ERROR][%s::" % operation, "][%s]\r\n" % refusal.replace("%s", self.server.base_url)
                self.assertRegex(harness.read_log(), re.escape(error[0]) + r"\d+" + re.escape(error[1]))

    def test_only_the_test_build_runs_a_page_script(self):
        def holds(path, text):
            with open(path, "rb") as f:
                return text.encode("utf-16-le") in f.read()
        self.assertTrue(holds(harness.TEST_LAUNCHER_EXE, "TOV_PAGE_SCRIPT"))
        self.assertFalse(holds(harness.LAUNCHER_EXE, "TOV_PAGE_SCRIPT"))


if __name__ == "__main__":
    unittest.main()

"""Start-up, the single-instance guard and the local log, end to end."""
import os
import re
import unittest

import harness
from harness import GAME, GAME_CLASS, LAUNCHER_FILE, LAUNCHER_NAME, MAIN, STAMP, gui

BOX = "#32770"
# A stress mode: every case TOV_STARTUP_ROUNDS times over.
load_tests = harness.repeated_tests("STARTUP")


class StartupTest(unittest.TestCase):
    def setUp(self):
        harness.require_environment(self)
        harness.reset_install_root()
        self.procs = []

    def tearDown(self):
        harness.end_run(self.procs, ((GAME, BOX), (MAIN, "-"),
                                     (GAME, GAME_CLASS)))

    def copy(self, name=LAUNCHER_FILE):
        return harness.launcher_copy(self, name)

    def start(self, copy, *args, env=None):
        p = copy.start(*args, env=env)
        self.procs.append(p)
        return p

    def wait_main_window(self):
        harness.wait_main_window(self, self.procs[-1] if self.procs else None)

    def close_main_window(self, proc):
        harness.close_main_window(self, proc)

    def box_text(self, caption=GAME):
        if gui("wait", caption, BOX, 20000)[0] != 0:
            self.fail("no message box\n%s\n%s" % (harness.launcher_stacks(), harness.read_log()))
        return gui("texts", caption, BOX)[1]

    def test_normal_run_logs_its_life_in_order_and_exits_zero(self):
        launcher = self.copy()
        proc = self.start(launcher)
        self.wait_main_window()
        self.close_main_window(proc)
        log = harness.read_log()
        lines = log.split("\r\n")
        self.assertEqual(lines[-1], "", "every line ends in CR LF")
        expected = [
            r"\[INFO\]\[WebLogger::LogEvent::\d+\] ",
            r"\[INFO\]\[WebLogger::Log::\d+\] ",
            r"\[INFO\]\[CWebApp::InitApplication::\d+\] " + re.escape(harness.INSTALL_ROOT) + "$",
            r"\[INFO\]\[CWebApp::InitApplication::\d+\] " + re.escape(harness.INSTALL_ROOT + "\\client") + "$",
            r"\[INFO\]\[CWebApp::InitInstance::\d+\] Laucher Start$",
            r"\[INFO\]\[CWebApp::OnWndDestroy::\d+\] wnd destory$",
        ]
        position = 0
        for pattern in expected:
            while position < len(lines) and not re.match(STAMP + pattern, lines[position]):
                position += 1
            self.assertLess(position, len(lines), "missing or out of order: " + pattern + "\n" + log)
        self.assertTrue(os.path.isdir(harness.install_root("client")))

    def test_second_run_starts_a_fresh_log_and_keeps_an_existing_client_dir(self):
        os.makedirs(harness.install_root("client"))
        keep = harness.install_root("client", "keep.txt")
        with open(keep, "w") as f:
            f.write("installed earlier")
        launcher = self.copy()
        for _ in range(2):
            proc = self.start(launcher)
            self.wait_main_window()
            self.close_main_window(proc)
        log = harness.read_log()
        self.assertEqual(log.count("Laucher Start"), 1, log)
        with open(keep) as f:
            self.assertEqual(f.read(), "installed earlier")

    def test_the_file_name_of_the_executable_names_the_log(self):
        for name in (LAUNCHER_FILE, harness.INSTALLED_LAUNCHER):
            proc = self.start(self.copy(name))
            self.wait_main_window()
            self.close_main_window(proc)
        self.assertIn("Laucher Start", harness.read_log(LAUNCHER_NAME))
        self.assertIn("Laucher Start", harness.read_log(GAME))

    def test_second_launcher_is_refused_without_disturbing_the_first(self):
        first = self.start(self.copy())
        self.wait_main_window()
        second = self.start(self.copy(harness.INSTALLED_LAUNCHER))
        text = self.box_text()
        self.assertIn("游戏已启动", text)
        self.assertEqual(gui("command", GAME, BOX, 1)[0], 0)
        self.assertEqual(harness.exit_code(second), 0)
        # The refused launcher never got as far as a window of its own.
        self.assertNotIn("Laucher Start", harness.read_log(GAME) or "")
        self.assertEqual(gui("wait", MAIN, "-", 1000)[0], 0, "first launcher disturbed")
        self.close_main_window(first)
        self.assertEqual(harness.read_log().count("Laucher Start"), 1)

    def test_a_running_game_client_refuses_the_start(self):
        game_dir = os.path.join(self.copy().dir, "game")
        os.makedirs(game_dir)
        # The process list is searched without regard to case.
        game = os.path.join(game_dir, harness.PROFILE["game_executable"].upper())
        with open(harness.DEMO_CLIENT, "rb") as src, open(game, "wb") as dst:
            dst.write(src.read())
        client = harness.start([game], cwd=game_dir, env={"BM_EXIT_AFTER_MS": "30000"})
        self.procs.append(client)
        self.assertEqual(gui("wait", GAME, GAME_CLASS, 20000)[0], 0,
                         "game client did not start")
        proc = self.start(self.copy())
        self.assertIn("游戏已启动", self.box_text())
        self.assertEqual(gui("command", GAME, BOX, 1)[0], 0)
        self.assertEqual(harness.end_of(self, proc), 0)
        gui("close", GAME, GAME_CLASS)
        harness.exit_code(client)

    def test_uninstall_switch_is_the_whole_tail_in_any_case(self):
        launcher = self.copy()
        for tail in ("/uninstall", "/UNINSTALL"):
            proc = self.start(launcher, tail)
            # The uninstall run asks first; declining leaves everything.
            self.assertEqual(gui("box", "确定要卸载吗?", 20000)[0], 0, tail)
            gui("answer", "确定要卸载吗?", 7)
            self.assertEqual(harness.exit_code(proc), 0)
            self.assertNotIn("Laucher Start", harness.read_log())
        for tail in (["/uninstall", "x"], ["/uninstall "]):
            proc = self.start(launcher, *tail)
            self.wait_main_window()
            self.close_main_window(proc)
            self.assertIn("Laucher Start", harness.read_log())

    def test_data_directory_failure_shows_the_code_and_exits_minus_one(self):
        # A plain file where the data directory belongs: the client directory
        # cannot be created inside it.
        with open(harness.install_root(), "w") as f:
            f.write("in the way")
        proc = self.start(self.copy())
        # A framework box: the launcher's file name is its caption.
        text = self.box_text(LAUNCHER_NAME)
        self.assertIn("创建数据目录失败,错误id:3", text)
        gui("command", LAUNCHER_NAME, BOX, 1)
        self.assertEqual(harness.exit_code(proc), 255)  # -1, low byte


if __name__ == "__main__":
    unittest.main()

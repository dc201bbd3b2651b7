"""The /uninstall run, end to end, answering its boxes."""
import os
import shutil
import subprocess
import time
import unittest

import harness
from harness import GAME, GAME_CLASS, MAIN, gui

BOX = "#32770"
KEY = harness.UNINSTALL_KEY
START_MENU_APPS = harness.START_MENU_APPS
DESKTOP_LINK = harness.DESKTOP_LINK
GAME_EXE = harness.PROFILE["game_executable"]


def reg(*args):
    return harness.wine(["reg"] + list(args))


class UninstallTest(unittest.TestCase):
    def setUp(self):
        harness.require_environment(self)
        harness.reset_install_root()
        self.procs = []
        # What an installation leaves behind.
        os.makedirs(harness.game_path("data"))
        with open(harness.game_path(GAME_EXE), "wb") as f:
            f.write(b"MZ")
        with open(harness.install_root("client", "game_client_version.txt"), "w") as f:
            f.write("1.0.0.1")
        shutil.copy(harness.LAUNCHER_EXE, harness.install_root(harness.INSTALLED_LAUNCHER))
        os.makedirs(START_MENU_APPS, exist_ok=True)
        for name in (GAME + ".lnk", harness.UNINSTALL_NAME + ".lnk"):
            open(os.path.join(START_MENU_APPS, name), "wb").close()
        open(DESKTOP_LINK, "wb").close()
        added = reg("add", KEY, "/v", "DisplayName", "/d", GAME, "/f")
        self.assertEqual(added.returncode, 0, added.stdout + added.stderr)
        # Something beside the data directory that must survive.
        self.neighbour = harness.drive_c(harness.PROFILE.install_dir_name + "-neighbour")
        os.makedirs(self.neighbour, exist_ok=True)

    def tearDown(self):
        harness.end_run(self.procs, ((GAME, BOX), (MAIN, "-"), (GAME, GAME_CLASS)))
        subprocess.run(["chmod", "-R", "u+w", harness.install_root()], check=False,
                       stderr=subprocess.DEVNULL)
        harness.reset_install_root()
        shutil.rmtree(START_MENU_APPS, ignore_errors=True)
        shutil.rmtree(self.neighbour, ignore_errors=True)
        if os.path.exists(DESKTOP_LINK):
            os.remove(DESKTOP_LINK)
        reg("delete", KEY, "/f")

    def start_uninstall(self):
        p = harness.start([harness.install_root(harness.INSTALLED_LAUNCHER), "/uninstall"],
                          cwd=harness.install_root())
        self.procs.append(p)
        return p

    def answer(self, text, button):
        self.assertEqual(gui("box", text, 20000)[0], 0, "no box for: " + text)
        self.assertEqual(gui("answer", text, button)[0], 0)
        self.assertEqual(harness.wait_for(lambda: gui("box", text, 0)[0] != 0, timeout=10), True)

    def key_exists(self):
        return reg("query", KEY).returncode == 0

    def test_yes_removes_everything_and_then_the_data_directory(self):
        server = harness.start_server(self)
        proc = self.start_uninstall()
        self.answer("确定要卸载吗?", 6)
        self.assertEqual(harness.exit_code(proc), 0)
        # No box follows the answer, and still both reports go out before
        # the end.
        texts = harness.report_texts(server.records())
        for text in ("game uninstall start", "game unintall success"):
            self.assertEqual(texts.count(text), 1, texts)
        log = harness.read_log(GAME) or ""
        self.assertFalse(os.path.exists(harness.install_root("client")))
        self.assertFalse(os.path.exists(START_MENU_APPS))
        self.assertFalse(os.path.exists(DESKTOP_LINK))
        self.assertFalse(self.key_exists())
        if log:  # read before the delayed removal, when the race allows
            for text in ("Begin uninstall", "lret:0", "[ERROR][CWebApp::UnInstall::"):
                self.assertIn(text, log)
            self.assertTrue(log.rstrip().endswith("[unistall succ]"), log)
        gone = harness.wait_for(lambda: not os.path.exists(harness.install_root()), timeout=30)
        self.assertTrue(gone, "data directory not removed after the delay")
        self.assertTrue(os.path.isdir(self.neighbour))

    def test_no_removes_nothing(self):
        proc = self.start_uninstall()
        self.answer("确定要卸载吗?", 7)
        self.assertEqual(harness.exit_code(proc), 0)
        self.assertTrue(os.path.exists(harness.game_path(GAME_EXE)))
        self.assertTrue(os.path.exists(DESKTOP_LINK))
        self.assertTrue(self.key_exists())
        self.assertNotIn("Begin uninstall", harness.read_log(GAME))
        time.sleep(5)
        self.assertTrue(os.path.exists(harness.install_root(harness.INSTALLED_LAUNCHER)))

    def test_a_file_that_cannot_be_deleted_stops_before_the_links_and_key(self):
        locked = harness.game_path("data", "locked.pak")
        with open(locked, "w") as f:
            f.write("in use")
        self.assertEqual(harness.wine(["attrib", "+r", harness.INSTALL_ROOT + "\\client\\"
                                      + harness.PROFILE["game_folder"] + "\\data\\locked.pak"])
                         .returncode, 0)
        proc = self.start_uninstall()
        self.answer("确定要卸载吗?", 6)
        self.answer("卸载失败,请关闭游戏后重试.", 1)
        self.assertEqual(harness.exit_code(proc), 0)
        self.assertTrue(os.path.exists(locked))
        self.assertTrue(os.path.exists(DESKTOP_LINK))
        self.assertTrue(os.path.isdir(START_MENU_APPS))
        self.assertTrue(self.key_exists())
        self.assertIn("[unistall error]", harness.read_log(GAME))
        time.sleep(5)
        self.assertTrue(os.path.exists(harness.install_root(harness.INSTALLED_LAUNCHER)))

    def test_a_launcher_started_during_the_question_is_refused(self):
        proc = self.start_uninstall()
        self.assertEqual(gui("wait", GAME, BOX, 20000)[0], 0)
        second = harness.launcher_copy(self).start()
        self.procs.append(second)
        self.answer("游戏已启动", 1)
        self.assertEqual(harness.exit_code(second), 0)
        self.answer("确定要卸载吗?", 7)
        self.assertEqual(harness.exit_code(proc), 0)

    def test_a_running_game_refuses_the_uninstall(self):
        game_dir = harness.game_path()
        shutil.copy(harness.DEMO_CLIENT, os.path.join(game_dir, GAME_EXE))
        game = harness.start([os.path.join(game_dir, GAME_EXE)], cwd=game_dir,
                             env={"BM_EXIT_AFTER_MS": "30000"})
        self.procs.append(game)
        self.assertEqual(gui("wait", GAME, GAME_CLASS, 20000)[0], 0)
        proc = self.start_uninstall()
        self.answer("游戏正在运行,请关闭游戏后重试", 1)
        self.assertEqual(harness.exit_code(proc), 0)
        self.assertTrue(os.path.exists(os.path.join(game_dir, GAME_EXE)))
        gui("close", GAME, GAME_CLASS)


if __name__ == "__main__":
    unittest.main()

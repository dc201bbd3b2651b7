"""The end of a run, end to end: the reports of a game start reach the server
however fast the launcher closes after it, and closing the launcher in the
middle of its work ends it cleanly, round after round."""
import io
import os
import re
import unittest
import zipfile

import harness
from harness import MAIN, gui

GAME = harness.GAME
GAME_CLASS = harness.GAME_CLASS
VERSION = "1.0.0.1"
PACKAGE = "%s/%s/bm.zip" % (harness.CHANNEL, VERSION)
ROUNDS = harness.rounds("EXIT", 20)
START_REPORTS = ("ac=game_start", "game start", "game start success")


def many_files_package(count=3000):
    """A package whose extraction takes a while: the demo game and many small
    files."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        with open(harness.DEMO_CLIENT, "rb") as f:
            z.writestr(harness.GAME_IN_CLIENT, f.read())
        for i in range(count):
            z.writestr("%s/data/%02d/f%04d.dat" % (harness.PROFILE["game_folder"], i % 50, i), os.urandom(512))
    return out.getvalue()


class ExitTest(unittest.TestCase):
    def setUp(self):
        harness.require_environment(self)
        if not harness.TEST_LAUNCHER_EXE:
            self.fail("TOV_TEST_LAUNCHER_EXE is not set (run through CTest)")
        harness.close_windows(MAIN)
        harness.close_windows(GAME, GAME_CLASS)
        harness.reset_install_root()
        self.server = harness.start_server(self)
        self.proc = None

    def tearDown(self):
        harness.end_run([self.proc], ((MAIN, "-"), (GAME, GAME_CLASS)))

    def serve(self, package=None):
        self.server.set_config(body=harness.config_body(self.server.base_url, VERSION, VERSION))
        if package is not None:
            self.server.register_package(PACKAGE, data=package)

    def start(self, script=harness.page_script()):
        # The demo game ends by itself at once: a game still running would
        # make the next round's launcher refuse to start.
        _, self.proc, _ = harness.start_with_page(self, script, env={"BM_EXIT_AFTER_MS": "200"})
        return self.proc

    def end_clean(self, what, round_no):
        """The launcher has ended by itself or is closed now; it must be gone
        with exit code 0 and no crash dump."""
        gui("close", MAIN, "-")
        code = harness.end_of(self, self.proc, 20, "%s, round %d" % (what, round_no))
        self.assertEqual(code, 0, "%s, round %d\n%s" % (what, round_no, harness.read_log()))
        self.assertEqual(harness.crash_dumps(), [], "%s, round %d" % (what, round_no))
        # A game created but never resumed would have no window, count as
        # the running game and refuse every later start.
        self.assertTrue(harness.wait_for(lambda: not harness.prefix_processes("--plat_extra="), 10),
                        "%s, round %d: a game process was left" % (what, round_no))

    def test_every_game_start_delivers_its_three_reports_exactly_once(self):
        self.serve()
        harness.install_current_client(VERSION)
        started = harness.game_path("bm_started.txt")
        for n in range(ROUNDS):
            self.server.clear_records()
            if os.path.exists(started):
                os.remove(started)
            # The login comes first (the worker starts the game) or after the
            # client was found current (the window's thread starts it).
            login = harness.login_statement("true|round%d" % n)
            if n % 2:
                login = "window.setTimeout(function () { %s }, 2000);" % login
            self.start(harness.page_script(login))
            self.assertTrue(harness.wait_for(lambda: os.path.exists(started), 30),
                            "round %d: the game did not start\n%s" % (n, harness.read_log()))
            self.end_clean("game start", n)
            # The launcher has ended: what the server has now is all it gets.
            texts = harness.report_texts(self.server.records())
            for text in START_REPORTS:
                self.assertEqual(texts.count(text), 1, "round %d: %s" % (n, texts))

    def test_closing_during_a_download_an_extraction_or_a_game_start_ends_cleanly(self):
        # During a download: the package comes slowly, and the launcher is
        # closed once the download has begun.
        package = harness.demo_package()
        self.serve(package)
        self.server.add_fault("packages", rate=max(1, len(package) // 4))
        for n in range(ROUNDS):
            harness.reset_install_root()
            self.start()
            harness.wait_log(self, r"\[INFO\]\[WebLogger::Log::\d+\] \S+error_msg=game%20download%20start")
            self.end_clean("download", n)
            # The transfer stops at the close: no failure, no step left running.
            self.assertNotIn("[ERROR]", harness.read_log() or "", "download, round %d" % n)

        # During an extraction: many small files, served at once.
        self.server.clear_faults()
        self.serve(many_files_package())
        interrupted = 0
        for n in range(ROUNDS):
            harness.reset_install_root()
            self.start()
            harness.wait_log(self, r"\[INFO\]\[WebLogger::Log::\d+\] \S+error_msg=game%20unzip%20start", 60)
            self.end_clean("extraction", n)
            interrupted += "unzip is finish!" not in (harness.read_log() or "")
        # Most rounds must really have been cut in the middle.
        self.assertGreater(interrupted, ROUNDS // 2)

        # During a game start: the page logs in at once and the launcher is
        # closed as soon as its window shows, racing the start.
        self.serve()
        harness.reset_install_root()
        harness.install_current_client(VERSION)
        started = harness.game_path("bm_started.txt")
        for n in range(ROUNDS):
            if os.path.exists(started):
                os.remove(started)
            self.start(harness.page_script(harness.login_statement("true|x")))
            harness.wait_main_window_or_end(self, self.proc)
            self.end_clean("game start", n)
            starts = len(re.findall("LaunchGame Succ", harness.read_log() or ""))
            self.assertLessEqual(starts, 1)


if __name__ == "__main__":
    unittest.main()

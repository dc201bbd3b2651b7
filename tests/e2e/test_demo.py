"""The demo as a newcomer runs it: by default the whole story with the
scripted login, ending by itself with the demo game started on the composed
command line, the launcher gone, a screenshot of each phase and the
telemetry table; with --release, the release executable up to its ready
state."""
import os
import re
import subprocess
import sys
import tempfile
import unittest

import harness
from client import read_started_file


class DemoTest(unittest.TestCase):
    def setUp(self):
        harness.require_environment(self)
        harness.close_windows(harness.MAIN)
        self.out = tempfile.mkdtemp(prefix="demo-", dir=harness.BUILD_DIR)

    def story(self, *args, timeout=200):
        return subprocess.run(
            [sys.executable, os.path.join(harness.SOURCE_DIR, "tools", "demo", "story.py"),
             "--build", harness.BUILD_DIR, "--prefix", harness.WINEPREFIX,
             "--port", str(harness.server_port()), "--out", self.out, "--shared-prefix"] + list(args),
            capture_output=True, timeout=timeout, env=dict(os.environ))

    def test_the_scripted_login_story_ends_with_the_game_started_and_the_launcher_gone(self):
        run = self.story("--timeout", "90")
        out = run.stdout.decode("utf-8", "replace")
        self.assertEqual(run.returncode, 0, out + run.stderr.decode("utf-8", "replace"))
        self.assertIn("demo: the story completed", out)
        started = read_started_file(harness.game_path("bm_started.txt"))
        self.assertRegex(started["command_line"],
                         r"TovLauncherTest\.exe\"? --parameters=account=demo%20player&token=7f3a"
                         r" --plat_extra=demo$")
        self.assertNotEqual(harness.gui("wait", harness.MAIN, "-", 500)[0], 0, "the launcher stayed")
        for shot in ("2-download", "4-ready", "5-game", "6-closed", "contact-sheet"):
            self.assertTrue(os.path.exists(os.path.join(self.out, shot + ".png")), shot)
        # The table names the reports the server received, in order.
        reports = re.findall(r"^\s+[\d.]+\s+(event|error)\s+(.*)$", out, re.M)
        self.assertIn(("event", "create"), reports)
        self.assertIn(("event", "download_start"), reports)
        harness.close_windows(harness.GAME)

    def test_the_release_executable_stops_at_ready_and_says_why(self):
        run = self.story("--release", "--timeout", "60")
        out = run.stdout.decode("utf-8", "replace")
        self.assertEqual(run.returncode, 0, out)
        self.assertIn("no HTML engine", out)
        self.assertIn("demo: the story completed", out)
        for shot in ("2-download", "4-ready", "contact-sheet"):
            self.assertTrue(os.path.exists(os.path.join(self.out, shot + ".png")), shot)
        self.assertFalse(os.path.exists(os.path.join(self.out, "5-game.png")))
        self.assertNotEqual(harness.gui("wait", harness.MAIN, "-", 500)[0], 0, "the launcher stayed")

if __name__ == "__main__":
    unittest.main()

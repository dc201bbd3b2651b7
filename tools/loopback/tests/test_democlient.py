"""The demo game client and its package: the archive layout the launcher can
unpack, the program's build, and (under Wine, when a prefix is given) what it
writes about how it was started."""

import os
import shutil
import subprocess
import tempfile
import unittest
import zipfile

from .loopback_support import client, LOOPBACK_DIR, PROFILE

REPO = os.path.dirname(os.path.dirname(LOOPBACK_DIR))
SOURCE = os.path.join(REPO, "tools", "democlient", "bm.c")
CC = shutil.which("x86_64-w64-mingw32-gcc-posix")
OBJDUMP = shutil.which("x86_64-w64-mingw32-objdump")
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll"}


class Packages(unittest.TestCase):
    def test_demo_package_lists_each_directory_before_its_files(self):
        with tempfile.TemporaryDirectory() as d:
            exe = os.path.join(d, "game.exe")
            with open(exe, "wb") as f:
                f.write(os.urandom(70000))
            path = client.build_demo_package(os.path.join(d, "bm.zip"), exe,
                                             {"bm/res/deep/x.txt": "x"})
            with zipfile.ZipFile(path) as zf:
                self.assertIsNone(zf.testzip())
                names = zf.namelist()
                with open(exe, "rb") as f:
                    self.assertEqual(zf.read(PROFILE.game_relative), f.read())
            # The launcher makes one directory level per directory entry and
            # fails on a file whose directory is not there yet.
            for i, name in enumerate(names):
                parts = name.rstrip("/").split("/")
                for k in range(1, len(parts)):
                    parent = "/".join(parts[:k]) + "/"
                    self.assertIn(parent, names[:i], "%s before its directory" % name)
            self.assertIn("bm/res/deep/x.txt", names)

    def test_large_package_has_the_asked_size_and_reads_back(self):
        with tempfile.TemporaryDirectory() as d:
            path = client.build_large_package(os.path.join(d, "big.zip"), 5_000_123)
            with zipfile.ZipFile(path) as zf:
                info = zf.getinfo("bm/data/filler.bin")
                self.assertEqual((info.file_size, info.compress_type),
                                 (5_000_123, zipfile.ZIP_STORED))
                self.assertIsNone(zf.testzip())
                self.assertEqual(zf.namelist()[:2], ["bm/", "bm/data/"])


@unittest.skipUnless(CC and OBJDUMP, "mingw-w64 is needed to build the demo client")
class DemoClient(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="democlient-")
        cls.exe = os.path.join(cls.dir, "game.exe")
        subprocess.run([CC, "-municode", "-mwindows", "-static", "-O2", "-Wall", "-Werror",
                        '-DDEMO_GAME_TITLE="%s"' % PROFILE["game_title"],
                        "-o", cls.exe, SOURCE], check=True, capture_output=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def test_is_a_gui_program_needing_only_system_dlls(self):
        dump = subprocess.run([OBJDUMP, "-p", self.exe], check=True,
                              capture_output=True, text=True).stdout
        self.assertIn("(Windows GUI)", dump)
        dlls = {line.split(":", 1)[1].strip().lower()
                for line in dump.splitlines() if "DLL Name:" in line}
        self.assertTrue(dlls)
        self.assertLessEqual(dlls, SYSTEM_DLLS)

    @unittest.skipUnless(os.environ.get("TOV_WINEPREFIX") and os.environ.get("DISPLAY")
                         and shutil.which("wine"),
                         "set TOV_WINEPREFIX and DISPLAY to run the client under Wine")
    def test_reports_how_it_was_started_and_exits_when_told(self):
        game = os.path.join(self.dir, "client dir", "bm")
        cwd = os.path.join(self.dir, "work dir")
        os.makedirs(game, exist_ok=True)
        os.makedirs(cwd, exist_ok=True)
        exe = os.path.join(game, "game.exe")
        shutil.copy(self.exe, exe)
        # A CR at the end is what a configuration with CRLF line ends puts
        # into the game's command line; the report must keep it.
        args = ["--parameters=account=ann&token=t1", "two words", "王者", "C:\\x41",
                "--plat_extra=demo\r"]
        env = dict(os.environ, BM_EXIT_AFTER_MS="300")
        p = subprocess.run([os.path.join(REPO, "tools", "wine", "wine-run.sh"), exe] + args,
                           cwd=cwd, env=env, capture_output=True, timeout=120)
        self.assertEqual(p.returncode, 0, p.stderr.decode(errors="replace"))
        report = os.path.join(game, "bm_started.txt")
        self.assertFalse(os.path.exists(report + ".tmp"))
        got = client.read_started_file(report)
        self.assertTrue(got["complete"])
        self.assertEqual(got["title"], PROFILE["game_title"])
        self.assertTrue(got["executable"].lower().endswith("\\client dir\\bm\\game.exe"))
        self.assertTrue(got["working_directory"].lower().endswith("\\work dir"))
        self.assertTrue(got["command_line"].endswith(
            ' --parameters=account=ann&token=t1 "two words" 王者 C:\\x41 --plat_extra=demo\r'),
            got["command_line"])
        self.assertGreater(int(got["pid"]), 0)


if __name__ == "__main__":
    unittest.main()

"""The built launcher runs under Wine with its statically linked libraries."""
import os
import shutil
import tempfile
import unittest
import zipfile

import harness


class LauncherRunsUnderWine(unittest.TestCase):
    def setUp(self):
        harness.require_environment(self)
        self.work = tempfile.mkdtemp(prefix="tov-smoke-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def test_reports_libcurl_and_reads_a_zip(self):
        archive = os.path.join(self.work, "pkg.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("bm/bm.exe", b"MZ")
            z.writestr("bm/data.txt", b"data")
        exe = os.path.join(self.work, "TovLauncher.exe")
        shutil.copy(harness.LAUNCHER_EXE, exe)
        result = harness.wine([exe, "pkg.zip"], cwd=self.work)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(os.path.join(self.work, "TovLauncher.log"), encoding="utf-8") as f:
            text = f.read()
        self.assertIn("libcurl/7.88.1 Schannel", text)
        self.assertIn("zip entries: 2", text)


if __name__ == "__main__":
    unittest.main()

"""The four shell links and the uninstall entry, read back with tools that
share no code with the launcher: Debian's lnkinfo for the .lnk files and
Wine's reg for the registry.

The Windows side is tests/win/desktop_integration_test.cpp, told through
TOV_DESKTOP_TEST_DIR and TOV_DESKTOP_TEST_KEY to write into a folder and a
redirected HKEY_CURRENT_USER of this test's choosing and to keep both.
"""
import os
import re
import shutil
import tempfile
import unittest

import harness

ENTRY_BELOW_USER = harness.PROFILE.uninstall_key
DATA_DIR = harness.PROFILE.install_dir_name
GAME = harness.GAME
VERSION = harness.PROFILE["launcher_version"]
LINKS_CASE = "DesktopLinks.FourLinksPointAtTheInstalledLauncher"


def windows_path(unix_path):
    """Wine shows the Unix root as drive Z:."""
    return "Z:" + unix_path.replace("/", "\\")


class DesktopLinksReadBack(unittest.TestCase):
    def setUp(self):
        harness.require_environment(self)
        self.helper = os.path.join(harness.BUILD_DIR, "tests", "win_desktop_integration_test.exe")
        self.assertTrue(os.path.exists(self.helper), self.helper)
        self.work = tempfile.mkdtemp(prefix="tov-links-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.key = "e2e-links-%d" % os.getpid()
        self.addCleanup(harness.wine, ["reg", "delete", r"HKCU\Software\TovTests" + "\\" + self.key,
                                       "/f"])

    def write(self, cases):
        result = harness.wine([self.helper, "--gtest_filter=" + ":".join(cases)],
                              env={"TOV_DESKTOP_TEST_DIR": windows_path(self.work),
                                   "TOV_DESKTOP_TEST_KEY": self.key},
                              timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout.decode("utf-8", "replace"))

    def entry(self):
        key = "HKCU\\Software\\TovTests\\%s\\%s" % (self.key, ENTRY_BELOW_USER)
        result = harness.wine(["reg", "query", key])
        self.assertEqual(result.returncode, 0, result.stderr)
        text = result.stdout.decode("utf-8", "replace")
        return {name: (kind, data) for name, kind, data in
                re.findall(r"^ {4}(\S+) {4}(REG_\w+) {4}(.*?)\r?$", text, re.M)}

    def expect_links(self, case_dir):
        launcher = windows_path(os.path.join(case_dir, DATA_DIR, harness.INSTALLED_LAUNCHER))
        menu = os.path.join(case_dir, "StartMenu", "Apps", harness.CHANNEL)
        expected = {
            os.path.join(menu, GAME + ".lnk"): "",
            os.path.join(menu, harness.UNINSTALL_NAME + ".lnk"): "/uninstall",
            os.path.join(case_dir, "Desktop", GAME + ".lnk"): "",
            os.path.join(case_dir, DATA_DIR, harness.UNINSTALL_NAME + ".lnk"): "/uninstall",
        }
        for path, arguments in expected.items():
            with self.subTest(link=path):
                self.assertEqual(harness.read_link(path), harness.link_to(launcher, arguments))
        return list(expected)

    def test_links_and_entry_written_and_written_again(self):
        case_dir = os.path.join(self.work, "FourLinksPointAtTheInstalledLauncher")
        self.assertFalse(os.path.exists(os.path.join(case_dir, "StartMenu", "Apps")))

        self.write([LINKS_CASE, "UninstallEntry.WritesFourTextValuesOverWhatWasThere"])
        links = self.expect_links(case_dir)
        entry_dir = os.path.join(self.work, "WritesFourTextValuesOverWhatWasThere", DATA_DIR)
        launcher = windows_path(os.path.join(entry_dir, harness.INSTALLED_LAUNCHER))
        self.assertEqual(self.entry(), {
            "DisplayIcon": ("REG_SZ", launcher),
            "DisplayName": ("REG_SZ", GAME),
            "DisplayVersion": ("REG_SZ", VERSION),
            "UninstallString": ("REG_SZ", harness.uninstall_command(launcher)),
        })

        # A second run finds spoilt links and must write them anew; this time
        # the entry comes from an InstallRoot with a blank.
        for path in links:
            with open(path, "wb") as f:
                f.write(b"spoilt")
        self.write([LINKS_CASE, "UninstallEntry.QuotesTheCommandOnlyWhenTheFolderHasABlank"])
        self.expect_links(case_dir)
        blank_dir = os.path.join(self.work, "QuotesTheCommandOnlyWhenTheFolderHasABlank",
                                 "bm " + harness.CHANNEL)
        launcher = windows_path(os.path.join(blank_dir, harness.INSTALLED_LAUNCHER))
        entry = self.entry()
        self.assertEqual(entry["DisplayIcon"], ("REG_SZ", launcher))
        self.assertEqual(entry["UninstallString"], ("REG_SZ", '"%s" /uninstall' % launcher))
        self.assertEqual(entry["DisplayVersion"], ("REG_SZ", VERSION))


if __name__ == "__main__":
    unittest.main()

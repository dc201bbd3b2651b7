"""DLLs named like system libraries, saved next to the launcher as a web page
can save them into Downloads: a whole first install runs without loading
any of them."""
import os
import re
import shutil
import unittest

import harness
from harness import MAIN, STAMP, info

VERSION = "1.0.0.1"


class PlantedLibrariesTest(unittest.TestCase):
    def setUp(self):
        harness.require_environment(self)
        harness.close_windows(MAIN)
        harness.forget_install()
        self.server = harness.start_server(self)
        self.proc = None

    def tearDown(self):
        harness.end_run([self.proc])

    def test_a_first_install_loads_no_library_planted_beside_the_launcher(self):
        self.server.set_config(body=harness.config_body(self.server.base_url, VERSION, VERSION))
        self.server.register_package("%s/%s/bm.zip" % (harness.CHANNEL, VERSION), data=harness.demo_package())
        copy = harness.launcher_copy(self)
        planted = sorted(n for n in os.listdir(harness.PLANTED_DIR) if n.endswith(".dll"))
        self.assertEqual(planted, ["bcrypt.dll", "crypt32.dll", "iphlpapi.dll", "propsys.dll", "urlmon.dll",
                                   "uxtheme.dll", "winhttp.dll", "wininet.dll"])
        for name in planted:
            shutil.copy(os.path.join(harness.PLANTED_DIR, name), copy.dir)
        record = os.path.join(copy.dir, "planted.log")

        # Wine takes its own built-in library of such a name before any file;
        # native first makes it search for files as Windows does.
        native_first = ",".join(name[:-len(".dll")] for name in planted) + "=n,b"
        self.proc = copy.start(env={"TOV_WINEDLLOVERRIDES_EXTRA": native_first})
        ready = re.compile(STAMP + info("CWebCDlg::SetReady", "is ready"))
        reached = harness.wait_for(lambda: ready.search(harness.read_log() or ""), 90)
        harness.close_windows(MAIN)

        loaded = open(record, encoding="utf-16-le").read() if os.path.exists(record) else ""
        self.assertEqual(loaded, "", "planted libraries were loaded")
        self.assertTrue(reached, "the install did not end ready:\n%s" % harness.read_log())
        self.assertEqual(harness.exit_code(self.proc), 0)
        # The libraries were needed all the same: the reports went out over
        # WinInet, the package over libcurl.
        self.assertTrue(os.path.exists(harness.game_path(harness.PROFILE["game_executable"])))
        self.assertTrue(self.server.records())


if __name__ == "__main__":
    unittest.main()

"""The channel profiles as the build reads them (cmake/TovProfile.cmake in a
project of its own) and as the scripts read the result.

    python3 -m unittest tools/profile/test_profiles.py
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import launcher_profile  # noqa: E402

SOURCE = launcher_profile.SOURCE_DIR
PROFILES = os.path.join(SOURCE, "profiles")


class ProfileReading(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tov-profile-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        with open(os.path.join(self.dir, "CMakeLists.txt"), "w") as f:
            f.write("cmake_minimum_required(VERSION 3.25)\nproject(profile_probe NONE)\n"
                    "include(\"%s/cmake/TovProfile.cmake\")\n" % SOURCE)

    def configure(self, profile_dir, *options):
        build = tempfile.mkdtemp(dir=self.dir)
        r = subprocess.run(["cmake", "-S", self.dir, "-B", build, "-DTOV_PROFILE=" + profile_dir]
                           + list(options), stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        return r.returncode, r.stderr.decode("utf-8", "replace"), os.path.join(build, "profile.json")

    def variant(self, **changes):
        """A copy of the default profile with some values changed (None
        removes the key)."""
        with open(os.path.join(PROFILES, "default", "profile.json"), "rb") as f:
            data = json.load(f)
        for key, value in changes.items():
            if value is None:
                del data[key]
            else:
                data[key] = value
        folder = tempfile.mkdtemp(dir=self.dir)
        with open(os.path.join(folder, "profile.json"), "w", encoding="utf-8") as f:
            json.dump(data, f, ensure_ascii=False)
        return folder

    def test_every_profile_of_the_tree_reaches_the_scripts_unchanged(self):
        for name in sorted(os.listdir(PROFILES)):
            with self.subTest(profile=name):
                code, err, out = self.configure(os.path.join(PROFILES, name))
                self.assertEqual(code, 0, err)
                built = launcher_profile.load(out)
                source = launcher_profile.load(os.path.join(PROFILES, name, "profile.json"))
                for key in launcher_profile.KEYS:
                    expected = source[key]
                    if key in ("background_image", "close_image", "icon") and expected:
                        expected = os.path.join(PROFILES, name, expected)
                    self.assertEqual(built[key], expected, key)

    def test_a_server_base_given_to_the_build_wins_over_the_profile(self):
        code, err, out = self.configure(os.path.join(PROFILES, "default"), "-DTOV_SERVER_BASE=http://127.0.0.1:1234")
        self.assertEqual(code, 0, err)
        self.assertEqual(launcher_profile.load(out)["server_base"], "http://127.0.0.1:1234")
        code, err, _ = self.configure(os.path.join(PROFILES, "default"), "-DTOV_SERVER_BASE=http://h/path")
        self.assertNotEqual(code, 0)
        self.assertIn("TOV_SERVER_BASE is \"http://h/path\"", err)

    def test_values_that_cannot_stand_where_they_are_used_stop_the_build(self):
        for changes, text in [
            ({"game_title": "Hal:vard"}, "\"game_title\" is \"Hal:vard\"; it must be a file name"),
            ({"game_title": "Halvard "}, "\"game_title\""),
            ({"channel_name": "web varn"}, "\"channel_name\""),
            ({"config_path": "api/x.php"}, "\"config_path\""),
            ({"config_query": "a=\"1\""}, "\"config_query\""),
            ({"mutex_name": "Global\\x"}, "\"mutex_name\""),
            ({"product_name": ""}, "\"product_name\""),
            ({"file_version": "1.0.0.70000"}, "\"file_version\""),
            ({"game_executable": "bm.bat"}, "\"game_executable\""),
            ({"server_base": "ftp://127.0.0.1"}, "\"server_base\""),
            ({"close_image": "missing.png"}, "\"close_image\" is \"missing.png\""),
            ({"registry_key_name": None}, "no \"registry_key_name\""),
        ]:
            with self.subTest(changes=changes):
                code, err, _ = self.configure(self.variant(**changes))
                self.assertNotEqual(code, 0)
                self.assertIn(text, " ".join(err.split()))
        code, err, _ = self.configure(os.path.join(self.dir, "no-such-profile"))
        self.assertIn("no-such-profile/profile.json does not exist", " ".join(err.split()))


if __name__ == "__main__":
    unittest.main()

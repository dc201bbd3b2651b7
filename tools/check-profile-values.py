#!/usr/bin/env python3
"""Fails when a value of the default channel profile is written anywhere in
the source tree outside profiles/: the build and its tests must take each of
them from the profile, or another profile builds a launcher that still names
the default game or channel somewhere.

    check-profile-values.py SOURCE_DIR

Scans the files git knows of (tracked, or new and not ignored) below the
folders that hold code, build rules and tests, and prints file:line for each
hit. Values are matched without regard to case (a title in capitals on a
picture is still the title); version numbers only as a whole number.

Not scanned, and why:
  * the image entries: they name files of the profile's own folder;
  * file_version: the same digits are the demo client's package version in
    the configuration tests, which has nothing to do with the launcher's
    version block;
  * values equal to the project's own name (TovLauncher, TovLauncher.exe):
    the project, its build targets and the main window's caption carry that
    name whichever channel is built; the code still takes the profile's
    values (mutex, version texts) from the generated header;
  * values shorter than four characters (the game folder "bm"): as text they
    are part of ordinary words and of archive test data ("bm/" entries, the
    "bm.zip" archive, the "bm-" data directory); the code names the folder
    only through kGameFolder, and the tests through the profile.
"""
import os
import re
import subprocess
import sys

SCANNED_DIRS = ("src", "res", "tests", "tools", "scripts", "cmake", ".ci")
SCANNED_TOP_FILES = ("CMakeLists.txt",)
EXEMPT_DIR = "profiles"
SKIPPED_KEYS = {"background_image", "close_image", "icon", "file_version"}
PROJECT_NAMES = {"tovlauncher", "tovlauncher.exe"}
SHORT = 4


def source_files(root):
    try:
        out = subprocess.run(["git", "-C", root, "ls-files", "-z", "--cached", "--others",
                              "--exclude-standard", "--"] + list(SCANNED_DIRS) + list(SCANNED_TOP_FILES),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True).stdout
        names = sorted(set(n for n in out.decode("utf-8").split("\0") if n))
    except (OSError, subprocess.CalledProcessError):
        names = []
        for top in SCANNED_DIRS:
            for d, dirs, files in os.walk(os.path.join(root, top)):
                dirs[:] = [x for x in dirs if not x.startswith((".", "build", "__pycache__"))]
                names += [os.path.relpath(os.path.join(d, f), root) for f in files]
        names += [n for n in SCANNED_TOP_FILES if os.path.exists(os.path.join(root, n))]
    return [n for n in names if not n.startswith(EXEMPT_DIR + "/")]


def patterns(profile):
    """(key, value, compiled pattern) for every scanned value."""
    out = []
    for key, value in sorted(profile.items()):
        if key in SKIPPED_KEYS or not isinstance(value, str) or not value:
            continue
        if value.lower() in PROJECT_NAMES:
            continue
        text = re.escape(value)
        if len(value) < SHORT:
            continue
        if re.fullmatch(r"[0-9.]+", value):
            text = r"(?<![0-9.])" + text + r"(?![0-9])(?!\.[0-9])"
        out.append((key, value, re.compile(text, re.IGNORECASE)))
    return out


def scan(root, profile):
    hits = []
    checks = patterns(profile)
    for name in source_files(root):
        path = os.path.join(root, name)
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError:
            continue   # listed by git but deleted in the working tree
        if b"\0" in data:
            continue   # binary
        text = data.decode("utf-8", "replace")
        for number, line in enumerate(text.splitlines(), 1):
            for key, value, pattern in checks:
                if pattern.search(line):
                    hits.append("%s:%d: %s %r" % (name, number, key, value))
    return hits


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: check-profile-values.py SOURCE_DIR\n")
        return 2
    root = os.path.abspath(argv[1])
    sys.path.insert(0, os.path.join(root, "tools", "profile"))
    import launcher_profile
    profile = launcher_profile.load(launcher_profile.DEFAULT_PROFILE)
    hits = scan(root, profile)
    for hit in hits:
        print(hit)
    if hits:
        print("%d place(s) name a value of profiles/default; take it from the profile "
              "(build_config.h, <build>/profile.json, tools/profile/launcher_profile.py)" % len(hits))
        return 1
    print("no value of profiles/default outside profiles/ (%d files scanned)" % len(source_files(root)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

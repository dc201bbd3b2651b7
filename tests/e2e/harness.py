"""Shared pieces of the end-to-end tests: the launcher under Wine."""
import os
import subprocess
import sys

BUILD_DIR = os.environ.get("TOV_BUILD_DIR", "")
SOURCE_DIR = os.environ.get("TOV_SOURCE_DIR", "")
LAUNCHER_EXE = os.environ.get("TOV_LAUNCHER_EXE", "")
WINE_RUN = os.environ.get("TOV_WINE_RUN", "")
WINEPREFIX = os.environ.get("TOV_WINEPREFIX", "")

sys.path.insert(0, os.path.join(SOURCE_DIR, "tools", "loopback"))


def require_environment(testcase):
    missing = [n for n, v in (("TOV_LAUNCHER_EXE", LAUNCHER_EXE), ("TOV_WINE_RUN", WINE_RUN),
                              ("DISPLAY", os.environ.get("DISPLAY", ""))) if not v]
    if missing:
        testcase.fail("end-to-end tests need " + ", ".join(missing) + " (run them through CTest)")


def wine(args, cwd=None, timeout=60, env=None):
    """Runs a Windows program through the build's Wine wrapper."""
    full_env = dict(os.environ)
    if env:
        full_env.update(env)
    return subprocess.run([WINE_RUN] + list(args), cwd=cwd, timeout=timeout, env=full_env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def drive_c():
    return os.path.join(WINEPREFIX, "drive_c")

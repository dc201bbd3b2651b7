"""Shared pieces of the end-to-end tests: the launcher under Wine."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

BUILD_DIR = os.environ.get("TOV_BUILD_DIR", "")
SOURCE_DIR = os.environ.get("TOV_SOURCE_DIR", "")
LAUNCHER_EXE = os.environ.get("TOV_LAUNCHER_EXE", "")
# The same launcher with the test build's settings (short transfer limits, a
# configuration address naming the channel twice).
TEST_LAUNCHER_EXE = os.environ.get("TOV_TEST_LAUNCHER_EXE", "")
WINE_RUN = os.environ.get("TOV_WINE_RUN", "")
WINEPREFIX = os.environ.get("TOV_WINEPREFIX", "")
SERVER_BASE = os.environ.get("TOV_SERVER_BASE", "http://127.0.0.1:28080")
GUIDRIVER = os.path.join(BUILD_DIR, "tools", "guidriver.exe")
DEMO_CLIENT = os.path.join(BUILD_DIR, "tools", "bm.exe")

sys.path.insert(0, os.path.join(SOURCE_DIR, "tools", "loopback"))

# "[Sep 15 2021 19:46:13][INFO][Op::Name::12] message" / "...[ERROR][Op::12][message]"
STAMP = r"\[[A-Z][a-z]{2} [ \d]\d \d{4} \d\d:\d\d:\d\d\]"


def require_environment(testcase):
    missing = [n for n, v in (("TOV_LAUNCHER_EXE", LAUNCHER_EXE), ("TOV_WINE_RUN", WINE_RUN),
                              ("DISPLAY", os.environ.get("DISPLAY", ""))) if not v]
    if missing:
        testcase.fail("end-to-end tests need " + ", ".join(missing) + " (run them through CTest)")


def server_port():
    m = re.match(r"https?://[^/:]+:(\d+)", SERVER_BASE)
    return int(m.group(1)) if m else 80


def wine(args, cwd=None, timeout=60, env=None):
    """Runs a Windows program through the build's Wine wrapper and waits."""
    full_env = dict(os.environ)
    if env:
        full_env.update(env)
    return subprocess.run([WINE_RUN] + list(args), cwd=cwd, timeout=timeout, env=full_env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def start(args, cwd=None, env=None):
    """Starts a Windows program through the Wine wrapper without waiting."""
    full_env = dict(os.environ)
    if env:
        full_env.update(env)
    return subprocess.Popen([WINE_RUN] + list(args), cwd=cwd, env=full_env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def exit_code(proc, timeout=30):
    """The Windows exit code of a started program (Wine passes the low byte)."""
    return proc.wait(timeout=timeout)


def gui(*args, timeout=30):
    """Runs the GUI driver; returns (exit code, UTF-8 output)."""
    r = wine([GUIDRIVER] + [str(a) for a in args], timeout=timeout)
    return r.returncode, r.stdout.decode("utf-8", "replace")


def drive_c(*parts):
    return os.path.join(WINEPREFIX, "drive_c", *parts)


def install_root(*parts):
    return drive_c("bm-webvarn", *parts)


def read_log(name="TovLauncher"):
    path = install_root(name + ".log")
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read().decode("utf-8")


def wait_for(predicate, timeout=15, interval=0.1):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    return predicate()


class LauncherCopy:
    """A copy of the launcher under a chosen file name in a scratch folder
    inside the prefix (the name decides the log's name)."""

    def __init__(self, name="TovLauncher.exe", source=None):
        self.dir = tempfile.mkdtemp(prefix="run-", dir=drive_c())
        self.exe = os.path.join(self.dir, name)
        shutil.copy(source or LAUNCHER_EXE, self.exe)

    def start(self, *args, env=None):
        return start([self.exe] + list(args), cwd=self.dir, env=env)

    def run(self, *args, timeout=60):
        return wine([self.exe] + list(args), cwd=self.dir, timeout=timeout)

    def remove(self):
        shutil.rmtree(self.dir, ignore_errors=True)


def end_run(procs, windows=(("TovLauncher", "-"),)):
    """Closes what a test left open (each window by caption and class, until
    none is left), then waits for the started programs, killing stragglers."""
    for title, cls in windows:
        while gui("close", title, cls)[0] == 0:
            gui("gone", title, cls, 3000)
    for p in procs:
        if p is None:
            continue
        try:
            p.wait(timeout=15)
        except subprocess.TimeoutExpired:
            p.kill()


def reset_install_root():
    shutil.rmtree(install_root(), ignore_errors=True)
    if os.path.isfile(install_root()):
        os.remove(install_root())

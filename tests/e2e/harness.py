"""Shared pieces of the end-to-end tests: the launcher under Wine."""
import getpass
import os
import re
import shutil
import subprocess
import sys
import tempfile

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
# DLLs named like system libraries that note their loading in planted.log.
PLANTED_DIR = os.environ.get("TOV_PLANTED_DIR", "")
DEMO_CLIENT = os.path.join(BUILD_DIR, "tools", "bm.exe")

sys.path.insert(0, os.path.join(SOURCE_DIR, "tools", "loopback"))
from client import LoopbackServer, build_demo_package, wait_until  # noqa: E402

MAIN = "TovLauncher"  # caption of the main window's template
UNINSTALL_NAME = "Brakmoor-\u5378\u8f7d"
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\bm_webvarn"

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
    return wait_until(predicate, timeout, interval)


def user_dir(*parts):
    """The prefix's profile folder of the user running the tests."""
    return drive_c("users", getpass.getuser(), *parts)


START_MENU_APPS = user_dir("AppData", "Roaming", "Microsoft", "Windows", "Start Menu", "Apps",
                           "webvarn")
DESKTOP_LINK = user_dir("Desktop", "Brakmoor.lnk")


def start_server(testcase):
    """The loopback server on the port the launcher under test was built
    for; it stops after the test's own tearDown."""
    server = LoopbackServer(port=server_port()).start()
    testcase.addCleanup(server.stop)
    return server


def demo_package():
    """The bytes of the demo client package (bm/bm.exe and a data file)."""
    with tempfile.TemporaryDirectory(dir=BUILD_DIR) as tmp:
        path = os.path.join(tmp, "demo.zip")
        build_demo_package(path, DEMO_CLIENT)
        with open(path, "rb") as f:
            return f.read()


def config_body(base, version, minimum=None, custom=None):
    """A configuration that sends the launcher to `base` for its entry page
    and its package; no minimum line when minimum is None."""
    lines = ["EntryUrl=%s/entry/login.html" % base, "ClientVersion=%s" % version]
    if minimum is not None:
        lines.append("ClientMiniUpdateVersion=%s" % minimum)
    lines.append("ClientDownloadUrl=%s/packages/{ditch_name}/{version}/bm.zip" % base)
    if custom is not None:
        lines.append("CustomParameters=%s" % custom)
    return "\n".join(lines) + "\n"


def info(operation, text=None):
    """Pattern of an INFO line of `operation` after its stamp: up to the
    message, or the whole line when the message text is given."""
    pattern = r"\[INFO\]\[" + re.escape(operation) + r"::\d+\] "
    return pattern if text is None else pattern + re.escape(text) + r"\r\n"


def info_messages(operation, message=r"(.*)"):
    """Every INFO message of `operation` in the log, as `message` (a pattern
    with one group) captures it."""
    return re.findall(STAMP + info(operation) + message + r"\r\n", read_log() or "")


def wait_log(testcase, pattern, timeout=20, details=lambda: ""):
    """The first match of `pattern` (after the stamp) in the log, waited for."""
    regex = re.compile(STAMP + pattern)
    found = wait_for(lambda: regex.search(read_log() or ""), timeout)
    testcase.assertTrue(found, "not logged: %s\n%s%s" % (pattern, read_log(), details()))
    return found


def read_link(path):
    """Local path, arguments and which optional strings a .lnk carries, as
    Debian's lnkinfo reads them (no code shared with the launcher); None
    when it cannot read the file."""
    result = subprocess.run(["lnkinfo", path], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            timeout=60)
    if result.returncode != 0:
        return None
    text = result.stdout.decode("utf-8", "replace")
    fields = dict(re.findall(r"^\t(Local path|Command line arguments)\t+: ?(.*)$", text, re.M))
    return {
        "target": fields.get("Local path"),
        "arguments": fields.get("Command line arguments", ""),
        "extras": [s for s in ("working directory", "description", "icon location")
                   if "Contains a " + s in text],
    }


def owned_windows(title=MAIN, cls="-"):
    """The window `title` owns (the content panel) as the GUI driver lists
    it: (its own fields, {control id: fields after the id}); None when the
    driver finds none."""
    code, out = gui("owned", title, cls)
    lines = [line.rstrip("\r") for line in out.split("\n") if line]
    if code != 0 or not lines or not lines[0].startswith("owned\t"):
        return None
    controls = {}
    for line in lines[1:]:
        fields = line.split("\t")
        controls[fields[0]] = tuple(fields[1:])
    return lines[0].split("\t")[1:], controls


def launcher_copy(testcase, name="TovLauncher.exe", source=None):
    """A LauncherCopy removed after the test."""
    copy = LauncherCopy(name, source)
    testcase.addCleanup(copy.remove)
    return copy


def wait_main_window(testcase):
    testcase.assertEqual(gui("wait", MAIN, "-", 20000)[0], 0, "main window did not appear")


def close_main_window(testcase, proc):
    """Closes the main window; the launcher must then end with 0."""
    testcase.assertEqual(gui("close", MAIN, "-")[0], 0)
    testcase.assertEqual(exit_code(proc), 0)


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


def close_windows(title, cls="-"):
    """Closes every window of this caption and class, one after the other."""
    while gui("close", title, cls)[0] == 0:
        gui("gone", title, cls, 3000)


def end_run(procs, windows=((MAIN, "-"),)):
    """Closes what a test left open (each window by caption and class, until
    none is left), then waits for the started programs, killing stragglers."""
    for title, cls in windows:
        close_windows(title, cls)
    for p in procs:
        if p is None:
            continue
        try:
            p.wait(timeout=15)
        except subprocess.TimeoutExpired:
            p.kill()


def forget_install():
    """No install root, uninstall entry or links of an earlier run."""
    reset_install_root()
    wine(["reg", "delete", UNINSTALL_KEY, "/f"])
    shutil.rmtree(START_MENU_APPS, ignore_errors=True)
    if os.path.exists(DESKTOP_LINK):
        os.remove(DESKTOP_LINK)


def reset_install_root():
    shutil.rmtree(install_root(), ignore_errors=True)
    if os.path.isfile(install_root()):
        os.remove(install_root())

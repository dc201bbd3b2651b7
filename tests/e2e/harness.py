"""Shared pieces of the end-to-end tests: the launcher under Wine."""
import getpass
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

BUILD_DIR = os.environ.get("TOV_BUILD_DIR", "")
SOURCE_DIR = os.environ.get("TOV_SOURCE_DIR", "")
LAUNCHER_EXE = os.environ.get("TOV_LAUNCHER_EXE", "")
# The same launcher with the test build's settings (short transfer limits, a
# configuration address naming the channel twice).
TEST_LAUNCHER_EXE = os.environ.get("TOV_TEST_LAUNCHER_EXE", "")
WINE_RUN = os.environ.get("TOV_WINE_RUN", "")
WINEPREFIX = os.environ.get("TOV_WINEPREFIX", "")
# DLLs named like system libraries that note their loading in planted.log.
PLANTED_DIR = os.environ.get("TOV_PLANTED_DIR", "")

sys.path.insert(0, os.path.join(SOURCE_DIR, "tools", "loopback"))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools", "profile"))
from client import LoopbackServer, build_demo_package, demo_data, wait_until  # noqa: E402
import launcher_profile  # noqa: E402

# The channel profile of the build under test (TOV_PROFILE_FILE, set by
# CTest); the loopback servers the tests start read the same file.
PROFILE = launcher_profile.load()
SERVER_BASE = os.environ.get("TOV_SERVER_BASE") or PROFILE["server_base"]
GAME = PROFILE["game_title"]
CHANNEL = PROFILE["channel_name"]
# The downloaded launcher's file name, and so its log's and its framework
# boxes' name.
LAUNCHER_FILE = PROFILE["internal_name"]
LAUNCHER_NAME = PROFILE.launcher_name
# Where the data directory lies on drive C: as the launcher logs it.
INSTALL_ROOT = "C:\\" + PROFILE.install_dir_name
INSTALLED_LAUNCHER = GAME + ".exe"
GUIDRIVER = os.path.join(BUILD_DIR, "tools", "guidriver.exe")
DEMO_CLIENT = os.path.join(BUILD_DIR, "tools", PROFILE["game_executable"])
# The game client inside the client directory, as an archive names it.
GAME_IN_CLIENT = PROFILE.game_relative
GAME_CLASS = "TovDemoGameClient"  # window class of the demo game client
DEMO_DATA_NAME, DEMO_DATA = demo_data()  # the demo package's data file

MAIN = "TovLauncher"  # caption of the main window's template
UNINSTALL_NAME = GAME + "-\u5378\u8f7d"
UNINSTALL_KEY = "HKCU\\" + PROFILE.uninstall_key

# "[Sep 15 2021 19:46:13][INFO][Op::Name::12] message" / "...[ERROR][Op::12][message]"
STAMP = r"\[[A-Z][a-z]{2} [ \d]\d \d{4} \d\d:\d\d:\d\d\]"


def rounds(mode, default=1):
    """How many rounds a stress mode asks for: TOV_<MODE>_ROUNDS
    (scripts/stress.sh sets it)."""
    return int(os.environ.get("TOV_%s_ROUNDS" % mode, default))


def repeated_tests(mode):
    """A load_tests for a test file: each of its tests runs as many rounds as
    the stress mode asks for, each round in a fresh test object."""
    def cases(suite):
        for test in suite:
            if isinstance(test, unittest.TestSuite):
                yield from cases(test)
            else:
                yield test

    def load_tests(loader, tests, pattern):
        once = list(cases(tests))
        suite = unittest.TestSuite()
        for _ in range(rounds(mode)):
            suite.addTests(type(t)(t._testMethodName) for t in once)
        return suite
    return load_tests


def require_environment(testcase):
    missing = [n for n, v in (("TOV_LAUNCHER_EXE", LAUNCHER_EXE), ("TOV_WINE_RUN", WINE_RUN),
                              ("DISPLAY", os.environ.get("DISPLAY", ""))) if not v]
    if missing:
        testcase.fail("end-to-end tests need " + ", ".join(missing) + " (run them through CTest)")
    # Tests put files into the prefix before they first run anything there.
    if not os.path.isdir(drive_c()):
        wine(["reg", "query", r"HKCU\Software"], timeout=300)


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
    # What Wine itself says (a program it could not load, an unhandled
    # exception) is kept for a test that finds the program gone.
    output = tempfile.TemporaryFile(dir=BUILD_DIR)
    proc = subprocess.Popen([WINE_RUN] + list(args), cwd=cwd, env=full_env,
                            stdout=output, stderr=subprocess.STDOUT)
    proc.wine_output = output
    return proc


def exit_code(proc, timeout=30):
    """The Windows exit code of a started program (Wine passes the low byte)."""
    return proc.wait(timeout=timeout)


def gui(*args, timeout=30):
    """Runs the GUI driver; returns (exit code, UTF-8 output)."""
    for attempt in range(2):
        started = time.monotonic()
        r = wine([GUIDRIVER] + [str(a) for a in args], timeout=timeout)
        # A waiting verb cannot give up before its time: an answer that came
        # at once is Wine failing to start the driver, which is tried again.
        # A look without a wait (a time under half a second) may well fail
        # at once.
        waits = args[0] in ("wait", "gone", "box") and int(args[-1]) >= 500
        if not (waits and r.returncode != 0 and time.monotonic() - started < 0.5):
            break
        sys.stderr.write("guidriver %s ended at once with %d, tried again\n" % (args[0], r.returncode))
    return r.returncode, r.stdout.decode("utf-8", "replace")


def drive_c(*parts):
    return os.path.join(WINEPREFIX, "drive_c", *parts)


def install_root(*parts):
    return drive_c(PROFILE.install_dir_name, *parts)


def game_path(*parts):
    """The game client's folder in the installed client, or a file in it."""
    return install_root("client", PROFILE["game_folder"], *parts)


def read_log(name=LAUNCHER_NAME):
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
                           CHANNEL)
DESKTOP_LINK = user_dir("Desktop", GAME + ".lnk")


def start_server(testcase):
    """The loopback server on the port the launcher under test was built
    for; it stops after the test's own tearDown."""
    server = LoopbackServer(port=server_port()).start()
    testcase.addCleanup(server.stop)
    return server


def demo_package():
    """The bytes of the demo client package (the game executable in its
    folder and a data file)."""
    with tempfile.TemporaryDirectory(dir=BUILD_DIR) as tmp:
        path = os.path.join(tmp, "demo.zip")
        build_demo_package(path, DEMO_CLIENT)
        with open(path, "rb") as f:
            return f.read()


def config_body(base, version, minimum=None, custom=None, extra=()):
    """A configuration that sends the launcher to `base` for its entry page
    and its package; no minimum line when minimum is None; `extra` lines at
    the end."""
    lines = ["EntryUrl=%s/entry/login.html" % base, "ClientVersion=%s" % version]
    if minimum is not None:
        lines.append("ClientMiniUpdateVersion=%s" % minimum)
    lines.append("ClientDownloadUrl=%s/packages/{ditch_name}/{version}/bm.zip" % base)
    if custom is not None:
        lines.append("CustomParameters=%s" % custom)
    lines.extend(extra)
    return "\n".join(lines) + "\n"


PACKAGE_KEY_SCRIPT = os.path.join(SOURCE_DIR, "scripts", "package-key.sh")


def package_key(testcase):
    """A new operator key pair made by the operator's script, removed after
    the test: (private key path, public key as the build option's hex)."""
    keys = tempfile.mkdtemp(prefix="package-key-", dir=BUILD_DIR)
    testcase.addCleanup(shutil.rmtree, keys, True)
    subprocess.run(["bash", PACKAGE_KEY_SCRIPT, "new", keys], check=True, stdout=subprocess.PIPE,
                   timeout=60)
    private = os.path.join(keys, "package-key.pem")
    public = subprocess.run(["bash", PACKAGE_KEY_SCRIPT, "public-hex", private], check=True,
                            stdout=subprocess.PIPE, timeout=60).stdout.decode().strip()
    return private, public


def sign_package(private, data):
    """The two configuration lines the operator's script prints for a
    package of these bytes."""
    with tempfile.TemporaryDirectory(dir=BUILD_DIR) as tmp:
        path = os.path.join(tmp, "bm.zip")
        with open(path, "wb") as f:
            f.write(data)
        out = subprocess.run(["bash", PACKAGE_KEY_SCRIPT, "sign", private, path], check=True,
                             stdout=subprocess.PIPE, timeout=60).stdout.decode()
    return out.split()


SEALED_KEY = "HKCU\\Software\\" + PROFILE["registry_key_name"]


def sign_config(private, sequence, body, days=14):
    """`body` (text) as the operator's script signs it: sealed with the
    sequence, an expiry `days` from now and the signature line."""
    with tempfile.TemporaryDirectory(dir=BUILD_DIR) as tmp:
        path = os.path.join(tmp, "config.txt")
        with open(path, "w", newline="") as f:
            f.write(body)
        subprocess.run(["bash", PACKAGE_KEY_SCRIPT, "sign-config", private, path, "--days", str(days),
                        "--sequence", str(sequence)], check=True, capture_output=True, timeout=60)
        with open(path + ".signed", "rb") as f:
            return f.read()


def sealed_sequence():
    """The highest configuration sequence the launcher keeps, or None."""
    m = re.search(r"ConfigSequence\s+REG_SZ\s+(\d+)", reg_query(SEALED_KEY) or "")
    return int(m.group(1)) if m else None


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


_code_pages = {}


def code_page(which):
    """The prefix's "ACP" (ANSI) or "OEMCP" code page as a Python codec."""
    if which not in _code_pages:
        out = wine(["reg", "query", r"HKLM\System\CurrentControlSet\Control\Nls\CodePage",
                    "/v", which]).stdout.decode("ascii", "replace")
        m = re.search(which + r"\s+REG_SZ\s+(\d+)", out)
        _code_pages[which] = "cp" + m.group(1) if m else "cp1252"
    return _code_pages[which]


def ansi_form(text, which="ACP"):
    """`text` after a round trip through one of the prefix's code pages:
    Wine keeps a shell link's target only in the ANSI one, so a title outside
    it reads back with '?' (Windows keeps the whole path as well)."""
    return text.encode(code_page(which), "replace").decode(code_page(which))


def reg_query(key):
    """reg.exe's listing of `key` (None when it has none), in the OEM code
    page it writes to a pipe; compare with ansi_form(text, "OEMCP")."""
    r = wine(["reg", "query", key])
    return r.stdout.decode(code_page("OEMCP"), "replace") if r.returncode == 0 else None


def link_to(target, arguments=""):
    """What read_link gives for a link the launcher made to `target`."""
    return {"target": ansi_form(target), "arguments": arguments, "extras": []}


def uninstall_command(launcher):
    """The uninstall entry's command: quoted when the path holds a blank."""
    return ('"%s" /uninstall' if " " in launcher else "%s /uninstall") % launcher


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


def launcher_copy(testcase, name=LAUNCHER_FILE, source=None):
    """A LauncherCopy removed after the test."""
    copy = LauncherCopy(name, source)
    testcase.addCleanup(copy.remove)
    return copy


def launcher_stacks():
    """Every thread's backtrace in each running launcher of the prefix, as
    winedbg takes them: what a launcher that hangs is waiting for."""
    listing = wine(["winedbg", "--command", "info process"], timeout=60).stdout.decode("utf-8", "replace")
    pids = re.findall(r"^\W*([0-9a-f]{8})\s+\d+\s+.*'(?:%s|%s|TovLauncherTest\.exe)'" % (
        re.escape(LAUNCHER_FILE), re.escape(INSTALLED_LAUNCHER)), listing, re.M | re.I)
    report = []
    for pid in pids:
        try:
            out = wine(["winedbg", "--command", "bt all", "0x" + pid], timeout=30).stdout.decode(
                "utf-8", "replace")
        except subprocess.TimeoutExpired:
            # The debugger's thread cannot start while the loader is held:
            # then the Unix side of each thread shows where it waits.
            return "winedbg could not attach; gdb:\n" + unix_stacks()
        for block in re.split(r"\n(?=Backtracing for thread)", out):
            if re.match(r"Backtracing for thread \w+ in process 0*%s " % pid.lstrip("0"), block):
                report.append(block)
    return "\n".join(report) or "no launcher process found\n" + listing


def launcher_pids():
    """Unix pids of the prefix's running launchers (any of their names)."""
    return sorted(set(sum((prefix_processes(name) for name in (
        LAUNCHER_FILE, INSTALLED_LAUNCHER, "TovLauncherTest.exe")), [])))


def unix_stacks():
    out = []
    for pid in launcher_pids():
        r = subprocess.run(["gdb", "-p", str(pid), "-batch", "-ex", "thread apply all bt 30"],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        out.append(r.stdout.decode("utf-8", "replace"))
    return "\n".join(out)


def launcher_state(proc):
    """How a launcher that did not do what was awaited stands: ended (and
    how), started by Wine or not, or where its threads wait."""
    ended = proc.poll() if proc is not None else None
    if ended is not None:
        said = b""
        if getattr(proc, "wine_output", None) and not proc.wine_output.closed:
            proc.wine_output.seek(0)
            said = proc.wine_output.read()[-2000:]
        return "ended with %d%s" % (ended, "; Wine said:\n" + said.decode("utf-8", "replace") if said else "")
    if not launcher_pids():
        return "not running: Wine has not started it" if proc else "not running (ended, or not started)"
    return "running:\n" + launcher_stacks()


def wait_main_window(testcase, proc=None):
    """Waits for the main window; on failure says whether the launcher had
    already ended, and how, or where its threads wait, beside its log."""
    started = time.monotonic()
    code, out = gui("wait", MAIN, "-", 20000)
    if code != 0:
        # The driver's own code and time tell a driver that failed to start
        # from a window that never came.
        testcase.fail("main window did not appear (driver code %d after %.1f s%s; launcher %s)\n%s" % (
            code, time.monotonic() - started, out and ": " + out, launcher_state(proc), read_log()))


def wait_main_window_or_end(testcase, proc, timeout=20):
    """Waits until the main window shows or the launcher has ended: a run
    that starts the game at once may show, hide and close its window within
    the time the GUI driver takes to start."""
    end = time.monotonic() + timeout
    while proc.poll() is None and time.monotonic() < end:
        if gui("wait", MAIN, "-", 500)[0] == 0:
            return
    testcase.assertIsNotNone(proc.poll(), "main window did not appear\n%s" % read_log())


def close_main_window(testcase, proc):
    """Closes the main window; the launcher must then end with 0."""
    code, out = gui("close", MAIN, "-")
    if code != 0:
        ended = proc.poll()
        testcase.fail("no main window to close (driver code %d%s; launcher %s)\n%s\ndumps: %s" % (
            code, out and ": " + out, "running" if ended is None else "ended with %d" % ended,
            read_log(), crash_dumps()))
    testcase.assertEqual(end_of(testcase, proc), 0)


def end_of(testcase, proc, timeout=30, context=""):
    """The launcher's exit code; a launcher that does not end fails the test
    with where its threads wait."""
    try:
        return exit_code(proc, timeout)
    except subprocess.TimeoutExpired:
        testcase.fail("%sthe launcher did not end:\n%s\n%s" % (
            context and context + ": ", launcher_stacks(), read_log()))


class LauncherCopy:
    """A copy of the launcher under a chosen file name in a scratch folder
    inside the prefix (the name decides the log's name)."""

    def __init__(self, name=LAUNCHER_FILE, source=None):
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
        if hasattr(p, "wine_output"):
            p.wine_output.close()
    # A launcher that hung would hold the single-instance mutex and refuse
    # every later test's start: it goes with its test.
    for pid in launcher_pids():
        try:
            os.kill(pid, 9)
        except OSError:
            pass


def page_script(*statements):
    """A page script for the test build: `ext` is window.external."""
    return "var ext = window.external;\n" + "\n".join(statements) + "\n"


def login_statement(text):
    return "ext.JavascriptToCsharp('LoginResult', '%s');" % text


def start_with_page(testcase, script, *args, env=None, luapath=None):
    """The test build in a fresh copy, its page the given script (and the
    given bytes as luapath.txt beside it); returns the copy, the process
    and the script's path (page errors go to that path plus ".errors")."""
    copy = launcher_copy(testcase, source=TEST_LAUNCHER_EXE)
    script_path = os.path.join(copy.dir, "page.js")
    with open(script_path, "w", encoding="utf-8") as f:
        f.write(script)
    if luapath is not None:
        with open(os.path.join(copy.dir, "luapath.txt"), "wb") as f:
            f.write(luapath)
    win_script = "C:\\" + os.path.relpath(script_path, drive_c()).replace("/", "\\")
    full_env = {"TOV_PAGE_SCRIPT": win_script, "BM_EXIT_AFTER_MS": "15000"}
    full_env.update(env or {})
    return copy, copy.start(*args, env=full_env), script_path


def install_current_client(version, with_game=True):
    """An installed client at `version`, the demo game in it unless told."""
    os.makedirs(game_path(), exist_ok=True)
    with open(install_root("client", "game_client_version.txt"), "w") as f:
        f.write(version)
    if with_game:
        shutil.copy(DEMO_CLIENT, game_path(PROFILE["game_executable"]))


def report_texts(records):
    """What each report said: "ac=<action>" (or "ac=" without one) for an
    event, the decoded error_msg for an error report."""
    texts = []
    for r in records:
        query = urllib.parse.parse_qs(r["query"], keep_blank_values=True)
        if r["endpoint"] == "event":
            texts.append("ac=" + query.get("ac", [""])[0])
        elif "error_msg" in query:
            texts.append(query["error_msg"][0])
    return texts


def prefix_processes(marker):
    """Pids of this prefix's Windows programs whose command line holds
    `marker` (Wine shows a program's Windows command line as its own)."""
    pids = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if ("WINEPREFIX=%s" % WINEPREFIX).encode() not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if marker.encode() in f.read():
                    pids.append(int(pid))
        except OSError:
            continue
    return pids


def crash_dumps():
    return glob.glob(install_root("*.dmp"))


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

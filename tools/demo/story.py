#!/usr/bin/env python3
"""Runs the launcher's whole story against the bundled demo server and
shows it: the skinned window appears, the client downloads and unpacks with
the bar moving, the page logs in, the demo game starts with the composed
command line and the launcher closes. Each phase is saved as a screenshot,
with one contact sheet of them all, and the telemetry the server received
is printed as a table at the end.

    story.py --build BUILD_WIN [--release] [--timeout S] [--out DIR]

Debian's Wine has no HTML engine, so the release executable's page never
logs in here. The story therefore runs the test build, whose page is a
script that logs in through the launcher's real script object; --release
runs the release executable instead and ends as soon as its client is
ready, the last phase it can reach here. The story always ends by itself:
exit 0 when it completed, 1 with a message naming the phase it was waiting
for otherwise. Needs DISPLAY; talks to 127.0.0.1 only.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time
import urllib.parse

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "loopback"))
from client import LoopbackServer  # noqa: E402
sys.path.insert(0, os.path.join(ROOT, "tools", "profile"))
import launcher_profile  # noqa: E402

# MAIN is the main window's caption; GAME, the game window's title, comes
# from the build's channel profile (main).
MAIN, GAME = "TovLauncher", None
PROFILE = None
PROGRESS, PERCENT, PHASE, STATUS = "1000", "1001", "1002", "1003"
DOWNLOADING, UNPACKING, DONE = "正在下载：", "正在解压：", "更新已完成"
PAGE = """var ext = window.external;
window.setTimeout(function () {
  ext.JavascriptToCsharp("LoginResult", "true|account=demo%20player&token=7f3a");
}, 9000);
"""

# (name, what it shows, what the story waits for)
PHASES = [
    ("1-window", "the skinned window appears", "the main window"),
    ("2-download", "the client downloads, the bar moving", "the download's bar"),
    ("3-unpack", "the client unpacks", "the unpacking"),
    ("4-ready", "the client is current", "the ready text"),
    ("5-game", "the game runs with the composed command line", "the game's window"),
    ("6-closed", "the launcher has closed", "the launcher's end"),
]
READY = 3


class Story:
    def __init__(self, args):
        self.args = args
        self.wine_run = os.path.join(args.build, "wine-run")
        self.prefix = os.path.abspath(args.prefix)
        self.env = dict(os.environ, TOV_WINEPREFIX=self.prefix, BM_EXIT_AFTER_MS="12000")
        self.out = os.path.abspath(args.out)
        self.shots = {}
        self.window = None

    def wine(self, *cmd, timeout=30):
        try:
            r = subprocess.run([self.wine_run] + [str(c) for c in cmd], env=self.env, timeout=timeout,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            return 1, ""
        return r.returncode, r.stdout.decode("utf-8", "replace")

    def gui(self, *cmd):
        return self.wine(os.path.join(self.args.build, "tools", "guidriver.exe"), *cmd)

    def state(self, title):
        code, out = self.gui("state", title, "-")
        fields = out.split()
        if code != 0 or len(fields) < 5:
            return None
        return fields[0] == "visible", tuple(int(v) for v in fields[1:5])

    def panel(self):
        """{control id: (visible, text)} of the content panel."""
        code, out = self.gui("owned", MAIN, "-")
        controls = {}
        for line in out.splitlines()[1:] if code == 0 else []:
            f = line.split("\t")
            if len(f) >= 4:
                controls[f[0]] = (f[2] == "visible", f[3])
        return controls

    def shot(self, name):
        path = os.path.join(self.out, name + ".png")
        full = path + ".full.png"
        if self.window:
            # Where the window is now: it opens at the screen's corner and is
            # centred a moment later.
            main = self.state(MAIN)
            self.window = main[1] if main else self.window
        subprocess.run(["import", "-display", os.environ["DISPLAY"], "-window", "root", full],
                       check=True, capture_output=True)
        window = self.window
        if window:
            x, y, w, h = window
            subprocess.run(["convert", full, "-crop", "%dx%d+%d+%d" % (w + 40, h + 40, max(x - 20, 0),
                                                                        max(y - 20, 0)),
                            "+repage", path], check=True, capture_output=True)
            os.remove(full)
        else:
            os.replace(full, path)
        self.shots[name] = path
        print("demo: %-10s %s" % (name, dict((p[0], p[1]) for p in PHASES)[name]), flush=True)

    def stop_wine(self):
        if self.args.shared_prefix:
            # Other programs run in this prefix: only the story's own go.
            while self.gui("close", MAIN, "-")[0] == 0:
                self.gui("gone", MAIN, "-", "3000")
            return
        subprocess.run(["wineserver", "-k"], env=dict(self.env, WINEPREFIX=self.prefix),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def prepare(self):
        os.makedirs(self.out, exist_ok=True)
        for f in os.listdir(self.out):
            if f.endswith(".png"):
                os.remove(os.path.join(self.out, f))
        # Nothing of an earlier run may still be running (its game would
        # refuse this start); the first use of a prefix makes it anew, so it
        # is made before anything is put into it.
        self.stop_wine()
        self.gui("state", MAIN, "-")
        # A first install: nothing of an earlier run is left in the prefix.
        shutil.rmtree(os.path.join(self.prefix, "drive_c", PROFILE.install_dir_name),
                      ignore_errors=True)

    def launch(self):
        exe = os.path.join(self.args.build, "src", PROFILE["internal_name"])
        env = {}
        if not self.args.release:
            exe = os.path.join(self.args.build, "tests", "TovLauncherTest.exe")
            page = os.path.join(self.prefix, "drive_c", "tov-demo-page.js")
            os.makedirs(os.path.dirname(page), exist_ok=True)
            with open(page, "w", encoding="utf-8") as f:
                f.write(PAGE)
            env["TOV_PAGE_SCRIPT"] = "C:\\tov-demo-page.js"
        return subprocess.Popen([self.wine_run, exe], env=dict(self.env, **env),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, server):
        self.prepare()
        # Paced so that a watcher sees the bar move for about six seconds.
        packages = server.admin("GET", "packages")["packages"]
        size = max([p["size"] or 0 for p in packages.values()] + [1])
        server.add_fault("packages", rate=max(1, size // 6))
        proc = self.launch()
        deadline = time.monotonic() + self.args.timeout
        reached = -1
        # The release executable's story ends at the ready state: no login
        # can come without an HTML engine.
        last = READY if self.args.release else len(PHASES) - 1
        while reached < last:
            if time.monotonic() > deadline:
                # The launcher runs inside Wine: ending the wrapper is not
                # enough.
                self.stop_wine()
                proc.kill()
                waiting = PHASES[reached + 1]
                print("demo: timed out after %d s waiting for %s." % (self.args.timeout, waiting[2]))
                return False
            now = self.observe(proc)
            if now == 5 and reached < 4 and self.gui("wait", GAME, "-", 5000)[0] == 0:
                # The launcher closes as soon as the game runs: the game is
                # shown before the end.
                self.advance(reached, 4)
                reached = 4
            if now > reached:
                self.advance(reached, now)
                reached = now
            time.sleep(0.1)
        if self.args.release:
            if "4-ready" not in self.shots:
                print("demo: the launcher ended before its client was ready.")
                return False
            print("demo: the release executable's page is the channel's real web page, and "
                  "Debian's Wine has no HTML engine to run it, so no login can come here; "
                  "the story stops at the ready state (without --release the test build's "
                  "scripted page logs in and the game starts).", flush=True)
            self.close_launcher(proc)
            return True
        if "5-game" not in self.shots:
            print("demo: the launcher closed without starting the game.")
        return "5-game" in self.shots

    def advance(self, reached, now):
        """Shows phase `now`; the window's first sight is always shown."""
        if reached < 0 and now > 0 and self.window:
            time.sleep(0.5)
            self.shot(PHASES[0][0])
            reached = 0
        for missed in PHASES[reached + 1:now]:
            print("demo: %-10s (passed too fast to catch)" % missed[0])
        if PHASES[now][0] == "1-window":
            time.sleep(1.0)  # its first paint
        if PHASES[now][0] == "5-game":
            self.window = None
            time.sleep(1.5)
        self.shot(PHASES[now][0])

    def close_launcher(self, proc):
        """Closes the launcher as a player would; Wine goes if it lingers."""
        self.gui("close", MAIN, "-")
        try:
            proc.wait(timeout=8)
        except subprocess.TimeoutExpired:
            self.stop_wine()
            proc.kill()

    def observe(self, proc):
        """The index of the latest phase on screen now, or -1."""
        if proc.poll() is not None:
            return 5
        if self.state(GAME):
            return 4
        main = self.state(MAIN)
        if not main or not main[0]:
            return -1
        self.window = main[1]
        controls = self.panel()
        phase = controls.get(PHASE, (False, ""))
        status = controls.get(STATUS, (False, ""))
        percent = controls.get(PERCENT, (False, "0%"))
        if status[0] and status[1] == DONE:
            return 3
        if phase[0] and phase[1] == UNPACKING:
            return 2
        if phase[0] and phase[1] == DOWNLOADING and percent[1] not in ("", "0%", "100%"):
            return 1
        return 0

    def contact_sheet(self):
        sheet = os.path.join(self.out, "contact-sheet.png")
        shots = [self.shots[p[0]] for p in PHASES if p[0] in self.shots]
        labelled = []
        for path in shots:
            labelled += ["-label", os.path.basename(path)[:-4], path]
        subprocess.run(["montage"] + labelled + ["-tile", "3x", "-geometry", "640x380+6+6",
                                                 "-background", "#202020", "-fill", "white", "-font", "DejaVu-Sans", sheet],
                       check=True, capture_output=True)
        return sheet


def telemetry_table(records):
    rows = []
    start = records[0]["time"] if records else 0
    for r in records:
        q = urllib.parse.parse_qs(r.get("query", ""), keep_blank_values=True)
        what = q.get("ac", q.get("error_msg", [""]))[0]
        rows.append(("%5.1f" % (r["time"] - start), r["endpoint"], what))
    lines = ["  time  endpoint  report", "  ----  --------  ------"]
    lines += ["  %s  %-8s  %s" % row for row in rows]
    return "\n".join(lines)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", required=True, help="the Windows build tree")
    ap.add_argument("--prefix", required=True, help="the Wine prefix of the demo")
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--out", required=True, help="where the screenshots go")
    ap.add_argument("--release", action="store_true",
                    help="run the release executable and stop at the ready state")
    # The scripted login is the default now; the option stays for old calls.
    ap.add_argument("--scripted-login", action="store_true", help=argparse.SUPPRESS)
    ap.add_argument("--timeout", type=int, default=120)
    ap.add_argument("--shared-prefix", action="store_true",
                    help="other programs use the prefix too: never stop its wineserver")
    ap.add_argument("--docs-shot", help="also save the download phase here")
    args = ap.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("story.py: needs DISPLAY")

    global GAME, PROFILE
    profile_file = os.path.join(os.path.abspath(args.build), "profile.json")
    PROFILE = launcher_profile.load(profile_file)
    GAME = PROFILE["game_title"]
    # The server started below reads the same profile.
    os.environ["TOV_PROFILE_FILE"] = profile_file
    story = Story(args)
    record = os.path.join(os.path.abspath(args.out), "reports.jsonl")
    os.makedirs(args.out, exist_ok=True)
    server = LoopbackServer(port=args.port, record=record,
                            demo_exe=os.path.join(args.build, "tools",
                                                  PROFILE["game_executable"])).start()
    try:
        done = story.run(server)
        records = server.records()
    finally:
        server.stop()
    if story.shots:
        print("demo: screenshots in %s, contact sheet %s" % (story.out, story.contact_sheet()))
    if args.docs_shot and "2-download" in story.shots:
        shutil.copy(story.shots["2-download"], args.docs_shot)
    print("demo: telemetry the demo server received (%d reports):" % len(records))
    print(telemetry_table(records))
    print("demo: the story %s" % ("completed" if done else "did not complete"))
    return 0 if done else 1


if __name__ == "__main__":
    sys.exit(main())

"""Install and start-up figures of the launcher under Wine, each against a
baseline measured in the same run on this machine, with its goal beside it.
Loopback only.

  download        a 1 GiB package: the launcher (from the server taking its
                  package request to its log's "download is finish")
                  against native `curl -o` (from the server taking its
                  request to its end).
                  `--download-only` runs only this row.
  small files     a package of many small files: the launcher's extraction
                  ("unzip file: ... begin" .. "unzip is finish!") against the
                  floor, file_floor.exe under the same Wine creating the same
                  files (sizes, folders) on one thread with nothing else to do.
  big file        a package of one large file: the launcher against native
                  `unzip` of the same package (inflate and write bound).
  first window    from process start to the first visible window, median of
                  alternating rounds: the launcher against bare_window.exe, a
                  program that only shows a window of the same size. As a
                  second row without a goal, bare_skinned_window.exe against
                  it: the same window with what a skinned one must do before
                  it shows (common controls 6, a layered picture), the floor
                  of any launcher start. `--window-only` runs only these.
  exit, hung      from asking the window to close to the end of the process
                  while the telemetry server never answers.
  peak memory     the launcher's peak working set through the download and
                  both extractions (window_watch.exe reads it).
  SHA-256         the download with a ClientPackageSha256 in the
                  configuration (hashed as it arrives) against the same
                  download without one, medians of alternating rounds:
                  what checking the package adds, with the server sending
                  at most `--throttle-mib` MiB/s (300 by default, a line
                  faster than any player's), and as a second row without a
                  goal, as fast as loopback goes. `--hash-only` runs only the
                  first.
  cut at 50 %     a `--resume-mib` MiB package (256 by default) whose first
                  answer the server cuts at half its length, against the same
                  download uncut, medians of alternating rounds, at
                  `--throttle-mib` MiB/s: the package bytes the server sent
                  (goal <= 1.01 x) and the time without the launcher's pause
                  before its retry (goal <= 1.1 x). As a row without a goal,
                  the time as fast as loopback goes: there the first 128 MiB
                  of any new connection of the launcher under Wine (after a
                  cut, or opened a second late without one) took 0.23-0.28 s
                  against 0.15-0.2 s for the next 128 MiB, a fixed cost that
                  weighs 20 % of a 0.4 s download and nothing at a player's
                  line; native curl's two halves take as long as its whole.
                  `--resume-only` runs only these rows.
  ping p99        window_watch.exe sends the main window WM_NULL every 20 ms
                  (SendMessageTimeout); the 99th percentile of the answer
                  times inside the download and extraction phases.

Every round's figure is printed too. The tools' outputs are checked against
the packages, so a failed run cannot pass for a fast one. `--wine-tools` adds
curl.exe and unzip.exe under the same Wine (scripts/build-bench-tools.sh) as a
reference.
"""
import argparse
import hashlib
import mmap
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "loopback"))
from client import LoopbackServer, build_large_package  # noqa: E402
sys.path.insert(0, os.path.join(ROOT, "tools", "profile"))
import launcher_profile  # noqa: E402

MIB = 1 << 20
# As much as the largest run writes (the 1 GiB download), and some.
WARM_BYTES = 1536 * MIB
BLOCK = 16 * MIB
ZIP_TIME = (2024, 1, 1, 0, 0, 0)


def cache_value(build, name):
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith(name + ":"):
                return line.split("=", 1)[1].strip()
    raise SystemExit("%s not in %s/CMakeCache.txt" % (name, build))


def _zip_time_info(name):
    info = zipfile.ZipInfo(name, ZIP_TIME)
    info.compress_type = zipfile.ZIP_DEFLATED
    return info


def build_small_package(path, small_files):
    """Many small text-like files in 100 folders (what a client's scripts
    and configurations look like), deflated."""
    if os.path.exists(path):
        return path
    rng = random.Random(7)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(2000)]
    tmp = path + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as zf:
        for d in range(100):
            zf.writestr(zipfile.ZipInfo("bench/data/%03d/" % d, ZIP_TIME), b"")
        for i in range(small_files):
            text = b" ".join(rng.choice(words) for _ in range(rng.randint(50, 600)))
            zf.writestr(_zip_time_info("bench/data/%03d/file%05d.txt" % (i % 100, i)), text)
    os.replace(tmp, path)
    return path


def build_big_package(path, big_size):
    """One large file of mixed data: half random, half repetitive, so neither
    all stored nor all trivial."""
    if os.path.exists(path):
        return path
    rng = random.Random(7)
    noise = rng.randbytes(MIB)
    pattern = (b"tile " * (MIB // 5 + 1))[:MIB]
    tmp = path + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as zf:
        with zf.open(_zip_time_info("bench/big.pak"), "w", force_zip64=True) as out:
            for k in range(big_size // MIB):
                out.write(noise if k % 2 else pattern)
    os.replace(tmp, path)
    return path


def write_manifest(package, path):
    """The files of a package as file_floor.exe reads them."""
    with zipfile.ZipFile(package) as zf, open(path, "w") as out:
        for info in zf.infolist():
            if not info.is_dir():
                out.write("%d\t%s\n" % (info.file_size, info.filename.replace("/", "\\")))


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(share * (len(ordered) - 1))))] if ordered else float("nan")


class Launcher:
    """The release launcher under Wine, its log watched from outside."""

    def __init__(self, build, prefix, profile):
        self.build = build
        self.prefix = prefix
        self.exe = os.path.join(build, "src", profile["internal_name"])
        self.install_root = os.path.join(prefix, "drive_c", profile.install_dir_name)
        self.log = os.path.join(self.install_root, profile.launcher_name + ".log")
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")

    def wine(self, *args, timeout=60):
        return subprocess.run([os.path.join(self.build, "wine-run")] + list(args), env=self.env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)

    def gui(self, *args):
        return self.wine(os.path.join(self.build, "tools", "guidriver.exe"), *args).returncode

    def close_all(self):
        while self.gui("close", "TovLauncher", "-") == 0:
            self.gui("gone", "TovLauncher", "-", "5000")

    def tool(self, name):
        return os.path.join(self.build, "tools", name)

    def watch(self, title, timeout_ms=60000):
        """window_watch.exe for a window of this caption, started now; its
        report comes with watched()."""
        stop = os.path.join(self.build, "bench-watch.stop")
        if os.path.exists(stop):
            os.remove(stop)
        proc = subprocess.Popen([os.path.join(self.build, "wine-run"), self.tool("window_watch.exe"), title,
                                 windows_path(stop), str(timeout_ms)],
                                env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return proc, stop

    @staticmethod
    def watched(watch, timeout=60):
        """(time the window showed, [(time, ping seconds)], peak bytes); times
        are the Unix clock's."""
        proc, stop = watch
        open(stop, "w").close()
        out = proc.communicate(timeout=timeout)[0].decode("ascii", "replace")
        os.remove(stop)
        visible = pings = peak = None
        pings = []
        for line in out.splitlines():
            f = line.split()
            if f and f[0] == "visible":
                visible = int(f[1]) / 1e6
            elif f and f[0] == "ping":
                pings.append((int(f[1]) / 1e6, int(f[2]) / 1e6))
            elif f and f[0] == "peak":
                peak = int(f[1])
        return visible, pings, peak

    def run(self, markers, timeout=600, watch=False):
        """Starts the launcher from an empty InstallRoot and returns the time
        (Unix clock) each marker regex first matched the log, then closes
        it. With `watch`, also what window_watch.exe saw of it."""
        self.close_all()
        shutil.rmtree(self.install_root, ignore_errors=True)
        # Earlier rounds' gigabytes must not be written back during this one.
        warm = settle(hold=True)
        watcher = self.watch("TovLauncher") if watch else None
        proc = subprocess.Popen([os.path.join(self.build, "wine-run"), self.exe], env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        seen = {}
        text = ""
        offset = 0
        deadline = time.monotonic() + timeout
        try:
            while len(seen) < len(markers):
                if time.monotonic() > deadline:
                    raise RuntimeError("launcher did not log %s\n%s" % (
                        [m for m in markers if m not in seen], text[-3000:]))
                try:
                    with open(self.log, "rb") as f:
                        f.seek(offset)
                        chunk = f.read()
                except FileNotFoundError:
                    chunk = b""
                now = time.time()
                if chunk:
                    if warm is not None:
                        warm.close()  # it has started: what it writes comes next
                        warm = None
                    offset += len(chunk)
                    # Only whole lines are searched; a cut line waits.
                    text += chunk.decode("utf-8", "replace")
                    for name, regex in markers.items():
                        if name not in seen and re.search(regex, text):
                            seen[name] = now
                    if "download error" in text:
                        raise RuntimeError("the launcher's update failed:\n" + text[-3000:])
                    text = text[-20000:]
                time.sleep(0.002)
        finally:
            if warm is not None:
                warm.close()
            watched = self.watched(watcher) if watcher else None
            self.close_all()
            try:
                proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                proc.kill()
        return (seen, watched) if watch else seen


def windows_path(path):
    """Wine shows the Unix root as drive Z:."""
    return "Z:" + path.replace("/", "\\")


def settle(hold=False):
    """Before every timed run: what earlier runs wrote is on disk, and the
    memory the run is about to fill with written data is backed by the host.
    On a virtual machine that hands freed memory back to its host (virtio
    free page reporting), the first write into a page the host took back
    waits for the host to fault it in: a program writing 1 GiB into the page
    cache then took 3 to 9 s instead of 1 s, at random, depending on how much
    of the memory freed by the round before had been handed back yet (perf:
    80 % of the time in the copy into page-cache pages). Touching that much
    memory here, and freeing it just before the run, gives every run, ours
    and the baselines', the same fast pages. With `hold`, the memory is
    returned (as an open mapping) for the caller to free when its run is
    about to write: the launcher downloads a second or so after it starts."""
    os.sync()
    try:
        with open("/proc/meminfo") as f:
            avail = int(re.search(r"^MemAvailable:\s+(\d+) kB", f.read(), re.M).group(1)) << 10
    except (OSError, AttributeError):
        return None
    size = min(WARM_BYTES, avail // 2) // BLOCK * BLOCK
    if size <= 0:
        return None
    block = b"\xa5" * BLOCK
    m = mmap.mmap(-1, size)
    for at in range(0, size, BLOCK):
        m[at:at + BLOCK] = block
    if hold:
        return m
    m.close()
    return None


def package_asked_at(server):
    """When the server took the first package request since its requests
    were cleared (Unix clock). A download's time starts there for every
    client: the launcher's own log lines can wait behind reports that are
    held while it starts."""
    return min(r["time"] for r in server.requests() if r.get("route") == "packages")


def timed_download(cmd, server):
    settle()
    server.clear_requests()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return time.time() - package_asked_at(server)


def timed(cmd):
    settle()
    t0 = time.monotonic()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return time.monotonic() - t0


class WineTools:
    """curl.exe and unzip.exe under Wine, started the way the launcher is
    (the build's wine-run, its prefix, WINEDEBUG=-all)."""

    def __init__(self, launcher, tools_dir):
        self.launcher = launcher
        self.curl = os.path.join(tools_dir, "curl.exe")
        self.unzip = os.path.join(tools_dir, "unzip.exe")
        for exe in (self.curl, self.unzip):
            if not os.path.isfile(exe):
                raise SystemExit("%s missing: run scripts/build-bench-tools.sh (as root) or "
                                 "pass --no-wine-tools" % exe)
        # Seconds for a run that only prints the version, best seen.
        self.start_cost = {}
        # The first program in the prefix also starts its wineserver and
        # services, which no later run pays again.
        for exe in (self.curl, self.unzip):
            self._run(exe, ["-v" if exe == self.unzip else "-V"])

    def _run(self, exe, args):
        r = self.launcher.wine(exe, *args, timeout=600)
        if r.returncode != 0:
            raise RuntimeError("%s %s failed (%d): %r %r" % (
                os.path.basename(exe), " ".join(args), r.returncode, r.stdout[-2000:],
                r.stderr[-2000:]))

    def timed(self, exe, *args):
        # A version query first: it makes sure the prefix's wineserver is up,
        # so the timed run pays only what starting a program costs, and it
        # measures that cost.
        name = os.path.basename(exe)
        t0 = time.monotonic()
        self._run(exe, ["-v" if exe == self.unzip else "-V"])
        self.start_cost[name] = min(self.start_cost.get(name, 1e9), time.monotonic() - t0)
        settle()
        t0 = time.monotonic()
        self._run(exe, args)
        return time.monotonic() - t0


def check_download(path, size, who):
    got = os.path.getsize(path) if os.path.exists(path) else -1
    if got != size:
        raise RuntimeError("%s fetched %d bytes of %d" % (who, got, size))


def check_tree(out_dir, files, total, who):
    """The unpacked tree holds as many files, and as many bytes, as the
    package's file entries."""
    n = size = 0
    for d, _, names in os.walk(out_dir):
        for name in names:
            n += 1
            size += os.path.getsize(os.path.join(d, name))
    if (n, size) != (files, total):
        raise RuntimeError("%s unpacked %d files, %d bytes; the package has %d files, %d bytes"
                           % (who, n, size, files, total))


class Row:
    """One figure of the table: the launcher's value, the baseline's, the
    goal and every round."""

    def __init__(self, name, value, unit, goal_text, met, rounds):
        self.name, self.value, self.unit = name, value, unit
        self.goal_text, self.met, self.rounds = goal_text, met, rounds


def ratio_row(name, ours, base, base_name, bound, higher_is_better, pick=min, ours_name="launcher"):
    """A row comparing the launcher's rounds with a baseline's, by `pick`
    (best or median) of each."""
    o, b = pick(ours), pick(base)
    if bound is None:
        value, met, goal = o / b, None, "none"
    elif higher_is_better:
        value, met, goal = b / o, b / o >= bound, ">= %.2f (%s time / launcher time)" % (bound, base_name)
    else:
        value, met, goal = o / b, o / b <= bound, "<= %.2f (launcher time / %s time)" % (bound, base_name)
    rounds = "%s %s; %s %s" % (ours_name, " ".join("%.2f" % t for t in ours), base_name,
                                     " ".join("%.2f" % t for t in base))
    return Row(name, value, "x  (%.2fs vs %.2fs)" % (o, b), goal, met, rounds)


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(MIB), b""):
            digest.update(block)
    return digest.hexdigest()


def hashing_row(launcher, server, package, rounds, throttle_mib, judged=True):
    """The download without and with a configured SHA-256, alternating, each
    round in the other order so neither side always runs first. Unjudged, the
    row carries no goal."""
    url = server.base_url
    server.register_package("bench/hashed/bm.zip", path=package)
    server.clear_faults()
    if throttle_mib:
        server.add_fault("packages", rate=throttle_mib * MIB)
    plain = ("EntryUrl=%s/entry/login.html\nClientVersion=hashed\n"
             "ClientDownloadUrl=%s/packages/bench/{version}/bm.zip\n" % (url, url))
    hashed_line = "ClientPackageSha256=%s\n" % sha256_of(package)
    times = ([], [])
    for k in range(rounds):
        for hashed in ((False, True) if k % 2 == 0 else (True, False)):
            server.set_config(body=plain + (hashed_line if hashed else ""))
            markers = {"start": r"\[CGameRemoteConfig::OnDownLoad::\d+\] http://",
                       "end": r"\] download is finish\r\n"}
            if hashed:  # the check really ran, and passed
                markers["checked"] = r"\] package check passed: SHA-256\r\n"
            seen = launcher.run(markers)
            times[hashed].append(seen["end"] - seen["start"])
    server.clear_faults()
    p, h = statistics.median(times[0]), statistics.median(times[1])
    added = (h / p - 1) * 100
    where = "at %d MiB/s" % throttle_mib if throttle_mib else "unthrottled"
    goal = ("<= 5 % of the download's time", added <= 5) if judged else (
        "none: the download's own thread is the limit", None)
    return Row("SHA-256, %s" % where, added, "%% added (%.2fs vs %.2fs)" % (h, p), goal[0], goal[1],
               "plain %s; hashed %s" % (" ".join("%.2f" % t for t in times[0]),
                                        " ".join("%.2f" % t for t in times[1])))


def print_rows(rows, references=()):
    print()
    print("%-22s %-28s %-46s %s" % ("figure", "launcher", "goal", "met"))
    for r in rows:
        met = "-" if r.met is None else "yes" if r.met else "NO"
        print("%-22s %8.2f %-19s %-46s %s" % (r.name, r.value, r.unit, r.goal_text, met))
    print()
    for r in rows:
        print("(%s, every round: %s)" % (r.name, r.rounds))
    for name, times in references:
        print("(reference: %s, every round in seconds: %s)" % (name, " ".join("%.2f" % t for t in times)))


def phase_pings(seen, watched):
    """Ping times inside the phase the markers bound."""
    _, pings, _ = watched
    return [p for t, p in pings if seen["start"] <= t <= seen["end"]]


def measure_first_window(launcher, bare_title, rounds):
    """Seconds from process start to a visible window, alternating the bare
    window, the bare skinned window and the launcher; the launcher's
    configuration is missing, so nothing but start-up runs. Returns the
    three lists in that order."""
    runs = (("bare", [launcher.tool("bare_window.exe"), bare_title], bare_title),
            ("skinned", [launcher.tool("bare_skinned_window.exe"), bare_title], bare_title),
            ("launcher", [launcher.exe], "TovLauncher"))
    times = {who: [] for who, _, _ in runs}
    for _ in range(rounds):
        for who, cmd, title in runs:
            launcher.close_all()
            shutil.rmtree(launcher.install_root, ignore_errors=True)
            watch = launcher.watch(title)
            time.sleep(1.0)  # the watcher is up and polling
            t0 = time.time()
            proc = subprocess.Popen([os.path.join(launcher.build, "wine-run")] + cmd, env=launcher.env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            visible, _, _ = launcher.watched(watch)
            if visible is None:
                raise RuntimeError("%s showed no window" % who)
            times[who].append(visible - t0)
            while launcher.gui("close", title, "-") == 0:
                launcher.gui("gone", title, "-", "5000")
            proc.wait(timeout=60)
    return times["bare"], times["skinned"], times["launcher"]


def first_window_rows(launcher, rounds):
    bare_t, skinned_t, ours_t = measure_first_window(launcher, "BareWindowOfTheBenchmark", rounds)
    floor = ratio_row("skinned floor", skinned_t, bare_t, "bare window", None, False, pick=statistics.median,
                      ours_name="skinned window")
    floor.goal_text = "none: bare_skinned_window against bare"
    return [ratio_row("first window", ours_t, bare_t, "bare window", 1.2, False, pick=statistics.median), floor]


def measure_hung_exit(launcher, server, rounds):
    """Seconds from the close request to the end of the process while the
    telemetry endpoints never answer."""
    server.add_fault("telemetry", hang=True)
    times = []
    try:
        for _ in range(rounds):
            launcher.close_all()
            proc = subprocess.Popen([os.path.join(launcher.build, "wine-run"), launcher.exe], env=launcher.env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if launcher.gui("wait", "TovLauncher", "-", "30000") != 0:
                raise RuntimeError("no window for the exit round")
            time.sleep(2.0)  # the start-up reports are out and held
            # From the moment the close request is posted: the driver's own
            # start under Wine (0.15 s and more) is no part of the exit.
            t0 = time.time()
            asked = launcher.wine(launcher.tool("guidriver.exe"), "close", "TovLauncher", "-")
            posted = re.search(rb"posted (\d+)", asked.stdout)
            if posted:
                t0 = int(posted.group(1)) / 1e6
            proc.wait(timeout=60)
            times.append(time.time() - t0)
    finally:
        server.clear_faults()
    return times


def package_bytes_sent(server):
    """Package bytes in answers of 200 and 206: what went over the line."""
    return sum(r.get("bytes") or 0 for r in server.requests()
               if r.get("route") == "packages" and r.get("status") in (200, 206))


def resume_rows(launcher, server, package, rounds, throttle_mib, judged=True):
    """The download cut once at half against the same download uncut, each
    from the server taking the first package request to "download is
    finish", with the server sending at most `throttle_mib` MiB/s (0: as
    fast as loopback goes). The cut round's time leaves out the pause before
    the retry (from the retry's log line to the resumed answer), which the
    schedule fixes. Unjudged, only the time row, without a goal."""
    url = server.base_url
    size = os.path.getsize(package)
    server.register_package("bench/resume/bm.zip", path=package)
    server.set_config(body="EntryUrl=%s/entry/login.html\nClientVersion=resume\n"
                           "ClientDownloadUrl=%s/packages/bench/{version}/bm.zip\n"
                           "ClientPackageSha256=%s\n" % (url, url, sha256_of(package)))
    times, sent, pauses = ([], []), ([], []), []
    for k in range(rounds):
        for cut in ((False, True) if k % 2 == 0 else (True, False)):
            server.clear_faults()
            server.clear_requests()
            markers = {"end": r"\] download is finish\r\n"}
            pace = {"rate": throttle_mib * MIB} if throttle_mib else {}
            if cut:
                server.add_fault("packages", count=1, cut_after=size // 2, **pace)
            if pace:
                server.add_fault("packages", **pace)
            if cut:
                markers["retry"] = r"\] retry 2 of 6 in "
                markers["resumed"] = r"\] download resumed at %d of %d bytes" % (size // 2, size)
            seen = launcher.run(markers)
            pause = seen["resumed"] - seen["retry"] if cut else 0.0
            if cut:
                pauses.append(pause)
            times[cut].append(seen["end"] - package_asked_at(server) - pause)
            sent[cut].append(package_bytes_sent(server))
    server.clear_faults()
    t0, t1 = statistics.median(times[0]), statistics.median(times[1])
    b0, b1 = statistics.median(sent[0]), statistics.median(sent[1])
    where = "%d MiB/s" % throttle_mib if throttle_mib else "unthrottled"
    goal = ("<= 1.10 (cut less pause / uncut)", t1 / t0 <= 1.1) if judged else (
        "none: a new connection's start costs more under Wine", None)
    timing = Row("cut at 50 %%, %s" % where, t1 / t0, "x  (%.2fs vs %.2fs)" % (t1, t0), goal[0], goal[1],
                 "uncut %s; cut %s; pauses %s" % tuple(" ".join("%.2f" % t for t in ts)
                                                       for ts in (times[0], times[1], pauses)))
    if not judged:
        return [timing]
    return [Row("cut at 50 %%, %d MiB, bytes" % (size // MIB), b1 / b0, "x  (%d vs %d)" % (b1, b0),
                "<= 1.01 (cut / uncut)", b1 / b0 <= 1.01, "uncut %s; cut %s" % (sent[0], sent[1])), timing]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", required=True, help="the Windows build tree")
    ap.add_argument("--work", help="packages and outputs (default <build>/bench-install)")
    ap.add_argument("--download-mib", type=int, default=1024)
    ap.add_argument("--small-files", type=int, default=20000)
    ap.add_argument("--big-mib", type=int, default=512)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--window-rounds", type=int, default=5)
    ap.add_argument("--tools", default=os.path.join(
        os.environ.get("TOV_CACHE_DIR", "/var/cache/tovlauncher"), "bench-tools"),
        help="curl.exe and unzip.exe of scripts/build-bench-tools.sh")
    ap.add_argument("--wine-tools", action="store_true",
                    help="add curl.exe and unzip.exe under Wine as a reference")
    ap.add_argument("--window-only", action="store_true", help="only the first-window rows")
    ap.add_argument("--hash-only", action="store_true",
                    help="only the download with and without a configured SHA-256")
    ap.add_argument("--download-only", action="store_true", help="only the download row")
    ap.add_argument("--resume-mib", type=int, default=256)
    ap.add_argument("--resume-only", action="store_true",
                    help="only the download cut at half against the uncut one")
    ap.add_argument("--throttle-mib", type=int, default=300,
                    help="the SHA-256 figure's server sends at most this many MiB/s "
                         "(300: 2.5 Gbit/s, faster than a player's line; 0: no limit)")
    args = ap.parse_args()

    build = os.path.abspath(args.build)
    work = os.path.abspath(args.work or os.path.join(build, "bench-install"))
    os.makedirs(work, exist_ok=True)
    # The build's channel profile holds the server base it was built with;
    # the loopback server started below reads the same file.
    os.environ["TOV_PROFILE_FILE"] = os.path.join(build, "profile.json")
    profile = launcher_profile.load()
    base = profile["server_base"]
    port = int(re.match(r"https?://[^/:]+:(\d+)", base).group(1))
    prefix = cache_value(build, "TOV_WINEPREFIX")
    launcher = Launcher(build, prefix, profile)
    tools = WineTools(launcher, os.path.abspath(args.tools)) if args.wine_tools else None

    if args.window_only:
        server = LoopbackServer(port=port).start()
        try:
            server.set_config(status=404, body="")
            rows = first_window_rows(launcher, args.window_rounds)
        finally:
            server.stop()
            shutil.rmtree(launcher.install_root, ignore_errors=True)
        return print_rows(rows)
    print("preparing packages in %s ..." % work, flush=True)
    resumable = os.path.join(work, "resume-%dMiB.zip" % args.resume_mib)
    if not os.path.exists(resumable):
        build_large_package(resumable + ".tmp", args.resume_mib * MIB)
        os.replace(resumable + ".tmp", resumable)
    if args.resume_only:
        server = LoopbackServer(port=port).start()
        try:
            rows = (resume_rows(launcher, server, resumable, args.rounds, args.throttle_mib)
                    + resume_rows(launcher, server, resumable, args.rounds, 0, judged=False))
        finally:
            server.stop()
            shutil.rmtree(launcher.install_root, ignore_errors=True)
        return print_rows(rows)
    big = os.path.join(work, "download-%dMiB.zip" % args.download_mib)
    if not os.path.exists(big):
        build_large_package(big + ".tmp", args.download_mib * MIB)
        os.replace(big + ".tmp", big)
    if args.hash_only:
        server = LoopbackServer(port=port).start()
        try:
            row = hashing_row(launcher, server, big, args.rounds, args.throttle_mib)
        finally:
            server.stop()
            shutil.rmtree(launcher.install_root, ignore_errors=True)
        return print_rows([row])
    small = build_small_package(os.path.join(work, "small-%d-files.zip" % args.small_files), args.small_files)
    large = build_big_package(os.path.join(work, "big-%dMiB.zip" % args.big_mib), args.big_mib * MIB)
    manifest = os.path.join(work, "small-%d-files.manifest" % args.small_files)
    write_manifest(small, manifest)

    rows, references, pings, peaks = [], [], [], []
    server = LoopbackServer(port=port).start()
    try:
        url = server.base_url

        def serve(version, path):
            server.register_package("bench/%s/bm.zip" % version, path=path)
            server.set_config(body="EntryUrl=%s/entry/login.html\nClientVersion=%s\n"
                                   "ClientDownloadUrl=%s/packages/bench/{version}/bm.zip\n" % (url, version, url))
            return url + "/packages/bench/%s/bm.zip" % version

        def launcher_round(phase_start, phase_end, times, from_request=False):
            server.clear_requests()
            seen, watched = launcher.run({"start": phase_start, "end": phase_end}, watch=True)
            times.append(seen["end"] - (package_asked_at(server) if from_request else seen["start"]))
            pings.extend(phase_pings(seen, watched))
            if watched[2]:
                peaks.append(watched[2])

        # -- download
        package_url = serve("big", big)
        size = os.path.getsize(big)
        curl_out = os.path.join(work, "curl.zip")
        curl_t, ours_t, wine_t = [], [], []
        for _ in range(args.rounds):
            curl_t.append(timed_download(["curl", "-s", "-o", curl_out, package_url], server))
            check_download(curl_out, size, "curl")
            os.remove(curl_out)
            if tools:
                wine_t.append(tools.timed(tools.curl, "-s", "-o", windows_path(curl_out), package_url))
                check_download(curl_out, size, "curl.exe")
                os.remove(curl_out)
            launcher_round(r"\[CGameRemoteConfig::OnDownLoad::\d+\] http://", r"\] download is finish\r\n",
                           ours_t, from_request=True)
        rows.append(ratio_row("download %d MiB" % args.download_mib, ours_t, curl_t, "curl -o", 0.95, True))
        if tools:
            references.append(("download, curl.exe under Wine", wine_t))
        if args.download_only:
            return print_rows(rows, references)

        unzip_start = r"\[CGameRemoteConfig::OnUnzipFile::\d+\] unzip file:.* begin\r\n"
        unzip_end = r"\[CGameRemoteConfig::OnUnzipFile::\d+\] unzip is finish!\r\n"

        # -- small files against the floor
        serve("small", small)
        with zipfile.ZipFile(small) as zf:
            files = sum(1 for i in zf.infolist() if not i.is_dir())
            unpacked = sum(i.file_size for i in zf.infolist())
        floor_dir = os.path.join(work, "floor-out")
        floor_t, ours_t, unzip_t = [], [], []
        for _ in range(args.rounds):
            shutil.rmtree(floor_dir, ignore_errors=True)
            settle()
            r = launcher.wine(launcher.tool("file_floor.exe"), windows_path(manifest), windows_path(floor_dir),
                              timeout=600)
            m = re.search(rb"^ok files=(\d+) seconds=([\d.]+)", r.stdout, re.M)
            if not m or int(m.group(1)) != files:
                raise RuntimeError("file_floor failed: %r %r" % (r.stdout, r.stderr))
            check_tree(floor_dir, files, unpacked, "file_floor.exe")
            floor_t.append(float(m.group(2)))
            shutil.rmtree(floor_dir, ignore_errors=True)
            out_dir = os.path.join(work, "unzip-out")
            unzip_t.append(timed(["unzip", "-q", "-o", small, "-d", out_dir]))
            check_tree(out_dir, files, unpacked, "unzip")
            shutil.rmtree(out_dir, ignore_errors=True)
            launcher_round(unzip_start, unzip_end, ours_t)
        rows.append(ratio_row("small files, %d" % files, ours_t, floor_t, "floor", 1.1, False))
        references.append(("small files, native unzip", unzip_t))

        # -- the big file against native unzip
        serve("large", large)
        with zipfile.ZipFile(large) as zf:
            unpacked = sum(i.file_size for i in zf.infolist())
        out_dir = os.path.join(work, "unzip-out")
        unzip_t, ours_t, wine_t = [], [], []
        for _ in range(args.rounds):
            shutil.rmtree(out_dir, ignore_errors=True)
            unzip_t.append(timed(["unzip", "-q", "-o", large, "-d", out_dir]))
            check_tree(out_dir, 1, unpacked, "unzip")
            shutil.rmtree(out_dir, ignore_errors=True)
            if tools:
                wine_t.append(tools.timed(tools.unzip, "-q", "-o", windows_path(large), "-d", windows_path(out_dir)))
                check_tree(out_dir, 1, unpacked, "unzip.exe")
                shutil.rmtree(out_dir, ignore_errors=True)
            launcher_round(unzip_start, unzip_end, ours_t)
        rows.append(ratio_row("big file, %d MiB" % args.big_mib, ours_t, unzip_t, "unzip", 1.1, False))
        if tools:
            references.append(("big file, unzip.exe under Wine", wine_t))

        # -- start-up and exit
        server.set_config(status=404, body="")
        rows.extend(first_window_rows(launcher, args.window_rounds))
        exit_t = measure_hung_exit(launcher, server, args.rounds)
        rows.append(Row("exit, hung telemetry", max(exit_t), "s (slowest)", "<= 3.10 s", max(exit_t) <= 3.1,
                        " ".join("%.2f" % t for t in exit_t)))

        # -- checking the package while it downloads: at a fast player's line,
        # and as fast as loopback goes, where the download's thread is busy
        # all the time and the hash's own work shows in full
        rows.append(hashing_row(launcher, server, big, args.rounds, args.throttle_mib))
        rows.extend(resume_rows(launcher, server, resumable, args.rounds, args.throttle_mib))
        rows.extend(resume_rows(launcher, server, resumable, args.rounds, 0, judged=False))
        rows.append(hashing_row(launcher, server, big, args.rounds, 0, judged=False))
    finally:
        server.stop()
        shutil.rmtree(launcher.install_root, ignore_errors=True)

    peak = max(peaks) / MIB if peaks else float("nan")
    rows.append(Row("peak working set", peak, "MiB", "<= 64 MiB", peak <= 64,
                    " ".join("%.1f" % (p / MIB) for p in peaks)))
    p99 = percentile(pings, 0.99) * 1000
    rows.append(Row("ping p99", p99, "ms", "<= 50 ms", p99 <= 50,
                    "%d pings, median %.1f ms, max %.1f ms" % (len(pings), percentile(pings, 0.5) * 1000,
                                                               max(pings, default=float("nan")) * 1000)))

    print_rows(rows, references)


if __name__ == "__main__":
    main()

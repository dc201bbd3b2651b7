"""Throughput of the client update against the usual command-line tools, in
one run, on loopback only.

Download: a 1 GiB package fetched by the real launcher under Wine (panel
updates and all) and by curl. Extraction: a package of 20,000 small files
and one 512 MiB file unpacked by the real launcher and by unzip. Columns:

  baseline, native  `curl -s -o` and `unzip -q -o -d` of the machine; they
                    pay none of Wine's costs per file and per socket, so this
                    is the bound of the machine, not of a Windows program.
  launcher          the release launcher under Wine, timed from outside by
                    the moment its log lines appear (flushed line by line):
                      download:   the package address logged by OnDownLoad
                                  .. "download is finish"
                      extraction: "unzip file:... begin" .. OnUnzipFile's
                                  "unzip is finish!"
  ratio             baseline time / launcher time: above 1, the launcher
                    is faster.
  tool under Wine   the same curl and unzip built for Windows
                    (scripts/build-bench-tools.sh) and run under Wine in the
                    build's prefix, with the launcher's ratio against them.
                    They are timed from process start to exit; what merely
                    starting one costs under Wine is printed below the table.
                    `--no-wine-tools` leaves this column out.
  core, no window   core_bench.exe: the launcher's download and extraction
                    code under Wine without any window, which shows what the
                    panel costs.

Each side runs `--rounds` times, alternating; the best round of each counts.
Every output of the tools is checked against the package, so a failed or
short run cannot pass for a fast one.

Hashing: the download package fetched with and without a ClientPackageSha256
in the configuration, the one hashed as it arrives, by the launcher and by
core_bench.exe, in alternating order; it prints the medians and the share of
the download's time that hashing adds. `--hash-only` runs only this (with
`--download-mib` and `--rounds`); `--throttle-mib N` has the server send at
most N MiB/s, as a player's connection would, instead of as fast as loopback
goes.
"""
import argparse
import hashlib
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
ZIP_TIME = (2024, 1, 1, 0, 0, 0)


def cache_value(build, name):
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith(name + ":"):
                return line.split("=", 1)[1].strip()
    raise SystemExit("%s not in %s/CMakeCache.txt" % (name, build))


def build_extract_package(path, small_files, big_size):
    """Many small text-like files (what a client's scripts and configs look
    like) and one large file of mixed data, deflated."""
    if os.path.exists(path):
        return path
    rng = random.Random(7)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(2000)]
    tmp = path + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as zf:
        for d in range(100):
            zf.writestr(zipfile.ZipInfo("bm/data/%03d/" % d, ZIP_TIME), b"")
        for i in range(small_files):
            text = b" ".join(rng.choice(words) for _ in range(rng.randint(50, 600)))
            info = zipfile.ZipInfo("bm/data/%03d/file%05d.txt" % (i % 100, i), ZIP_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            zf.writestr(info, text)
        info = zipfile.ZipInfo("bm/big.pak", ZIP_TIME)
        info.compress_type = zipfile.ZIP_DEFLATED
        # Half random, half repetitive: neither all stored nor all trivial.
        noise = rng.randbytes(MIB)
        pattern = (b"tile " * (MIB // 5 + 1))[:MIB]
        with zf.open(info, "w", force_zip64=True) as out:
            for k in range(big_size // MIB):
                out.write(noise if k % 2 else pattern)
    os.replace(tmp, path)
    return path


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

    def core(self, *args):
        """core_bench.exe's time in seconds."""
        os.sync()
        r = self.wine(os.path.join(self.build, "tools", "core_bench.exe"), *args, timeout=600)
        m = re.search(rb"^ok .*seconds=([\d.]+)", r.stdout, re.M)
        if not m:
            raise RuntimeError("core_bench failed: %r %r" % (r.stdout, r.stderr))
        return float(m.group(1))

    def gui(self, *args):
        return self.wine(os.path.join(self.build, "tools", "guidriver.exe"), *args).returncode

    def close_all(self):
        while self.gui("close", "TovLauncher", "-") == 0:
            self.gui("gone", "TovLauncher", "-", "5000")

    def run(self, markers, timeout=600):
        """Starts the launcher from an empty InstallRoot and returns the time
        each marker regex first matched the log, then closes it."""
        self.close_all()
        shutil.rmtree(self.install_root, ignore_errors=True)
        # Earlier rounds' gigabytes must not be written back during this one.
        os.sync()
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
                now = time.monotonic()
                if chunk:
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
            self.close_all()
            try:
                proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                proc.kill()
        return seen


def windows_path(path):
    """Wine shows the Unix root as drive Z:."""
    return "Z:" + path.replace("/", "\\")


def timed(cmd):
    os.sync()
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
        os.sync()
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


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(MIB), b""):
            digest.update(block)
    return digest.hexdigest()


def hash_comparison(server, launcher, package, work, rounds, throttle_mib):
    """Seconds of each round: the download by the launcher and by
    core_bench.exe, each without and with the SHA-256 computed as the
    package arrives."""
    url = server.base_url
    server.register_package("bench/hashed/bm.zip", path=package)
    server.clear_faults()
    if throttle_mib:
        server.add_fault("packages", rate=throttle_mib * MIB)
    digest = sha256_of(package)
    plain = ("EntryUrl=%s/entry/login.html\nClientVersion=hashed\n"
             "ClientDownloadUrl=%s/packages/bench/{version}/bm.zip\n" % (url, url))
    package_url = url + "/packages/bench/hashed/bm.zip"
    core_out = os.path.join(work, "core-hashed.zip")
    start = r"\[CGameRemoteConfig::OnDownLoad::\d+\] http://"
    end = r"\] download is finish\r\n"

    def launcher_run(hashed):
        server.set_config(body=plain + ("ClientPackageSha256=%s\n" % digest if hashed else ""))
        markers = {"start": start, "end": end}
        if hashed:  # the check really ran, and passed
            markers["checked"] = r"\] package check passed: SHA-256\r\n"
        seen = launcher.run(markers)
        return seen["end"] - seen["start"]

    def core_run(hashed):
        os.sync()
        r = launcher.wine(os.path.join(launcher.build, "tools", "core_bench.exe"),
                          "download-sha256" if hashed else "download", package_url,
                          windows_path(core_out), timeout=600)
        m = re.search(rb"^ok .*seconds=([\d.]+)(?: sha256=([0-9a-f]+))?", r.stdout, re.M)
        if not m or (hashed and m.group(2).decode() != digest):
            raise RuntimeError("core_bench failed: %r %r" % (r.stdout, r.stderr))
        check_download(core_out, os.path.getsize(package), "core_bench")
        os.remove(core_out)
        return float(m.group(1))

    times = {"launcher": ([], []), "core, no window": ([], [])}
    for k in range(rounds):
        # Each round in the other order, so neither side always runs first.
        for hashed in ((False, True) if k % 2 == 0 else (True, False)):
            times["launcher"][hashed].append(launcher_run(hashed))
            times["core, no window"][hashed].append(core_run(hashed))
    server.clear_faults()
    return times


def print_hash_comparison(times, size, rounds, throttle_mib):
    mib = size / MIB
    print()
    print("download with and without a configured SHA-256: %.0f MiB, %d rounds alternating, "
          "server %s" % (mib, rounds,
                         "at %d MiB/s" % throttle_mib if throttle_mib else "unthrottled"))
    print("%-16s %-20s %-20s %s" % ("", "plain, median", "hashed, median", "hashing adds"))
    for who, (plain, hashed) in times.items():
        p, h = statistics.median(plain), statistics.median(hashed)
        print("%-16s %6.2fs %6.0fMiB/s  %6.2fs %6.0fMiB/s  %+6.1f%%" % (
            who, p, mib / p, h, mib / h, (h / p - 1) * 100))
    for who, (plain, hashed) in times.items():
        print("(%s, every round in seconds: plain %s; hashed %s)" % (
            who, " ".join("%.2f" % t for t in plain), " ".join("%.2f" % t for t in hashed)))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", required=True, help="the Windows build tree")
    ap.add_argument("--work", help="packages and outputs (default <build>/bench-install)")
    ap.add_argument("--download-mib", type=int, default=1024)
    ap.add_argument("--small-files", type=int, default=20000)
    ap.add_argument("--big-mib", type=int, default=512)
    ap.add_argument("--rounds", type=int, default=2)
    ap.add_argument("--tools", default=os.path.join(
        os.environ.get("TOV_CACHE_DIR", "/var/cache/tovlauncher"), "bench-tools"),
        help="curl.exe and unzip.exe of scripts/build-bench-tools.sh")
    ap.add_argument("--no-wine-tools", action="store_true",
                    help="leave out curl.exe and unzip.exe under Wine")
    ap.add_argument("--hash-only", action="store_true",
                    help="only the download with and without a configured SHA-256")
    ap.add_argument("--throttle-mib", type=int, default=0,
                    help="the hashing comparison's server sends at most this many MiB/s")
    args = ap.parse_args()
    if args.hash_only:
        args.no_wine_tools = True

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
    tools = None if args.no_wine_tools else WineTools(launcher, os.path.abspath(args.tools))

    print("preparing packages in %s ..." % work, flush=True)
    big = os.path.join(work, "download-%dMiB.zip" % args.download_mib)
    if not os.path.exists(big):
        build_large_package(big + ".tmp", args.download_mib * MIB)
        os.replace(big + ".tmp", big)
    if not args.hash_only:
        many = build_extract_package(
            os.path.join(work, "extract-%d-files-%dMiB.zip" % (args.small_files, args.big_mib)),
            args.small_files, args.big_mib * MIB)

    server = LoopbackServer(port=port).start()
    try:
        url = server.base_url
        results = {}
        hashing = None
        if args.hash_only:
            hashing = hash_comparison(server, launcher, big, work, args.rounds, args.throttle_mib)
            return print_hash_comparison(hashing, os.path.getsize(big), args.rounds,
                                         args.throttle_mib)

        # -- download
        server.register_package("bench/big/bm.zip", path=big)
        server.set_config(body="EntryUrl=%s/entry/login.html\nClientVersion=big\n"
                               "ClientDownloadUrl=%s/packages/bench/{version}/bm.zip\n" % (url, url))
        size = os.path.getsize(big)
        package_url = url + "/packages/bench/big/bm.zip"
        curl_out = os.path.join(work, "curl.zip")
        curl_t, wine_t, launcher_t = [], [], []
        for _ in range(args.rounds):
            curl_t.append(timed(["curl", "-s", "-o", curl_out, package_url]))
            check_download(curl_out, size, "curl")
            os.remove(curl_out)
            if tools:
                wine_t.append(tools.timed(tools.curl, "-s", "-o", windows_path(curl_out),
                                          package_url))
                check_download(curl_out, size, "curl.exe")
                os.remove(curl_out)
            seen = launcher.run({
                "start": r"\[CGameRemoteConfig::OnDownLoad::\d+\] http://",
                "end": r"\] download is finish\r\n",
            })
            launcher_t.append(seen["end"] - seen["start"])
        core_out = os.path.join(work, "core.zip")
        core_dl = launcher.core("download", package_url, windows_path(core_out))
        os.remove(core_out)
        results["download"] = (size, "curl -o", curl_t, launcher_t, wine_t, core_dl)

        # -- extraction
        server.register_package("bench/many/bm.zip", path=many)
        server.set_config(body="EntryUrl=%s/entry/login.html\nClientVersion=many\n"
                               "ClientDownloadUrl=%s/packages/bench/{version}/bm.zip\n" % (url, url))
        with zipfile.ZipFile(many) as zf:
            unpacked = sum(i.file_size for i in zf.infolist())
            entries = len(zf.infolist())
            files = sum(1 for i in zf.infolist() if not i.is_dir())
        out_dir = os.path.join(work, "unzip-out")
        unzip_t, wine_t, launcher_t = [], [], []
        for _ in range(args.rounds):
            shutil.rmtree(out_dir, ignore_errors=True)
            unzip_t.append(timed(["unzip", "-q", "-o", many, "-d", out_dir]))
            check_tree(out_dir, files, unpacked, "unzip")
            shutil.rmtree(out_dir, ignore_errors=True)
            if tools:
                wine_t.append(tools.timed(tools.unzip, "-q", "-o", windows_path(many),
                                          "-d", windows_path(out_dir)))
                check_tree(out_dir, files, unpacked, "unzip.exe")
                shutil.rmtree(out_dir, ignore_errors=True)
            seen = launcher.run({
                "start": r"\[CGameRemoteConfig::OnUnzipFile::\d+\] unzip file:.* begin\r\n",
                "end": r"\[CGameRemoteConfig::OnUnzipFile::\d+\] unzip is finish!\r\n",
            })
            launcher_t.append(seen["end"] - seen["start"])
        core_dir = os.path.join(work, "core-out")
        shutil.rmtree(core_dir, ignore_errors=True)
        core_x = launcher.core("extract", windows_path(many), windows_path(core_dir))
        shutil.rmtree(core_dir, ignore_errors=True)
        results["extraction"] = (unpacked, "unzip", unzip_t, launcher_t, wine_t, core_x)

        # -- hashing while downloading
        hashing = hash_comparison(server, launcher, big, work, args.rounds, args.throttle_mib)
    finally:
        server.stop()
        shutil.rmtree(launcher.install_root, ignore_errors=True)

    def rate(seconds, mib):
        return "%6.2fs %5.0fMiB/s" % (seconds, mib / seconds)

    print()
    print("%-11s %6s  %-25s  %-18s  %6s  %-25s  %s" % (
        "phase", "MiB", "baseline, native", "launcher", "ratio", "tool under Wine, ratio",
        "core, no window"))
    for phase, (nbytes, tool, base_all, ours_all, wine_all, core_t) in results.items():
        base_t, ours_t = min(base_all), min(ours_all)
        wine_t = min(wine_all) if wine_all else None
        mib = nbytes / MIB
        wine = "%s %6.2f" % (rate(wine_t, mib), wine_t / ours_t) if wine_t else "-"
        print("%-11s %6.0f  %-7s%s  %s  %6.2f  %-25s  %s" % (
            phase, mib, tool, rate(base_t, mib), rate(ours_t, mib), base_t / ours_t, wine,
            rate(core_t, mib)))
    print("(extraction: %d entries; best of %d rounds each; ratio: tool time / launcher time)"
          % (entries, args.rounds))
    # The best round hides how much a busy machine moves the figures.
    for phase, (_, tool, base_all, ours_all, wine_all, _) in results.items():
        rounds = [(tool, base_all), ("launcher", ours_all)]
        if wine_all:
            rounds.append(("under Wine", wine_all))
        print("(%s, every round in seconds: %s)" % (phase, "; ".join(
            "%s %s" % (name, " ".join("%.2f" % t for t in times)) for name, times in rounds)))
    if tools:
        print("(tools under Wine timed from start to exit; a run that only prints the version "
              "takes %s)" % ", ".join("%.2fs for %s" % (t, n)
                                      for n, t in sorted(tools.start_cost.items())))
    print_hash_comparison(hashing, results["download"][0], args.rounds, args.throttle_mib)


if __name__ == "__main__":
    main()

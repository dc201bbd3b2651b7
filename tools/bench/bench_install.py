"""Throughput of the client update against the usual command-line tools, in
one run, on loopback only.

Download: a 1 GiB package fetched by the real launcher under Wine (panel
updates and all) and by `curl -o`. Extraction: a package of 20,000 small
files and one 512 MiB file unpacked by the real launcher and by `unzip`.
The launcher's phases are timed from outside by the moment its log lines
appear (the log is flushed line by line):

  download:   the package address logged by OnDownLoad .. "download is finish"
  extraction: "unzip file:... begin" .. OnUnzipFile's "unzip is finish!"

Each side runs `--rounds` times, alternating; the best round of each counts.
For reference, core_bench.exe times the same download and extraction code
under Wine without any window, which shows what the panel costs.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "loopback"))
from client import LoopbackServer, build_large_package  # noqa: E402

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

    def __init__(self, build, prefix):
        self.build = build
        self.prefix = prefix
        self.exe = os.path.join(build, "src", "TovLauncher.exe")
        self.install_root = os.path.join(prefix, "drive_c", "bm-webvarn")
        self.log = os.path.join(self.install_root, "TovLauncher.log")
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


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", required=True, help="the Windows build tree")
    ap.add_argument("--work", help="packages and outputs (default <build>/bench-install)")
    ap.add_argument("--download-mib", type=int, default=1024)
    ap.add_argument("--small-files", type=int, default=20000)
    ap.add_argument("--big-mib", type=int, default=512)
    ap.add_argument("--rounds", type=int, default=2)
    args = ap.parse_args()

    build = os.path.abspath(args.build)
    work = os.path.abspath(args.work or os.path.join(build, "bench-install"))
    os.makedirs(work, exist_ok=True)
    base = cache_value(build, "TOV_SERVER_BASE")
    port = int(re.match(r"https?://[^/:]+:(\d+)", base).group(1))
    prefix = cache_value(build, "TOV_WINEPREFIX")
    launcher = Launcher(build, prefix)

    print("preparing packages in %s ..." % work, flush=True)
    big = os.path.join(work, "download-%dMiB.zip" % args.download_mib)
    if not os.path.exists(big):
        build_large_package(big + ".tmp", args.download_mib * MIB)
        os.replace(big + ".tmp", big)
    many = build_extract_package(
        os.path.join(work, "extract-%d-files-%dMiB.zip" % (args.small_files, args.big_mib)),
        args.small_files, args.big_mib * MIB)

    server = LoopbackServer(port=port).start()
    try:
        url = server.base_url
        results = {}

        # -- download
        server.register_package("bench/big/bm.zip", path=big)
        server.set_config(body="EntryUrl=%s/entry/login.html\nClientVersion=big\n"
                               "ClientDownloadUrl=%s/packages/bench/{version}/bm.zip\n" % (url, url))
        size = os.path.getsize(big)
        curl_out = os.path.join(work, "curl.zip")
        curl_t, launcher_t = [], []
        for _ in range(args.rounds):
            curl_t.append(timed(["curl", "-s", "-o", curl_out, url + "/packages/bench/big/bm.zip"]))
            os.remove(curl_out)
            seen = launcher.run({
                "start": r"\[CGameRemoteConfig::OnDownLoad::\d+\] http://",
                "end": r"\] download is finish\r\n",
            })
            launcher_t.append(seen["end"] - seen["start"])
        core_out = os.path.join(work, "core.zip")
        core_dl = launcher.core("download", url + "/packages/bench/big/bm.zip", windows_path(core_out))
        os.remove(core_out)
        results["download"] = (size, min(curl_t), min(launcher_t), "curl -o", core_dl)

        # -- extraction
        server.register_package("bench/many/bm.zip", path=many)
        server.set_config(body="EntryUrl=%s/entry/login.html\nClientVersion=many\n"
                               "ClientDownloadUrl=%s/packages/bench/{version}/bm.zip\n" % (url, url))
        with zipfile.ZipFile(many) as zf:
            unpacked = sum(i.file_size for i in zf.infolist())
            entries = len(zf.infolist())
        out_dir = os.path.join(work, "unzip-out")
        unzip_t, launcher_t = [], []
        for _ in range(args.rounds):
            shutil.rmtree(out_dir, ignore_errors=True)
            unzip_t.append(timed(["unzip", "-q", "-o", many, "-d", out_dir]))
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
        results["extraction"] = (unpacked, min(unzip_t), min(launcher_t), "unzip", core_x)
    finally:
        server.stop()
        shutil.rmtree(launcher.install_root, ignore_errors=True)

    print()
    print("%-11s %6s %22s %22s %7s %22s" % ("phase", "MiB", "baseline", "launcher", "ratio",
                                             "core, no window"))
    for phase, (nbytes, base_t, ours_t, tool, core_t) in results.items():
        mib = nbytes / MIB
        print("%-11s %6.0f %7s %5.2fs %5.0fMiB/s %6.2fs %5.0fMiB/s %7.2f %6.2fs %5.0fMiB/s" % (
            phase, mib, tool, base_t, mib / base_t, ours_t, mib / ours_t, base_t / ours_t,
            core_t, mib / core_t))
    print("(extraction: %d entries; best of %d rounds each; launcher under Wine, tools native)"
          % (entries, args.rounds))


if __name__ == "__main__":
    main()

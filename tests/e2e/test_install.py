"""The client update end to end: a first install from nothing, a second
start that finds the client current, and the ways a download or a package
can go wrong, each checked by its panel text, log lines, reports and what it
leaves on disk."""
import hashlib
import io
import os
import re
import shutil
import socket
import struct
import unittest
import urllib.parse
import zipfile

import harness
from harness import STAMP, UNINSTALL_KEY, UNINSTALL_NAME, DEMO_DATA_NAME, DEMO_DATA

VERSION = "1.0.0.1"
PACKAGE = "%s/%s/bm.zip" % (harness.CHANNEL, VERSION)
FAILURE = "更新失败,请检查网络"
DONE = "更新已完成"
DOWNLOADING = "正在下载："
UNPACKING = "正在解压："
PROGRESS, PERCENT, PHASE, STATUS = "1000", "1001", "1002", "1003"
ZIP_TIME = (2024, 1, 1, 0, 0, 0)

DECIDE = "CGameRemoteConfig::InitRemoteConfig"
CONVERT = "CGameRemoteConfig::CStringToLocalClientVersion"
DOWNLOAD = "CGameRemoteConfig::OnDownLoad"
UNZIP = "CGameRemoteConfig::OnUnzipFile"
READY = "CWebCDlg::SetReady"

HASH_MISMATCH = "package check: the package's SHA-256 differs from ClientPackageSha256 (package: %s)"
SIGNATURE_REFUSED = ("package check: ClientPackageSignature is not a signature of "
                     "ClientPackageSha256 by the built-in key")
SEAL_SIGNATURE = "configuration refused: ConfigSignature is not a signature of the body by a built-in key"
CHANNEL = "ConfigChannel=" + harness.CHANNEL


def build_zip(entries, zip64=False):
    """An archive of (name, data) in this order; data None makes a directory
    entry. zip64 writes every size and offset in the 64-bit records, as
    tools do for packages over 4 GiB."""
    path = os.path.join(harness.BUILD_DIR, "e2e-install-package.zip")
    saved = zipfile.ZIP64_LIMIT
    if zip64:
        zipfile.ZIP64_LIMIT = 0
    try:
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as zf:
            for name, data in entries:
                info = zipfile.ZipInfo(name, ZIP_TIME)
                info.compress_type = zipfile.ZIP_STORED if data is None else zipfile.ZIP_DEFLATED
                zf.writestr(info, b"" if data is None else data)
    finally:
        zipfile.ZIP64_LIMIT = saved
    with open(path, "rb") as f:
        data = f.read()
    os.remove(path)
    return data


def empty_zip():
    return b"PK\x05\x06" + b"\x00" * 18


class InstallTest(unittest.TestCase):
    def setUp(self):
        harness.require_environment(self)
        harness.close_windows(harness.MAIN)
        harness.forget_install()
        self.server = harness.start_server(self)
        self.procs = []

    def tearDown(self):
        harness.end_run(self.procs)

    # -- helpers

    def configure(self, minimum=VERSION, package=None, extra=(), signed=None, body=None, **fault):
        """`signed`: (private key, sequence) seals the body; `body`: bytes served instead."""
        text = harness.config_body(self.server.base_url, VERSION, minimum, extra=extra)
        body = harness.sign_config(*signed, text) if signed else body
        self.server.set_config(**({"body": text} if body is None else {"body_bytes": body}))
        if package is None:
            package = harness.demo_package()
        self.server.register_package(PACKAGE, data=package)
        self.package_size = len(package)
        if fault:
            self.server.add_fault("packages", **fault)

    def fresh_row(self):
        """A table row starts with no launcher, no install and a quiet server."""
        harness.close_windows(harness.MAIN)
        harness.forget_install()
        self.server.clear_records()
        self.server.clear_faults()

    def launch(self, test_build=True, env=None):
        copy = harness.launcher_copy(
            self, source=harness.TEST_LAUNCHER_EXE if test_build else harness.LAUNCHER_EXE)
        proc = copy.start(env=env)
        self.procs.append(proc)
        harness.wait_main_window(self, proc)
        return copy, proc

    def finish(self, proc):
        harness.close_main_window(self, proc)

    def lines(self):
        """(level, operation, message) of every log line so far."""
        log = harness.read_log() or ""
        out = []
        for level, op, msg in re.findall(
                STAMP + r"\[(INFO|ERROR)\]\[([A-Za-z:]+)::\d+\](?: |\[)(.*?)\]?\r\n", log, re.S):
            out.append((level, op, msg))
        return out

    def wait_end(self, timeout=30):
        """Waits for the worker's last line: the install, the up-to-date
        ending or the failure."""
        ends = {("INFO", DOWNLOAD, "unzip is finish!"), ("INFO", DECIDE, "update finish!"),
                ("ERROR", DECIDE, "download error")}
        found = harness.wait_for(lambda: ends & set(self.lines()), timeout)
        self.assertTrue(found, "the worker did not end:\n" + (harness.read_log() or ""))
        return found.pop()

    def of(self, *operations):
        return [(level, msg) for level, op, msg in self.lines() if op in operations]

    def panel(self):
        """The four provisioning controls: id -> (visible, text, position)."""
        owned = harness.owned_windows()
        controls = {i: (c[1] == "visible", c[2], c[3]) for i, c in (owned[1] if owned else {}).items()
                    if i in (PROGRESS, PERCENT, PHASE, STATUS) and len(c) >= 4}
        return controls if len(controls) == 4 else None

    def final_panel(self, status):
        panel = harness.wait_for(lambda: (p := self.panel()) and p[STATUS][:2] == (True, status)
                                 and p, 10)
        self.assertTrue(panel, "panel status is not %r: %r" % (status, self.panel()))
        self.assertFalse(panel[PROGRESS][0] or panel[PHASE][0] or panel[PERCENT][0], panel)
        return panel

    def sample_panel_until_end(self):
        """Distinct panel states seen while the worker runs. The driver reads
        the controls one after the other (bar, phase, percentage, status),
        so a read that an update falls into has the earlier state's bar and
        phase beside the later state's percentage and status."""
        seen = []
        while not self.ended():
            p = self.panel()
            if p and (not seen or seen[-1] != p):
                seen.append(p)
        return seen

    def ended(self):
        return {("INFO", DOWNLOAD, "unzip is finish!"), ("INFO", DECIDE, "update finish!"),
                ("ERROR", DECIDE, "download error")} & set(self.lines())

    def reports(self):
        """(endpoint, action or decoded text) of the reports after start-up's."""
        out = []
        for r in self.server.records():
            query = r["query_bytes"].decode("latin-1") if "query_bytes" in r else r["query"]
            if r["endpoint"] == "event":
                m = re.search(r"&ac=(\w+)$", query)
                out.append(("event", m.group(1) if m else ""))
            else:
                m = re.search(r"&error_msg=(.*)$", query)
                out.append(("error", urllib.parse.unquote(m.group(1)) if m else None))
        return [r for r in out if r not in (("event", "create"), ("error", "launcher start"))]

    def wait_reports(self, expected):
        got = harness.wait_for(lambda: sorted(self.reports()) == sorted(expected) or None, 10)
        self.assertTrue(got, "reports %r, expected %r" % (self.reports(), expected))

    def package_requests(self):
        return [(r.get("status"), r.get("outcome"), r.get("bytes")) for r in self.server.requests()
                if r.get("route") in ("package", "packages", "files")]

    def archive(self):
        path = harness.install_root("bm.zip")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def client_file(self, relative):
        path = harness.install_root("client", *relative.split("/"))
        if not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def address(self):
        return self.server.base_url + "/packages/" + PACKAGE

    def expect_download_failure(self, proc, refused=None, timeout=30):
        """The transfer failed, or with `refused` (the ERROR line's text) a
        check refused the package: then it is deleted and nothing of it is
        unpacked."""
        self.assertEqual(self.wait_end(timeout), ("ERROR", DECIDE, "download error"))
        if refused is None:
            self.assertEqual(self.of(DOWNLOAD)[-1], ("INFO", "download is error!"))
        else:
            self.assertEqual(self.of(DOWNLOAD)[-2:], [("ERROR", refused),
                                                      ("INFO", "download is error!")])
            self.assertIsNone(self.archive())
            self.assertEqual(os.listdir(harness.install_root("client")), [])
        self.assertNotIn(("INFO", "download is finish"), self.of(DOWNLOAD))
        self.assertEqual(self.of(UNZIP), [])
        self.expect_not_installed()
        self.final_panel(FAILURE)
        self.wait_reports([("event", "download_start"),
                           ("error", "game download start, download url:" + self.address()),
                           ("error", "game download failed")])
        self.finish(proc)

    def expect_unzip_failure(self, proc, error):
        """The package arrived whole and was refused while unpacking; the
        archive stays for a look."""
        self.assertEqual(self.wait_end(), ("ERROR", DECIDE, "download error"))
        self.assertIn(("ERROR", error), self.of(UNZIP))
        self.assertNotIn(("INFO", "unzip is finish!"), self.of(UNZIP))
        self.assertEqual(self.of(DOWNLOAD)[-2:], [("INFO", "download is finish"),
                                                  ("INFO", "unzip is error!")])
        self.expect_not_installed()
        self.final_panel(FAILURE)
        self.wait_reports([("event", "download_start"), ("event", "unzip_start"),
                           ("error", "game download start, download url:" + self.address()),
                           ("error", "game download success"),
                           ("error", "game unzip start"),
                           ("error", "game unzip failed")])
        self.finish(proc)

    def client_listing(self):
        """Every path below the client directory, "/"-separated."""
        top = harness.install_root("client")
        return sorted(os.path.relpath(os.path.join(d, n), top).replace(os.sep, "/")
                      for d, dirs, files in os.walk(top) for n in dirs + files)

    def plant_version(self, text):
        os.makedirs(harness.install_root("client"), exist_ok=True)
        with open(harness.install_root("client", "game_client_version.txt"), "wb") as f:
            f.write(text)

    def expect_refused_before_writing(self, package, error):
        """The package is refused whole: nothing of it is written, not even
        the entries before the one at fault."""
        self.configure(package=package)
        _, proc = self.launch()
        self.expect_unzip_failure(proc, error)
        self.assertEqual(self.client_listing(), [])
        # Only the archive's own line: no entry was begun.
        self.assertEqual([m for _, m in self.of(UNZIP) if not m.startswith("unzip file:")], [error])

    def expect_not_installed(self):
        self.assertIsNone(self.client_file("game_client_version.txt"))
        self.assertFalse(os.path.exists(harness.install_root(harness.INSTALLED_LAUNCHER)))
        self.assertNotIn(READY, [op for _, op, _ in self.lines()])
        self.assertNotEqual(harness.wine(["reg", "query", UNINSTALL_KEY]).returncode, 0)

    def expect_installed(self, proc, files, timeout=30):
        self.assertEqual(self.wait_end(timeout), ("INFO", DOWNLOAD, "unzip is finish!"))
        self.assertIsNone(self.archive())
        self.assertEqual(self.client_file("game_client_version.txt"), VERSION.encode())
        for name, data in files.items():
            self.assertEqual(self.client_file(name), data, name)
        self.final_panel(DONE)
        self.finish(proc)

    # -- first install and the start after it

    def test_first_install_from_nothing_then_a_start_that_finds_the_client_current(self):
        self.configure()
        # Slow enough (about 5 s) that the download can be watched in the panel.
        self.server.add_fault("packages", rate=self.package_size // 5)
        copy, proc = self.launch(test_build=False)
        seen = self.sample_panel_until_end()
        self.assertEqual(self.wait_end(), ("INFO", DOWNLOAD, "unzip is finish!"))

        # The panel: the download with a rising percentage, the count of
        # entries after it, then the status text alone.
        downloading = [p for p in seen if p[PHASE][1] == DOWNLOADING and p[PROGRESS][0]]
        self.assertGreater(len(downloading), 1, seen)
        positions = [int(p[PROGRESS][2]) for p in downloading]
        self.assertEqual(positions, sorted(positions), seen)
        # A sample may fall between a text change and the showing that
        # follows it, and reads the controls one after the other.
        percents = [int(p[PERCENT][1][:-1]) for p in downloading if p[PERCENT][1].endswith("%")]
        self.assertEqual(percents, sorted(percents), seen)
        self.assertGreater(max(percents), 0, seen)
        self.assertTrue(all(not p[STATUS][0] for p in downloading), seen)
        first_unpack = next((i for i, p in enumerate(seen) if p[PHASE][1] == UNPACKING), len(seen))
        # Before the worker's first report the panel shows none of its four
        # controls (the engine may hold the window's thread a while as it
        # navigates); from that report on, the phase says downloading.
        first_shown = next((i for i, p in enumerate(seen) if any(c[0] for c in p.values())), 0)
        self.assertTrue(all(not any(c[0] for c in p.values()) for p in seen[:first_shown]), seen)
        self.assertTrue(all(p[PHASE][1] == DOWNLOADING for p in seen[first_shown:first_unpack]), seen)
        panel = self.final_panel(DONE)
        self.assertEqual(panel[PHASE][1], UNPACKING)
        self.assertEqual(panel[PROGRESS][2], "0")

        # The log, in order.
        root = harness.INSTALL_ROOT
        address = self.address()
        self.assertEqual(self.of(DECIDE, CONVERT)[-2:], [
            ("INFO", root + "\\client\\game_client_version.txt"),
            ("INFO", "local_client_version:" + VERSION),  # the minimum; no local file
        ])
        self.assertEqual(self.of(DOWNLOAD, UNZIP, READY), [
            ("INFO", "OnDownLoad begin"),
            ("INFO", root + "\\bm.zip"),
            ("INFO", address),
            ("INFO", "direct"),
            ("INFO", "download is finish"),
            ("INFO", "unzip file:" + root + "\\bm.zip begin"),
            # The demo package: the game's folder, its executable, a data
            # folder and the file in it.
            ("INFO", harness.PROFILE["game_folder"] + "/"), ("INFO", harness.GAME_IN_CLIENT),
            ("INFO", DEMO_DATA_NAME.rpartition("/")[0] + "/"), ("INFO", DEMO_DATA_NAME),
            ("INFO", "unzip is finish!"),
            ("INFO", "C:" + copy.exe[len(harness.drive_c()):].replace("/", "\\")),
            ("INFO", "is ready"),
            ("INFO", "unzip is finish!"),
        ])
        self.wait_reports([("event", "download_start"), ("event", "unzip_start"), ("event", ""),
                           ("error", "game download start, download url:" + address),
                           ("error", "game download success"),
                           ("error", "game unzip start"),
                           ("error", "game unzip success")])

        # What the install left: the client, its version, the launcher copy,
        # links and the uninstall entry; no archive.
        self.assertIsNone(self.archive())
        self.assertEqual(self.client_file("game_client_version.txt"), VERSION.encode())
        with open(harness.DEMO_CLIENT, "rb") as f:
            self.assertEqual(self.client_file(harness.GAME_IN_CLIENT), f.read())
        self.assertEqual(self.client_file(DEMO_DATA_NAME), DEMO_DATA)
        with open(harness.LAUNCHER_EXE, "rb") as a, open(harness.install_root(harness.INSTALLED_LAUNCHER), "rb") as b:
            self.assertEqual(a.read(), b.read())
        installed = root + "\\" + harness.INSTALLED_LAUNCHER
        for path, arguments in ((os.path.join(harness.START_MENU_APPS, harness.GAME + ".lnk"), ""),
                                (os.path.join(harness.START_MENU_APPS, UNINSTALL_NAME + ".lnk"),
                                 "/uninstall"),
                                (harness.DESKTOP_LINK, ""),
                                (harness.install_root(UNINSTALL_NAME + ".lnk"), "/uninstall")):
            self.assertEqual(harness.read_link(path), harness.link_to(installed, arguments), path)
        self.assertRegex(harness.reg_query(UNINSTALL_KEY), r"UninstallString\s+REG_SZ\s+"
                         + re.escape(harness.ansi_form(harness.uninstall_command(installed), "OEMCP")))
        self.assertEqual(len([r for r in self.package_requests()]), 1)
        self.finish(proc)

        # Second start: the version file says 1.0.0.1, the minimum too.
        requests_before = len(self.package_requests())
        self.server.clear_records()
        copy2, proc = self.launch(test_build=False)
        self.assertEqual(self.wait_end(), ("INFO", DECIDE, "update finish!"))
        self.assertEqual(self.of(DECIDE, CONVERT, READY, DOWNLOAD)[-7:], [
            ("INFO", root + "\\client\\game_client_version.txt"),
            ("INFO", "local_client_version:" + VERSION),
            ("INFO", "local_client_version:" + VERSION),
            ("INFO", "work_path:C:" + copy2.exe[len(harness.drive_c()):].replace("/", "\\")),
            ("INFO", "dest_path:" + installed),
            ("INFO", "is ready"),
            ("INFO", "update finish!"),
        ])
        self.assertEqual(self.of(DOWNLOAD), [])
        self.assertEqual(len(self.package_requests()), requests_before)
        self.final_panel(DONE)
        self.assertEqual(self.reports(), [])
        self.assertEqual(harness.read_link(harness.DESKTOP_LINK), harness.link_to(installed))
        self.finish(proc)

    def test_without_a_configured_minimum_an_installed_client_is_fetched_again(self):
        os.makedirs(harness.install_root("client"))
        with open(harness.install_root("client", "game_client_version.txt"), "wb") as f:
            f.write(b"99.0.0.0\r\n")
        self.configure(minimum=None)
        _, proc = self.launch()
        self.wait_end()
        # Text mode reads CR LF as LF, which stays in the text and ends up as
        # an empty line in the log; no minimum is converted.
        self.assertEqual(self.of(CONVERT), [("INFO", "local_client_version:99.0.0.0")])
        self.assertRegex(harness.read_log(), CONVERT + r"::\d+\] local_client_version:99\.0\.0\.0\r\n\r\n")
        self.expect_installed(proc, {DEMO_DATA_NAME: DEMO_DATA})

    # -- the transfer

    def test_final_404_fails_and_leaves_the_body_it_wrote(self):
        self.configure(status=404)
        _, proc = self.launch()
        self.expect_download_failure(proc)
        self.assertTrue(self.archive(), "the 404 body stays in the archive")
        self.assertEqual(len(self.package_requests()), 1, "a 404 is not tried again")

    def test_302_to_the_package_installs(self):
        self.configure(redirect=302)
        _, proc = self.launch()
        self.expect_installed(proc, {DEMO_DATA_NAME: DEMO_DATA})
        self.assertEqual([o for _, o, _ in self.package_requests()], ["redirect", "complete"])

    def test_without_a_length_the_bar_stays_at_zero(self):
        self.configure()
        self.server.add_fault("packages", chunked=True, rate=self.package_size // 3)
        _, proc = self.launch()
        seen = self.sample_panel_until_end()
        downloading = [p for p in seen if p[PHASE][1] == DOWNLOADING]
        self.assertTrue(downloading, seen)
        for p in downloading:
            # An unpacking count ("1/4") beside the download's phase was read
            # after the update that ended the download.
            percent = p[PERCENT][1]
            self.assertEqual((p[PROGRESS][2], "0%" if "/" in percent else percent), ("0", "0%"), p)
        self.expect_installed(proc, {DEMO_DATA_NAME: DEMO_DATA})

    def test_more_bytes_than_announced_end_at_100_and_the_cut_archive_is_refused(self):
        package = build_zip([("bm/", None), ("bm/a.txt", os.urandom(200_000))])
        announced = len(package) // 2
        # libcurl stops reading at the announced length, so the archive is
        # cut short of its directory even though the transfer "succeeded".
        self.configure(package=package, announce=announced, rate=100_000)
        _, proc = self.launch()
        seen = self.sample_panel_until_end()
        shown = [int(p[PROGRESS][2]) for p in seen if p[PHASE][1] == DOWNLOADING]
        self.assertTrue(shown and max(shown) <= 100 and shown == sorted(shown), seen)
        self.expect_unzip_failure(proc, "zipfile is NULL!")
        self.assertEqual(len(self.archive()), announced)

    def test_cut_connection_fails_with_the_partial_archive_left(self):
        # A server without ranges: every one of the six attempts starts over.
        self.configure(cut_after=50_000, ranges=False)
        _, proc = self.launch()
        self.expect_download_failure(proc)
        self.assertEqual(len(self.archive()), 50_000)
        self.assertEqual([o for _, o, _ in self.package_requests()], ["cut"] * 6)

    def test_stalled_transfer_ends_in_a_failure(self):
        self.configure(stall_after=30_000, ranges=False)
        _, proc = self.launch()  # the test build gives up after 2 s of silence
        self.expect_download_failure(proc, timeout=60)  # six times
        self.assertEqual(len(self.archive()), 30_000)
        self.assertEqual([o for _, o, _ in self.package_requests()], ["stall_ended"] * 6)

    def test_a_weak_connection_still_installs_the_package_byte_exact(self):
        # TOV_WEAK_PACKAGE_MIB=256 runs the table with a package of that size
        # (by hand: the test command keeps it small).
        mib = float(os.environ.get("TOV_WEAK_PACKAGE_MIB") or 0)
        payload, wait = int(mib * (1 << 20)) or 400_000, 30 + mib
        data = os.urandom(payload)
        package = build_zip([("bm/", None), ("bm/data.bin", data)])
        other = build_zip([("bm/", None), ("bm/data.bin", os.urandom(payload))])
        self.assertEqual(len(package), len(other))
        size, half, fifth = len(package), len(package) // 2, len(package) // 5
        digest = ["ClientPackageSha256=" + hashlib.sha256(package).hexdigest()]
        mirror = harness.LoopbackServer(port=0).start()
        self.addCleanup(mirror.stop)
        mirror_line = "ClientDownloadUrl2=%s/packages/{ditch_name}/{version}/bm.zip" % mirror.base_url
        cut_once = dict(count=1, cut_after=half)
        resumed = "download resumed at %d of %d bytes" % (half, size)
        rows = [
            # (case, package faults, configuration lines, log lines, bytes sent, a second start)
            ("cut once at half", [cut_once], [], [resumed, "retry 2 of 6 in"], size, False),
            ("cut every fifth, four times", [dict(count=4, cut_after=fifth)], [],
             ["download resumed at %d of %d bytes" % (4 * fifth, size)], size, False),
            ("a server without ranges", [cut_once, dict(ranges=False)], [], [], half + size, False),
            ("a changed ETag", [cut_once, dict(etag='"changed"')], [], [], half + size, False),
            ("503 with Retry-After", [dict(count=2, status=503, headers={"Retry-After": "2"})], [],
             ["retry 2 of 6 in 0.1 s: HTTP 503", "retry 3 of 6 in"], size, False),
            ("connections reset for a second", [dict(refuse=True, for_seconds=1.0)], [],
             ["retry 2 of 6 in"], size, False),
            ("joined from two packages under one ETag",
             [dict(cut_once, serve="other.zip", etag='"same"'), dict(etag='"same"')], digest,
             [resumed, "resumed package refused, downloading it again from the start"], 2 * size, False),
            # The first start fails (503 after the cut) and keeps its half,
            # which the second reads back into the SHA-256 before the rest.
            ("cut, closed and started again", [cut_once, dict(status=503)], digest,
             [resumed, "package check passed: SHA-256"], size, True),
            ("a dead first host", [], ["ClientDownloadUrl=http://127.0.0.1:%d/bm.zip" % unused_port(),
                                        mirror_line], ["switching to mirror 2"], size, False),
        ]
        for case, faults, lines, logged, sent, restart in rows:
            with self.subTest(case):
                self.fresh_row()
                self.server.clear_requests()
                mirror.clear_requests()
                self.configure(package=package, extra=lines)
                if any(line.startswith("ClientDownloadUrl=") for line in lines):
                    body = harness.config_body(self.server.base_url, VERSION, VERSION, extra=lines)
                    self.server.set_config(body=re.sub(r"ClientDownloadUrl=.*\n", "", body, count=1))
                self.server.register_package("other.zip", data=other)
                mirror.register_package(PACKAGE, data=package)
                for fault in faults:
                    self.server.add_fault("packages", **fault)
                if restart:
                    _, proc = self.launch()
                    self.expect_download_failure(proc, timeout=wait)
                    self.assertEqual(len(self.archive()), half)
                    self.server.clear_faults()
                    self.server.clear_records()
                _, proc = self.launch()
                address = self.address() if "ClientDownloadUrl=" not in "".join(lines) else \
                    lines[0].partition("=")[2]
                self.expect_installed(proc, {"bm/data.bin": data}, wait)
                messages = [m for _, m in self.of(DOWNLOAD)]
                for line in logged:
                    self.assertTrue(any(m.startswith(line) for m in messages), (line, messages))
                # Package data only, not the bodies of error answers.
                bytes_sent = sum(b or 0 for s, _, b in self.package_requests() + [
                    (r.get("status"), None, r.get("bytes")) for r in mirror.requests()
                    if r.get("route") == "packages"] if s in (200, 206))
                self.assertEqual(bytes_sent, sent)
                self.wait_reports([("event", "download_start"), ("event", "unzip_start"), ("event", ""),
                                   ("error", "game download start, download url:" + address),
                                   ("error", "game download success"),
                                   ("error", "game unzip start"),
                                   ("error", "game unzip success")])
                self.assertFalse(os.path.exists(harness.install_root("bm.zip.state")))

    # -- the package

    def test_something_that_is_no_archive_is_refused(self):
        self.configure(package=os.urandom(4096))
        _, proc = self.launch()
        self.expect_unzip_failure(proc, "zipfile is NULL!")
        self.assertEqual(len(self.archive()), 4096)

    def test_checksum_mismatch_fails_after_the_entries_before_it(self):
        marker = b"checksummed data " * 64
        stored = build_stored_with_bad_crc([("bm/", None), ("bm/first.txt", b"first"),
                                            ("bm/second.txt", marker)], "bm/second.txt")
        self.configure(package=stored)
        _, proc = self.launch()
        target = harness.INSTALL_ROOT + "\\client\\bm/second.txt"
        self.expect_unzip_failure(proc, "crc error: " + target)
        self.assertEqual(self.client_file("bm/first.txt"), b"first")

    def test_entry_climbing_out_of_the_client_directory_is_refused(self):
        package = build_zip([("bm/", None), ("bm/ok.txt", b"ok"), ("../evil.txt", b"evil"),
                             ("bm/after.txt", b"after")])
        self.configure(package=package)
        _, proc = self.launch()
        self.expect_unzip_failure(proc, "refused entry (parent directory component): ../evil.txt")
        self.assertEqual(self.client_file("bm/ok.txt"), b"ok")
        self.assertIsNone(self.client_file("bm/after.txt"))
        self.assertFalse(os.path.exists(harness.install_root("evil.txt")))

    def test_files_without_directory_entries_get_their_directories(self):
        package = build_zip([("bm/data/deep/x.txt", b"deep"), ("bm/bm.txt", b"top")])
        self.configure(package=package)
        _, proc = self.launch()
        self.expect_installed(proc, {"bm/data/deep/x.txt": b"deep", "bm/bm.txt": b"top"})

    def test_an_empty_archive_installs_nothing_but_the_version(self):
        self.configure(package=empty_zip())
        _, proc = self.launch()
        self.expect_installed(proc, {})
        self.assertEqual(sorted(os.listdir(harness.install_root("client"))),
                         ["game_client_version.txt"])

    def test_zip64_archive_installs(self):
        package = build_zip([("bm/", None), ("bm/big.txt", b"zip64 " * 1000)], zip64=True)
        self.assertIn(b"PK\x06\x06", package)  # the 64-bit end record
        self.configure(package=package)
        _, proc = self.launch()
        self.expect_installed(proc, {"bm/big.txt": b"zip64 " * 1000})

    def test_entries_compressed_by_methods_the_reader_cannot_decode_are_refused_whole(self):
        # An ordinary tool's bzip2 and LZMA entries: the reader would hand
        # back their compressed bytes as the client's files.
        for method, name in ((zipfile.ZIP_BZIP2, "12 (bzip2)"), (zipfile.ZIP_LZMA, "14 (LZMA)")):
            with self.subTest(method=name):
                harness.reset_install_root()
                self.server.clear_records()
                package = build_tool_zip([("bm/first.txt", b"first", zipfile.ZIP_DEFLATED),
                                          ("bm/bm.dat", b"client data " * 1000, method),
                                          ("bm/last.txt", b"last", zipfile.ZIP_STORED)])
                self.expect_refused_before_writing(
                    package, "cannot unpack bm/bm.dat: compression method " + name)

    def test_an_entry_standing_for_the_version_file_is_refused_whole(self):
        package = build_zip([("bm/", None), ("bm/bm.txt", b"client"),
                             ("Game_Client_Version.txt", b"99.0.0.0")])
        self.expect_refused_before_writing(package, "refused entry (version file): Game_Client_Version.txt")

    def test_entry_naming_a_device_or_a_short_name_alias_is_refused(self):
        for entry, why in (("bm/NUL.txt", "device name"), ("bm/BRAKMO~1.DLL", "short name alias")):
            with self.subTest(entry):
                harness.reset_install_root()
                self.server.clear_records()
                package = build_zip([("bm/", None), ("bm/ok.txt", b"ok"), (entry, b"lost"),
                                     ("bm/after.txt", b"after")])
                self.configure(package=package)
                _, proc = self.launch()
                self.expect_unzip_failure(proc, "refused entry (%s): %s" % (why, entry))
                self.assertEqual(self.client_file("bm/ok.txt"), b"ok")
                self.assertIsNone(self.client_file("bm/after.txt"))

    def test_packages_over_a_bound_or_through_a_link_are_refused_whole(self):
        zeros = build_zip([("bm/zeros.dat", b"\0" * (4 << 20))])
        packed = zipfile.ZipFile(io.BytesIO(zeros)).getinfo("bm/zeros.dat").compress_size
        many = bytearray(build_zip([("bm/a.txt", b"a")], zip64=True))  # 200,001 entries by its end record
        at = many.rfind(b"PK\x06\x06")
        many[at + 24:at + 40] = struct.pack("<QQ", 200001, 200001)
        outside = harness.drive_c("outside-client")
        for name, package, error in (
                ("entries", bytes(many), "refused package (too many entries: 200001, at most 200000)"),
                ("ratio", zeros, "refused entry (compression ratio above 1:1000 (%d bytes from %d)): bm/zeros.dat"
                 % (4 << 20, packed)),
                # Wine shows a Unix link to a folder as Windows shows a junction.
                ("link", build_zip([("bm/x.txt", b"x")]),
                 "refused entry (reparse point): %s\\client\\bm" % harness.INSTALL_ROOT)):
            with self.subTest(name):
                harness.reset_install_root()
                self.server.clear_records()
                if name != "link":
                    self.expect_refused_before_writing(package, error)
                    continue
                shutil.rmtree(outside, ignore_errors=True)
                os.makedirs(outside)
                os.makedirs(harness.install_root("client"))
                os.symlink(outside, harness.install_root("client", "bm"))
                self.configure(package=package)
                self.expect_unzip_failure(self.launch()[1], error)
                self.assertEqual(os.listdir(outside), [])
                os.remove(harness.install_root("client", "bm"))

    def test_an_update_that_fails_half_way_leaves_no_version_behind(self):
        # Were the old version left, a later start with the old minimum would
        # take the half-written client as current.
        self.plant_version(b"0.0.0.9")
        package = build_stored_with_bad_crc([("bm/", None), ("bm/first.txt", b"first"),
                                             ("bm/second.txt", b"second " * 100)], "bm/second.txt")
        self.configure(package=package)
        _, proc = self.launch()
        self.expect_unzip_failure(proc, "crc error: " + harness.INSTALL_ROOT + "\\client\\bm/second.txt")
        self.assertEqual(self.client_file("bm/first.txt"), b"first")
        self.assertEqual(self.client_listing(), ["bm", "bm/first.txt"])

    # -- room on the disk

    def test_a_length_the_disk_cannot_hold_fails_the_download_before_its_body(self):
        # The volume's own figure: the announced length is far beyond any disk.
        self.configure(announce_extra=1 << 50)
        _, proc = self.launch()
        found = harness.wait_for(lambda: [m for l, m in self.of(DOWNLOAD) if l == "ERROR"], 30)
        self.assertTrue(found, harness.read_log())
        m = re.fullmatch(r"not enough disk space in %s: need (\d+) bytes, (\d+) bytes free"
                         % re.escape(harness.INSTALL_ROOT), found[0])
        self.assertTrue(m, found)
        self.assertEqual(int(m.group(1)), self.package_size + (1 << 50))
        # The figure is the one the host has for the prefix's drive, give or
        # take what other programs write meanwhile.
        free = shutil.disk_usage(harness.drive_c()).free
        self.assertLess(abs(int(m.group(2)) - free), max(free // 10, 1 << 30), (m.group(2), free))
        self.expect_download_failure(proc)
        self.assertEqual(self.archive(), b"")

    def test_files_the_disk_cannot_hold_fail_the_extraction_before_anything_is_written(self):
        # The test build takes its free space (and the volume's size) from
        # TOV_TEST_FREE_BYTES: room for the package (about 1.5 MB) and the
        # reserve of 1 GiB, but not for what it unpacks to beside that.
        self.plant_version(b"0.0.0.9")
        # Not zeros: those would pass the ratio bound.
        package = build_zip([("bm/", None), ("bm/a.dat", os.urandom(1_500_000)), ("bm/b.dat", b"b" * 600_000)])
        self.configure(package=package)
        free = (1 << 30) + 2_000_000
        _, proc = self.launch(env={"TOV_TEST_FREE_BYTES": str(free)})
        error = ("not enough disk space in %s\\client: need 2100000 bytes and a reserve of 1073741824 bytes, "
                 "%d bytes free" % (harness.INSTALL_ROOT, free))
        self.assertEqual(self.wait_end(), ("ERROR", DECIDE, "download error"))
        self.assertIn(("ERROR", error), self.of(UNZIP))
        # Nothing was changed: the earlier client's version stays.
        self.assertEqual(self.client_listing(), ["game_client_version.txt"])
        self.assertEqual(self.client_file("game_client_version.txt"), b"0.0.0.9")
        self.final_panel(FAILURE)
        self.finish(proc)

    # -- checked and signed packages

    def test_without_a_key_a_configured_sha256_is_compared(self):
        package = harness.demo_package()
        digest = hashlib.sha256(package).hexdigest()
        # The package comes through a redirect, whose body is not hashed.
        self.configure(package=package, extra=["ClientPackageSha256=" + digest.upper()],
                       redirect=302)
        _, proc = self.launch()
        self.expect_installed(proc, {DEMO_DATA_NAME: DEMO_DATA})
        self.assertEqual(self.of(DOWNLOAD)[-4:-2], [("INFO", "package check passed: SHA-256"),
                                                    ("INFO", "download is finish")])

    def test_without_a_key_a_package_that_unpacks_but_differs_from_its_sha256_is_refused(self):
        expected = hashlib.sha256(harness.demo_package()).hexdigest()
        older = build_zip([("bm/", None), ("bm/client.dat", b"an older client")])
        self.configure(package=older, extra=["ClientPackageSha256=" + expected])
        _, proc = self.launch()
        self.expect_download_failure(proc, HASH_MISMATCH % hashlib.sha256(older).hexdigest())

    def test_with_a_built_in_key_a_package_signed_by_it_installs(self):
        private, public = harness.package_key(self)
        package = harness.demo_package()
        harness.wine(["reg", "delete", harness.SEALED_KEY, "/f"])
        self.configure(package=package, extra=[CHANNEL] + harness.sign_package(private, package),
                       signed=(private, 1))
        _, proc = self.launch(env={"TOV_PACKAGE_PUBLIC_KEY": public})
        self.expect_installed(proc, {DEMO_DATA_NAME: DEMO_DATA})
        self.assertIn(("INFO", "package check passed: SHA-256 and signature"), self.of(DOWNLOAD))

    def test_with_a_built_in_key_a_package_failing_a_check_is_refused_and_nothing_unpacked(self):
        private, public = harness.package_key(self)
        stranger, _ = harness.package_key(self)
        package = harness.demo_package()
        other = build_zip([("bm/", None), ("bm/client.dat", b"someone else's program")])
        flipped = bytearray(package)
        flipped[len(package) // 2] ^= 0x01
        flipped = bytes(flipped)
        signed = harness.sign_package(private, package)
        cases = [
            # (case, bytes served, configuration lines, ERROR text, package fetched)
            ("a flipped byte", flipped, signed, HASH_MISMATCH % hashlib.sha256(flipped).hexdigest(),
             True),
            ("signed by another key", package, harness.sign_package(stranger, package),
             SIGNATURE_REFUSED, False),
            ("the signed hash of another package", package, harness.sign_package(private, other),
             HASH_MISMATCH % hashlib.sha256(package).hexdigest(), True),
            # A signed configuration needs no package signature, but still
            # the SHA-256 that binds the package to its version.
            ("no SHA-256", package, [line for line in signed if "Signature=" in line],
             "package check: ClientPackageSha256 is NotFound!", False),
        ]
        harness.wine(["reg", "delete", harness.SEALED_KEY, "/f"])
        for case, served, lines, error, fetched in cases:
            with self.subTest(case):
                harness.close_windows(harness.MAIN)
                harness.reset_install_root()
                self.server.clear_records()
                before = len(self.package_requests())
                self.configure(package=served, extra=[CHANNEL] + lines, signed=(private, 1))
                _, proc = self.launch(env={"TOV_PACKAGE_PUBLIC_KEY": public})
                self.expect_download_failure(proc, error)
                self.assertEqual(len(self.package_requests()) - before, 1 if fetched else 0)

    def test_with_built_in_keys_only_a_sealed_configuration_is_taken(self):
        private, public = harness.package_key(self)
        second, second_public = harness.package_key(self)
        stranger, _ = harness.package_key(self)
        package = harness.demo_package()
        older = build_zip([("bm/", None), ("bm/client.dat", b"an older, genuinely signed client")])
        hashed = "ClientPackageSha256=" + hashlib.sha256(package).hexdigest()
        base = self.server.base_url

        def sealed(sequence, signer=private, days=14, lines=(CHANNEL, hashed)):
            return harness.sign_config(signer, sequence, harness.config_body(base, VERSION, VERSION,
                                                                             extra=lines), days)

        good = sealed(5)
        unsigned = harness.config_body(base, VERSION, VERSION).encode()
        both = public + ";" + second_public
        room = (1 << 30) + len(package) // 2  # the reserve and half the package
        rows = [
            # (case, built-in keys, body, package served, outcome, sequence kept after)
            ("a correct body", public, good, package, None, 5),
            ("one byte changed", public, good.replace(b"login.html", b"login.htmL"), package,
             SEAL_SIGNATURE, 5),
            ("signed by another key", public, sealed(6, stranger), package, SEAL_SIGNATURE, 5),
            ("no signature line", public, good[:good.rindex(b"ConfigSignature=")], package,
             "configuration refused: ConfigSignature is NotFound!", 5),
            ("another channel", public, sealed(6, lines=("ConfigChannel=elsewhere", hashed)), package,
             "configuration refused: channel elsewhere is not " + harness.CHANNEL, 5),
            ("a lower sequence", public, sealed(4), package, "configuration refused: sequence 4 is below 5", 5),
            ("expired", public, sealed(6, days=-1), package, r"configuration refused: expired at \S+Z", 5),
            ("the second of two keys", both, sealed(7, second), package, None, 7),
            ("an old signed package put in the body", both, good.replace(hashed.encode(), "\n".join(
                harness.sign_package(private, older)).encode()), older, SEAL_SIGNATURE, 7),
            ("an old package under the signed version", both, sealed(7), older,
             HASH_MISMATCH % hashlib.sha256(older).hexdigest(), 7),
            ("more than the signed size", public, sealed(7, lines=(CHANNEL, hashed, "ClientPackageSize=%d"
                                                                   % (len(package) - 1))),
             package, "package check: the package is larger than ClientPackageSize", 7),
            ("unkeyed, an unsigned body", None, unsigned, package, None, 7),
            ("unkeyed, no length and no room", None, unsigned, package, r"not enough disk space in .*: "
             r"need \d+ bytes and a reserve of %d bytes, %d bytes free" % (1 << 30, room), 7),
        ]
        harness.wine(["reg", "delete", harness.SEALED_KEY, "/f"])
        for case, keys, body, served, outcome, sequence in rows:
            with self.subTest(case):
                self.fresh_row()
                before = len(self.package_requests())
                # Without a length announced, only the writes can find the disk full.
                env = {"TOV_TEST_FREE_BYTES": str(room)} if "room" in case else {}
                self.configure(package=served, body=body, chunked=bool(env))
                _, proc = self.launch(env=dict(env, **({"TOV_PACKAGE_PUBLIC_KEY": keys} if keys else {})))
                if outcome is None:
                    self.expect_installed(proc, {DEMO_DATA_NAME: DEMO_DATA})
                    self.assertTrue(self.of("CWebCDlg::InitWebBrower"))
                elif outcome.startswith("configuration refused"):
                    found = harness.wait_for(lambda: [m for l, m in self.of(DECIDE) if l == "ERROR"], 30)
                    self.assertTrue(found, harness.read_log())
                    self.assertRegex(found[0], "^" + outcome + "$")
                    self.final_panel(FAILURE)
                    self.assertEqual(self.of("CWebCDlg::InitWebBrower", DOWNLOAD), [])
                    self.assertEqual(len(self.package_requests()), before)
                    self.finish(proc)
                else:
                    refused = outcome if outcome.startswith("package check") else None
                    self.expect_download_failure(proc, refused)
                    if refused is None:
                        self.assertRegex(self.of(DOWNLOAD)[-2][1], outcome)
                self.assertEqual(harness.sealed_sequence(), sequence)


def unused_port():
    """A loopback port nothing listens on: a connection to it is refused."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def build_tool_zip(entries):
    """An archive as Python's zipfile writes it, each entry (name, data,
    compress_type) with its own method."""
    path = os.path.join(harness.BUILD_DIR, "e2e-install-methods.zip")
    with zipfile.ZipFile(path, "w") as zf:
        for name, data, method in entries:
            zf.writestr(zipfile.ZipInfo(name, ZIP_TIME), data, compress_type=method)
    with open(path, "rb") as f:
        data = f.read()
    os.remove(path)
    return data


def build_stored_with_bad_crc(entries, bad):
    """Stored (uncompressed) entries, with the checksum of `bad` off by one in
    both its headers: the data reads back whole and only the check fails."""
    path = os.path.join(harness.BUILD_DIR, "e2e-install-crc.zip")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as zf:
        for name, data in entries:
            zf.writestr(zipfile.ZipInfo(name, ZIP_TIME), b"" if data is None else data)
    with zipfile.ZipFile(path) as zf:
        crc = zf.getinfo(bad).CRC
    with open(path, "rb") as f:
        data = f.read()
    os.remove(path)
    right = crc.to_bytes(4, "little")
    wrong = ((crc + 1) & 0xFFFFFFFF).to_bytes(4, "little")
    assert data.count(right) == 2, "the checksum must appear in exactly two headers"
    return data.replace(right, wrong)


if __name__ == "__main__":
    unittest.main()

"""The user's proxy settings under Wine, with Debian's tinyproxy on loopback. Windows sends
loopback straight: the package lives on a name only the proxy resolves (its own hosts file)."""
import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest

import harness

VERSION = "1.0.0.1"
FETCH, DOWNLOAD = "CGameRemoteConfig::InitRemoteConfig", "CGameRemoteConfig::OnDownLoad"
HIDDEN = "pkg.proxy-only.test"
KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings"


def settings_reg(proxy="", bypass="", pac=""):
    """What WinInet reads (the values) and WinHTTP reads (the blob), as a .reg text."""
    blob = struct.pack("<III", 0x46, 1, 1 | (2 if proxy else 0) | (4 if pac else 0))
    for text in (proxy, bypass, pac):
        blob += struct.pack("<I", len(text)) + text.encode("ascii")
    return ('Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n"ProxyEnable"=dword:%08x\r\n"ProxyServer"="%s"\r\n'
            '"ProxyOverride"="%s"\r\n"AutoConfigURL"="%s"\r\n\r\n[%s\\Connections]\r\n"DefaultConnectionSettings"=hex:%s\r\n'
            % (KEY, bool(proxy), proxy, bypass, pac, KEY, ",".join("%02x" % b for b in blob + bytes(32))))


class ProxyTest(unittest.TestCase):
    def setUp(self):
        harness.require_environment(self)
        harness.close_windows(harness.MAIN)
        self.server = harness.start_server(self)
        self.procs = []
        self.dir = tempfile.mkdtemp(prefix="proxy-", dir=harness.BUILD_DIR)
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.addCleanup(self.write_settings)  # straight again for the tests after this one

    def tearDown(self):
        harness.end_run(self.procs)

    def write_settings(self, **settings):
        with open(os.path.join(self.dir, "settings.reg"), "w", encoding="utf-16") as f:
            f.write(settings_reg(**settings))
        self.assertEqual(harness.wine(["reg", "import", f.name]).returncode, 0)

    def start_proxy(self, port, credentials):
        hosts, conf, log = (os.path.join(self.dir, "%d.%s" % (port, n)) for n in ("hosts", "conf", "log"))
        with open(hosts, "w") as f:
            f.write("127.0.0.1 localhost\n127.0.0.1 %s\n" % HIDDEN)
        with open(conf, "w") as f:
            f.write('Port %d\nListen 127.0.0.1\nAllow 127.0.0.1\nLogLevel Connect\nLogFile "%s"\n%s'
                    % (port, log, "BasicAuth %s %s\n" % credentials if credentials else ""))
        unshare = ["unshare", "-m"] if os.geteuid() == 0 else ["unshare", "-rm"]
        proxy = subprocess.Popen(unshare + ["sh", "-c", 'mount --bind "$0" /etc/hosts && exec tinyproxy -d -c "$1"',
                                            hosts, conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (proxy.terminate(), proxy.wait(10)))
        # It writes its log before it listens, and the launcher starts seconds later.
        self.assertTrue(harness.wait_for(lambda: os.path.exists(log), 10),
                        "tinyproxy did not start (scripts/setup.sh installs it)")
        return log

    def test_each_transfer_takes_the_route_the_settings_give(self):
        package = "/packages/%s/%s/bm.zip" % (harness.CHANNEL, VERSION)
        paths = {"config": harness.PROFILE["config_path"], "package": package, "telemetry": harness.PROFILE["event_path"]}
        base, hidden, local = (self.server.base_url, "http://%s:%d" % (HIDDEN, harness.server_port()),
                               "http://localhost:%d" % harness.server_port())
        self.server.register_package(package[len("/packages/"):], data=harness.demo_package())
        # case, settings, the package's server, what the proxy carries, the end.
        # "telemetry?": not compared, Wine's WinInet departs from Windows' (loopback goes through the proxy
        # without "<-loopback>", no "127.0.0.*" entry is read, the second proxy of a list is not tried).
        for i, (case, settings, package_base, routed, end) in enumerate((
                ("manual", {"bypass": "<-loopback>"}, hidden, {"config", "package", "telemetry"}, "installed"),
                ("bypass entry", {"bypass": "<-loopback>;127.0.0.*"}, hidden, {"package", "telemetry?"}, "installed"),
                ("<local>", {"bypass": "<-loopback>;<local>"}, local, {"config", "telemetry"}, "installed"),
                ("loopback straight", {}, base, {"telemetry?"}, "installed"),
                ("basic", {"bypass": "<-loopback>", "credentials": ("tov", "s3cret")}, hidden,
                 {"config", "package", "telemetry"}, "installed"),
                ("script", {"pac": True}, hidden, {"package"}, "installed"),
                ("down, then up", {"bypass": "<-loopback>", "first": "127.0.0.1:9;"}, hidden,
                 {"config", "package", "telemetry?"}, "installed"),
                ("down", {"bypass": "<-loopback>", "down": True}, base, {"config"}, "failed"))):
            with self.subTest(case):
                harness.forget_install()
                port = harness.server_port() + 1 + i  # in the loopback server's block
                proxy_log = self.start_proxy(port, settings.get("credentials"))
                address = "127.0.0.1:%d" % (port + 10 if settings.get("down") else port)  # nothing there
                self.server.register_package("proxy.pac", data=(
                    'function FindProxyForURL(url, host) { return host == "%s" ? "PROXY 127.0.0.1:%d" : "DIRECT"; }'
                    % (HIDDEN, port)).encode())
                pac = base + "/files/proxy.pac" if settings.get("pac") else ""
                credentials = "%s:%s@" % settings["credentials"] if "credentials" in settings else ""
                self.write_settings(proxy="" if pac else settings.get("first", "") + credentials + address,
                                    bypass=settings.get("bypass", ""), pac=pac)
                self.server.set_config(body=harness.config_body(base, VERSION, VERSION).replace(
                    base + "/packages/", package_base + "/packages/"))
                self.procs.append(harness.launcher_copy(self, source=harness.TEST_LAUNCHER_EXE).start())
                done = harness.wait_log(self, r"\[INFO\]\[%s::\d+\] unzip is finish!|\[ERROR\]\[%s::\d+\]\[res:"
                                        % (DOWNLOAD, FETCH), 60)
                log = harness.read_log()
                self.assertEqual("installed" if "unzip is finish!" in done.group(0) else "failed", end, log)
                if end == "failed":
                    self.assertTrue(harness.wait_for(lambda: "更新失败,请检查网络" in str(harness.owned_windows())))
                harness.end_run(self.procs)
                with open(proxy_log, encoding="utf-8", errors="replace") as f:
                    requests = re.findall(r"Request \(file descriptor \d+\): GET http://[^/]+(/\S*)", f.read())
                carried = {name for name, path in paths.items() if any(r.startswith(path) for r in requests)}
                self.assertEqual(carried - ({"telemetry"} if "telemetry?" in routed else set()),
                                 routed - {"telemetry?"} if end == "installed" else set())
                for op, name, url in ((FETCH, "config", base), (DOWNLOAD, "package", package_base)):
                    route = "proxy %s for %s" % (address, re.match(r"http://([^:/]+)", url).group(1))
                    expected = [route if name in routed else "direct"] if name == "config" or end == "installed" else []
                    self.assertEqual(harness.info_messages(op, r"(proxy .*|direct)"), expected, log)
                if end == "installed":  # byte for byte
                    with open(harness.install_root("client", harness.DEMO_DATA_NAME), "rb") as f:
                        self.assertEqual(f.read(), harness.DEMO_DATA)
                self.assertNotIn("s3cret", log)


if __name__ == "__main__":
    unittest.main()

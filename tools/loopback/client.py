"""Test-side helpers for the loopback server (Python 3 standard library only).

    from client import LoopbackServer, build_demo_package

    with LoopbackServer(record="reports.jsonl") as srv:
        srv.set_config(body="EntryUrl=...\\n")
        srv.add_fault("packages", count=1, cut_after=1000)
        ... run the launcher against srv.base_url ...
        reports = srv.records()

Everything talks to 127.0.0.1 only.
"""

import base64
import hashlib
import http.client
import importlib.util
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER_SCRIPT = os.path.join(HERE, "loopback_server.py")
HOST = "127.0.0.1"


def _server_module():
    module_found = importlib.util.spec_from_file_location("loopback_server", SERVER_SCRIPT)
    mod = importlib.util.module_from_spec(module_found)
    module_found.loader.exec_module(mod)
    return mod


class AdminError(RuntimeError):
    def __init__(self, status, message):
        super().__init__("admin call failed (%d): %s" % (status, message))
        self.status = status


class LoopbackServer:
    """Runs loopback_server.py as a child process.

    port: 0 for a free port, or a given one. record: path of the JSON-lines
    report file (optional). extra_args: more command-line options.
    """

    def __init__(self, port=0, record=None, state_dir=None, config_file=None,
                 setup=None, demo_exe=None, extra_args=(), python=None,
                 start_timeout=10.0):
        self.requested_port = port
        self.record = record
        self._own_state = state_dir is None
        self.state_dir = state_dir
        self.config_file = config_file
        self.setup = setup
        self.demo_exe = demo_exe
        self.extra_args = list(extra_args)
        self.python = python or sys.executable
        self.start_timeout = start_timeout
        self.proc = None
        self.port = None
        self.started_in = None

    # -- life cycle

    def start(self):
        if self._own_state:
            self.state_dir = tempfile.mkdtemp(prefix="loopback-test-")
        os.makedirs(self.state_dir, exist_ok=True)
        port_file = os.path.join(self.state_dir, "port")
        if os.path.exists(port_file):
            os.unlink(port_file)
        cmd = [self.python, SERVER_SCRIPT, "--port", str(self.requested_port),
               "--port-file", port_file, "--state-dir", self.state_dir]
        if self.record:
            cmd += ["--record", self.record]
        if self.config_file:
            cmd += ["--config-file", self.config_file]
        if self.setup:
            cmd += ["--setup", self.setup]
        if self.demo_exe:
            cmd += ["--demo-exe", self.demo_exe]
        cmd += self.extra_args
        self.log_path = os.path.join(self.state_dir, "server.log")
        t0 = time.monotonic()
        with open(self.log_path, "ab") as log:
            self.proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        deadline = t0 + self.start_timeout
        while True:
            if os.path.exists(port_file):
                with open(port_file) as f:
                    self.port = int(f.read().strip())
                break
            if self.proc.poll() is not None:
                raise RuntimeError("loopback server exited with %d:\n%s"
                                   % (self.proc.returncode, self.server_log()))
            if time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("loopback server did not start in %.1f s" % self.start_timeout)
            time.sleep(0.005)
        self.started_in = time.monotonic() - t0
        return self

    def stop(self, timeout=5.0):
        """SIGTERM, then wait; returns the exit code (killed if it hangs)."""
        if self.proc is None:
            return None
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        rc = self.proc.returncode
        if self._own_state and self.state_dir:
            shutil.rmtree(self.state_dir, ignore_errors=True)
        return rc

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def server_log(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""

    # -- addresses

    @property
    def base_url(self):
        return "http://%s:%d" % (HOST, self.port)

    def url(self, path):
        return self.base_url + path

    # -- admin calls

    def admin(self, method, path, payload=None, timeout=10.0):
        conn = http.client.HTTPConnection(HOST, self.port, timeout=timeout)
        try:
            body = None if payload is None else json.dumps(payload).encode("utf-8")
            headers = {"Content-Type": "application/json"} if body is not None else {}
            conn.request(method, "/_admin/" + path.lstrip("/"), body=body, headers=headers)
            resp = conn.getresponse()
            data = json.loads(resp.read().decode("utf-8") or "{}")
        finally:
            conn.close()
        if resp.status != 200:
            raise AdminError(resp.status, data.get("error", ""))
        return data

    def status(self):
        return self.admin("GET", "status")

    def set_config(self, body=None, body_bytes=None, **settings):
        """body: text (sent as UTF-8) or body_bytes: exact bytes. Settings:
        status, redirects, redirect_loop, redirect_status, delay, hang,
        chunked, split_at, pause, cut_after, stall_after, rate, headers, ..."""
        payload = dict(settings)
        if body_bytes is not None:
            payload["body_b64"] = base64.b64encode(body_bytes).decode("ascii")
        elif body is not None:
            payload["body"] = body
        return self.admin("POST", "config", payload)

    def add_fault(self, target, count="always", match=None, **plan):
        """One rule for the next `count` requests to target ("config",
        "packages", "event", "error", "telemetry", "entry"); returns its id."""
        payload = dict(plan, target=target, count=count)
        if match is not None:
            payload["match"] = match
        return self.admin("POST", "faults", payload)["ids"][0]

    def faults(self):
        return self.admin("GET", "faults")["rules"]

    def clear_faults(self):
        self.admin("POST", "faults/clear")

    def register_package(self, name, path=None, data=None):
        payload = {"name": name}
        if data is not None and len(data) > (64 << 20) and self.state_dir:
            # Too large for one admin request: handed over as a file.
            path = os.path.join(self.state_dir, "handed-%s.bin" % hashlib.sha256(name.encode()).hexdigest())
            with open(path, "wb") as f:
                f.write(data)
            data = None
        if data is not None:
            payload["data_b64"] = base64.b64encode(data).decode("ascii")
        else:
            payload["path"] = os.path.abspath(path)
        return self.admin("POST", "packages/register", payload)["name"]

    def build_package(self, name, exe, files=None):
        """Has the server build the demo zip from the game executable `exe`
        and serve it as name."""
        payload = {"name": name, "exe": os.path.abspath(exe)}
        if files:
            payload["files"] = files
        return self.admin("POST", "packages/build", payload)

    def records(self, since=0):
        """Event and error reports; each has query_bytes, the exact bytes."""
        recs = self.admin("GET", "records?since=%d" % since)["records"]
        for r in recs:
            r["query_bytes"] = base64.b64decode(r["query_b64"])
        return recs

    def wait_records(self, n, timeout=5.0):
        recs = []

        def enough():
            recs[:] = self.records()
            return len(recs) >= n
        wait_until(enough, timeout)
        return recs

    def clear_records(self):
        self.admin("POST", "records/clear")

    def requests(self, since=0):
        return self.admin("GET", "requests?since=%d" % since)["requests"]

    def clear_requests(self):
        self.admin("POST", "requests/clear")

    def entry(self, **settings):
        """Entry page settings (token, refused); changes them if given."""
        if settings:
            return self.admin("POST", "entry", settings)
        return self.admin("GET", "entry")

    def reset(self):
        self.admin("POST", "reset")


def wait_until(pred, timeout=3.0, step=0.02):
    """pred() once it is true, or its last value when the time is up."""
    deadline = time.monotonic() + timeout
    while True:
        value = pred()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


def read_records_file(path):
    """Reads a --record file; adds query_bytes to each record."""
    out = []
    with open(path, "rb") as f:
        for line in f:
            if line.strip():
                r = json.loads(line)
                r["query_bytes"] = base64.b64decode(r["query_b64"])
                out.append(r)
    return out


def build_demo_package(zip_path, exe_path, extra_files=None):
    """Writes the demo package (the profile's game executable in its folder
    and a data file) to zip_path."""
    return _server_module().build_demo_package(zip_path, exe_path, extra_files)


def demo_data():
    """(name, bytes) of the data file the demo package holds beside the
    game executable."""
    mod = _server_module()
    return mod.DEMO_DATA_NAME, mod.DEMO_DATA


def build_large_package(zip_path, size, exe_path=None):
    """A package holding one stored (uncompressed) file of `size` bytes, for
    download benchmarks; written in blocks, never held in memory."""
    block = bytes(range(256)) * 4096   # 1 MiB, not all zeros
    with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_STORED) as zf:
        for d in ("bm/", "bm/data/"):
            zf.writestr(zipfile.ZipInfo(d, (2024, 1, 1, 0, 0, 0)), b"")
        if exe_path:
            zf.write(exe_path, _server_module().DEMO_EXE_NAME)
        info = zipfile.ZipInfo("bm/data/filler.bin", (2024, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_STORED
        info.file_size = size
        with zf.open(info, "w") as out:
            left = size
            while left:
                n = min(left, len(block))
                out.write(block[:n])
                left -= n
    return zip_path


def read_started_file(path):
    """Parses bm_started.txt written by the demo client. Values come from the
    exact UTF-16 hex form, so CR, LF and other control characters survive."""
    with open(path, "rb") as f:
        lines = f.read().decode("utf-8").split("\n")
    items = {}
    for line in lines:
        key, sep, value = line.partition("=")
        if sep:
            items[key] = value
    out = {"complete": items.get("end") == "1", "title": items.get("title")}
    for key in ("command_line", "working_directory", "executable", "pid"):
        hexed = items.get(key + "_utf16hex")
        if hexed is None:
            continue
        units = bytes.fromhex(hexed)
        # big-endian hex digits per code unit -> UTF-16-BE bytes
        out[key] = units.decode("utf-16-be", "surrogatepass")
    return out

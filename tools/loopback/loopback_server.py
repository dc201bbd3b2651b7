#!/usr/bin/env python3
"""One loopback HTTP server that plays every service the launcher talks to.

It answers, on 127.0.0.1 only:

* the configuration endpoint (the channel profile's configuration path, and
  any path ending in client_config_<x>.php),
* the package server (/packages/<name>, and /files/<name> as the plain
  target of redirects),
* the event and error endpoints (the profile's event and error paths),
  whose requests are recorded byte for byte,
* the entry page (/entry/login.html) with its script-bridge calls,

and a JSON admin API under /_admin/ through which each test picks bodies,
statuses and faults. README.md beside this file lists the API.

The channel profile (paths, channel, the game's title and executable) is the
build's <build>/profile.json when TOV_PROFILE_FILE or --profile names it, else
the source tree's default profile (tools/profile/launcher_profile.py).

Python 3 standard library only.
"""

import argparse
import base64
import fnmatch
import hashlib
import html
import http.server
import json
import os
import re
import select
import signal
import socket
import struct
import sys
import tempfile
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "profile"))
import launcher_profile  # noqa: E402

HOST = "127.0.0.1"
CONFIG_ROUTE = re.compile(r"/client_config_[^/]*\.php\Z")
ENTRY_PATHS = ("/entry", "/entry/", "/entry/login.html")
DEFAULT_CLIENT_VERSION = "1.0.0.1"


def use_profile(profile):
    """Takes the routes, the channel and the demo game's names from the
    channel profile."""
    global PROFILE, EVENT_PATH, ERROR_PATH, CONFIG_PATH, DEFAULT_CHANNEL
    global DEMO_EXE_NAME, DEMO_DATA_NAME, DEMO_DATA
    PROFILE = profile
    EVENT_PATH = profile["event_path"]
    ERROR_PATH = profile["error_path"]
    CONFIG_PATH = profile["config_path"]
    DEFAULT_CHANNEL = profile["channel_name"]
    DEMO_EXE_NAME = profile.game_relative
    DEMO_DATA_NAME = profile["game_folder"] + "/data/client.txt"
    DEMO_DATA = ("%s demo client data.\n" % profile["game_title"]).encode("utf-8")


use_profile(launcher_profile.load())

# Set once when the server is asked to stop; every wait in a handler (delay,
# pause, throttle, stall, hang) ends on it so that SIGTERM is honoured at once.
STOP = threading.Event()


class BadRequest(Exception):
    """An admin call whose input cannot be used; answered with 400."""


# --------------------------------------------------------------------------
# Response plans: how one answer is shaped. The configuration settings and
# every fault rule are plans; a rule's keys override the base plan.

PLAN_KEYS = {
    "status": int,           # HTTP status of the answer
    "redirect": int,         # answer with this redirect status instead
    "redirect_hops": int,    # length of the redirect chain (default 1)
    "location": str,         # explicit Location for "redirect"
    "delay": float,          # seconds before the status line
    "hang": bool,            # read the request, never answer
    "chunked": bool,         # Transfer-Encoding: chunked, no Content-Length
    "split_at": list,        # body byte offsets where a new piece starts
    "pause": float,          # seconds between pieces
    "announce": int,         # exact Content-Length to announce
    "announce_extra": int,   # announce the body length plus this many bytes
    "cut_after": int,        # close the connection after this many body bytes
    "reset": bool,           # with cut_after: close with RST instead of FIN
    "stall_after": int,      # after this many body bytes send nothing more
    "rate": int,             # throttle the body to this many bytes per second
    "headers": dict,         # extra response headers
    "ranges": bool,          # packages: answer Range requests (default true)
    "etag": str,             # packages: the ETag this answer carries and checks
    "refuse": bool,          # read the request, then reset the connection
    "serve": str,            # packages: answer with this package name's file
}


def check_plan(raw, extra_keys=()):
    """Validates a plan (a dict from JSON); returns a clean copy."""
    if not isinstance(raw, dict):
        raise BadRequest("expected a JSON object")
    plan = {}
    for key, value in raw.items():
        if key in extra_keys:
            continue
        kind = PLAN_KEYS.get(key)
        if kind is None:
            raise BadRequest("unknown option %r" % key)
        if value is None:
            continue
        if kind is float:
            if isinstance(value, bool) or not isinstance(value, (int, float)) or value < 0:
                raise BadRequest("%s must be a number >= 0" % key)
            value = float(value)
        elif kind is int:
            if isinstance(value, bool) or not isinstance(value, int) or value < 0:
                raise BadRequest("%s must be an integer >= 0" % key)
        elif not isinstance(value, kind):
            raise BadRequest("%s must be a %s" % (key, kind.__name__))
        plan[key] = value
    if "status" in plan and not 100 <= plan["status"] <= 999:
        raise BadRequest("status must be a three-digit code")
    if "redirect" in plan and plan["redirect"] not in (301, 302, 303, 307, 308):
        raise BadRequest("redirect must be 301, 302, 303, 307 or 308")
    if "location" in plan and (not plan["location"].startswith("/")
                               or re.search(r"[\x00-\x20\x7f]", plan["location"])):
        # Redirects stay on this server: a test must not be able to send the
        # client under test anywhere but loopback.
        raise BadRequest("location must be a path on this server, starting with /")
    if "rate" in plan and plan["rate"] == 0:
        raise BadRequest("rate must be > 0")
    for off in plan.get("split_at", []):
        if isinstance(off, bool) or not isinstance(off, int) or off < 0:
            raise BadRequest("split_at holds byte offsets >= 0")
    for name, value in plan.get("headers", {}).items():
        # A header value with CR or LF would let a test inject raw bytes into
        # the response head; refuse it rather than send a broken answer.
        if not isinstance(value, str) or re.search(r"[\r\n]", name + value) or not name:
            raise BadRequest("header names and values are one-line strings")
    return plan


def body_from(raw):
    """Body bytes from {"body": text} or {"body_b64": base64}; None if absent."""
    if "body_b64" in raw and raw["body_b64"] is not None:
        try:
            return base64.b64decode(raw["body_b64"], validate=True)
        except (ValueError, TypeError):
            raise BadRequest("body_b64 is not valid base64")
    if "body" in raw and raw["body"] is not None:
        if not isinstance(raw["body"], str):
            raise BadRequest("body must be a string")
        return raw["body"].encode("utf-8")
    return None


# --------------------------------------------------------------------------
# Demo package

ZIP_TIME = (2024, 1, 1, 0, 0, 0)


def build_demo_package(zip_path, exe_path, extra_files=None):
    """Writes the demo client package: the game executable in its folder
    (DEMO_EXE_NAME) plus a small data file.

    Every directory gets its own entry before the first file inside it: the
    launcher creates one directory level per directory entry and fails on a
    file whose directory does not exist yet.
    """
    import zipfile

    files = [(DEMO_EXE_NAME, exe_path, None), (DEMO_DATA_NAME, None, DEMO_DATA)]
    for name, data in sorted((extra_files or {}).items()):
        if isinstance(data, str):
            data = data.encode("utf-8")
        files.append((name, None, data))
    tmp = zip_path + ".tmp"
    seen_dirs = set()
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as zf:
        for name, src, data in files:
            check_entry_name(name)
            parts = name.split("/")[:-1]
            for i in range(1, len(parts) + 1):
                d = "/".join(parts[:i]) + "/"
                if d not in seen_dirs:
                    seen_dirs.add(d)
                    zf.writestr(zipfile.ZipInfo(d, ZIP_TIME), b"")
            info = zipfile.ZipInfo(name, ZIP_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            if src is not None:
                with open(src, "rb") as f, zf.open(info, "w") as out:
                    while True:
                        block = f.read(1 << 20)
                        if not block:
                            break
                        out.write(block)
            else:
                zf.writestr(info, data)
    os.replace(tmp, zip_path)
    return zip_path


def check_entry_name(name):
    if (not name or name.startswith("/") or "\\" in name or ":" in name
            or any(p in ("", ".", "..") for p in name.split("/"))):
        raise BadRequest("bad archive entry name %r" % name)


# --------------------------------------------------------------------------
# Shared state

def default_config_body(port):
    base = "http://%s:%d" % (HOST, port)
    return (
        "EntryUrl=%s/entry/login.html\n"
        "ClientVersion=%s\n"
        "ClientMiniUpdateVersion=%s\n"
        "ClientDownloadUrl=%s/packages/{ditch_name}/{version}/bm.zip\n"
        "CustomParameters=demo\n"
        % (base, DEFAULT_CLIENT_VERSION, DEFAULT_CLIENT_VERSION, base)
    ).encode("ascii")


REDIRECT_KEYS = {"redirect", "redirect_hops", "location"}
CONFIG_EXTRA_KEYS = ("body", "body_b64", "redirects", "redirect_loop",
                     "redirect_status", "content_type", "paths")
TOKEN_RE = re.compile(r"[A-Za-z0-9._~-]{1,128}\Z")


class State:
    def __init__(self, port, state_dir, packages_dir, record_path):
        self.port = port
        self.state_dir = state_dir
        self.packages_dir = os.path.realpath(packages_dir)
        self.record_path = record_path
        self.lock = threading.Lock()
        self.record_file = open(record_path, "ab") if record_path else None
        self.reset()

    # Everything a test may change, back to its starting value.
    def reset(self):
        with self.lock:
            self.config = self._make_config({})
            self.rules = []
            self.next_rule_id = 1
            self.packages = {}
            self.records = []
            self.requests = []
            self.entry = {"token": "tk-" + os.urandom(8).hex(), "refused": ["banned"]}
            if self.record_file:
                self.record_file.seek(0)
                self.record_file.truncate()
                self.record_file.flush()

    def _make_config(self, raw):
        plan = check_plan(raw, CONFIG_EXTRA_KEYS)
        if set(plan) & REDIRECT_KEYS:
            raise BadRequest("the configuration redirects with redirects / redirect_loop")
        body = body_from(raw)
        cfg = {
            "plan": plan,
            "body": default_config_body(self.port) if body is None else body,
            "redirects": raw.get("redirects") or 0,
            "redirect_loop": bool(raw.get("redirect_loop")),
            "redirect_status": raw.get("redirect_status") or 302,
            "content_type": raw.get("content_type") or "text/plain; charset=utf-8",
            "paths": list(raw.get("paths") or []),
        }
        if not isinstance(cfg["redirects"], int) or isinstance(cfg["redirects"], bool) \
                or not 0 <= cfg["redirects"] <= 100:
            raise BadRequest("redirects must be an integer 0..100")
        if cfg["redirect_status"] not in (301, 302, 303, 307, 308):
            raise BadRequest("redirect_status must be 301, 302, 303, 307 or 308")
        if not all(isinstance(p, str) and p.startswith("/") for p in cfg["paths"]):
            raise BadRequest("paths must be absolute paths")
        if not isinstance(cfg["content_type"], str) or re.search(r"[\r\n]", cfg["content_type"]):
            raise BadRequest("content_type must be a one-line string")
        return cfg

    def set_config(self, raw):
        cfg = self._make_config(raw)
        with self.lock:
            self.config = cfg

    def config_view(self):
        with self.lock:
            c = dict(self.config)
        c["body_b64"] = base64.b64encode(c.pop("body")).decode("ascii")
        return c

    # Fault rules
    TARGETS = ("config", "packages", "event", "error", "telemetry", "entry")

    def add_rule(self, raw):
        if not isinstance(raw, dict):
            raise BadRequest("a rule is a JSON object")
        target = raw.get("target")
        if target not in self.TARGETS:
            raise BadRequest("target must be one of %s" % ", ".join(self.TARGETS))
        count = raw.get("count", "always")
        if count in (None, "always"):
            count = None
        elif isinstance(count, bool) or not isinstance(count, int) or count < 1:
            raise BadRequest('count must be a positive integer or "always"')
        match = raw.get("match")
        if match is not None and not isinstance(match, str):
            raise BadRequest("match must be a string (a glob)")
        for_seconds = raw.get("for_seconds")
        if for_seconds is not None and (isinstance(for_seconds, bool)
                                        or not isinstance(for_seconds, (int, float))
                                        or for_seconds <= 0):
            raise BadRequest("for_seconds must be a number > 0")
        plan = check_plan(raw, ("target", "count", "match", "for_seconds"))
        if set(plan) & REDIRECT_KEYS and target != "packages":
            raise BadRequest("redirect faults are for packages; the configuration "
                             "has its own redirect settings")
        with self.lock:
            rule = {"id": self.next_rule_id, "target": target, "match": match,
                    "remaining": count, "hits": 0, "plan": plan,
                    "for_seconds": for_seconds, "first_hit": None}
            self.next_rule_id += 1
            self.rules.append(rule)
            return rule["id"]

    def take_rule(self, target, name):
        """The first live rule for this request; uses up one of its count."""
        with self.lock:
            for rule in self.rules:
                t = rule["target"]
                if not (t == target or (t == "telemetry" and target in ("event", "error"))):
                    continue
                if rule["remaining"] == 0:
                    continue
                if rule["match"] is not None and not fnmatch.fnmatchcase(name, rule["match"]):
                    continue
                now = time.monotonic()
                if rule["for_seconds"] is not None and rule["first_hit"] is not None \
                        and now - rule["first_hit"] > rule["for_seconds"]:
                    continue
                if rule["first_hit"] is None:
                    rule["first_hit"] = now
                if rule["remaining"] is not None:
                    rule["remaining"] -= 1
                rule["hits"] += 1
                return rule["id"], dict(rule["plan"])
        return None, {}

    def rules_view(self):
        with self.lock:
            return [dict(r, remaining="always" if r["remaining"] is None else r["remaining"])
                    for r in self.rules]

    def clear_rules(self):
        with self.lock:
            self.rules = []

    # Packages
    def register_package(self, name, path):
        name = check_package_name(name)
        if not os.path.isfile(path):
            raise BadRequest("no such file: %s" % path)
        with self.lock:
            self.packages[name] = os.path.abspath(path)
        return name

    def find_package(self, name):
        """The file that serves this package name, or None."""
        with self.lock:
            path = self.packages.get(name)
        if path is not None:
            return path
        # Only files below the packages directory are ever served; names that
        # try to climb out of it (.., symlinks) find nothing.
        candidate = os.path.realpath(os.path.join(self.packages_dir, name))
        if os.path.commonpath([candidate, self.packages_dir]) != self.packages_dir:
            return None
        return candidate if os.path.isfile(candidate) else None

    def packages_view(self):
        with self.lock:
            reg = dict(self.packages)
        out = {}
        for name, path in reg.items():
            try:
                out[name] = {"path": path, "size": os.path.getsize(path)}
            except OSError:
                out[name] = {"path": path, "size": None}
        return out

    # Records of telemetry, and the log of every request served
    def add_record(self, rec):
        with self.lock:
            rec["seq"] = len(self.records)
            line = (json.dumps(rec, ensure_ascii=True, sort_keys=True) + "\n").encode("ascii")
            self.records.append(rec)
            if self.record_file:
                self.record_file.write(line)
                self.record_file.flush()

    def records_view(self, since):
        with self.lock:
            return self.records[since:]

    def clear_records(self):
        with self.lock:
            self.records = []
            if self.record_file:
                self.record_file.seek(0)
                self.record_file.truncate()
                self.record_file.flush()

    def log_request(self, entry):
        with self.lock:
            entry["seq"] = len(self.requests)
            self.requests.append(entry)
            # A benchmark may make many requests; keep memory bounded.
            if len(self.requests) > 20000:
                del self.requests[:10000]

    def requests_view(self, since):
        with self.lock:
            return [dict(e) for e in self.requests if e["seq"] >= since]

    def clear_requests(self):
        with self.lock:
            self.requests = []

    def close(self):
        with self.lock:
            if self.record_file:
                self.record_file.close()
                self.record_file = None


def build_and_register(state, name, exe, extra_files=None):
    check_package_name(name)
    out = os.path.join(state.state_dir, "built",
                       hashlib.sha256(name.encode("utf-8")).hexdigest() + ".zip")
    os.makedirs(os.path.dirname(out), exist_ok=True)
    build_demo_package(out, exe, extra_files)
    state.register_package(name, out)
    return out


def check_package_name(name):
    if not isinstance(name, str) or not name:
        raise BadRequest("package name must be a non-empty string")
    parts = name.split("/")
    if name.startswith("/") or "\\" in name or "\0" in name or \
            any(p in ("", ".", "..") for p in parts):
        raise BadRequest("bad package name %r" % name)
    return name


# --------------------------------------------------------------------------
# Entry page

ENTRY_PAGE = r"""<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta http-equiv="X-UA-Compatible" content="IE=edge">
<title>/*TITLE*/</title>
<style>
html, body { margin: 0; padding: 0; height: 100%; }
body {
  background: #0d0a10;
  background: radial-gradient(ellipse at 50% 30%, #2a1d2e 0%, #120d15 55%, #070509 100%);
  color: #e6dcc6;
  font-family: "Microsoft YaHei", "Segoe UI", Georgia, serif;
  font-size: 14px;
}
.frame {
  width: 340px; margin: 48px auto 0 auto; padding: 28px 32px 22px 32px;
  background: #16111a; background: rgba(22, 17, 26, 0.92);
  border: 1px solid #8a6d2c; outline: 1px solid #3a2c12; outline-offset: 4px;
  box-shadow: 0 0 32px rgba(212, 175, 55, 0.18);
}
h1 {
  margin: 0; text-align: center; font-family: Georgia, "Times New Roman", serif;
  font-size: 34px; letter-spacing: 6px; font-weight: normal; color: #d4af37;
  text-shadow: 0 0 8px rgba(212, 175, 55, 0.45);
}
.sub { text-align: center; color: #9c8a6a; font-size: 12px; letter-spacing: 3px; margin: 4px 0 18px 0; }
.rule { height: 1px; background: #8a6d2c; margin: 0 0 18px 0; }
label { display: block; color: #c9b27a; margin: 10px 0 4px 0; font-size: 13px; }
input[type=text], input[type=password] {
  width: 100%; box-sizing: border-box; padding: 8px 10px;
  background: #0b080d; color: #f0e6cc; border: 1px solid #5b4720; font-size: 14px;
}
input[type=text]:focus, input[type=password]:focus { border-color: #d4af37; outline: none; }
button {
  width: 100%; margin-top: 20px; padding: 10px 0; cursor: pointer;
  color: #1a1206; font-size: 16px; letter-spacing: 8px; font-weight: bold;
  background: #c9a23a; background: linear-gradient(#e8c766, #b08a2e);
  border: 1px solid #f3dc8a;
}
button:hover { background: #e0bd55; }
.status { min-height: 20px; margin-top: 14px; text-align: center; font-size: 13px; }
.ok { color: #9fd28a; }
.bad { color: #e07a6a; }
.info { color: #9c8a6a; }
.launcher { margin-top: 16px; padding-top: 10px; border-top: 1px solid #3a2c12;
  font-size: 11px; color: #7d6e55; word-wrap: break-word; }
.launcher span { color: #b9a57a; }
</style>
</head>
<body>
<div class="frame">
  <h1>/*HEADING*/</h1>
  <div class="sub">&#x2014; 荒沼之境 &#x2014;</div>
  <div class="rule"></div>
  <form id="login-form" action="#" autocomplete="off">
    <label for="account">账号 Account</label>
    <input type="text" id="account" name="account" maxlength="64">
    <label for="password">密码 Password</label>
    <input type="password" id="password" name="password" maxlength="64">
    <button type="submit" id="login-button">登录</button>
  </form>
  <div id="status" class="status info"></div>
  <div class="launcher">/*PRODUCT*/ Launcher: <span id="launcher-path"></span></div>
</div>
<script type="text/javascript">
(function () {
  var SETTINGS = /*SETTINGS*/;

  function byId(id) { return document.getElementById(id); }

  // Text goes in as text nodes, never as markup: what the launcher returns,
  // or what the player typed, cannot inject anything into the page.
  function setText(el, text, cls) {
    while (el.firstChild) { el.removeChild(el.firstChild); }
    el.appendChild(document.createTextNode(text));
    if (cls) { el.className = "status " + cls; }
  }

  // The launcher offers window.external.JavascriptToCsharp; a plain browser
  // does not, or offers an external object without that method. Only a real
  // call can tell (testing the member for truth would itself call it in the
  // launcher's host), so the call is tried and a failure means "no launcher".
  function callLauncher(method, params) {
    var ext = null;
    try { ext = window.external; } catch (e) { ext = null; }
    if (!ext) { return { ok: false, value: "" }; }
    try {
      var v = ext.JavascriptToCsharp(method, params);
      return { ok: true, value: (v === undefined || v === null) ? "" : String(v) };
    } catch (e2) {
      return { ok: false, value: "" };
    }
  }

  function trim(s) { return String(s).replace(/^\s+|\s+$/g, ""); }

  function refused(account, password) {
    if (account === "" || password === "") { return true; }
    var a = account.toLowerCase();
    for (var i = 0; i < SETTINGS.refused.length; i++) {
      if (String(SETTINGS.refused[i]).toLowerCase() === a) { return true; }
    }
    return false;
  }

  // The launcher splits the result at "|" and hands the parameters to the
  // game unquoted, so the account is percent-encoded: a "|", blank, quote or
  // "&" typed by the player cannot cut the parameters short or split them
  // into extra game arguments.
  function loginParameters(account) {
    return "account=" + encodeURIComponent(account) +
           "&token=" + encodeURIComponent(SETTINGS.token);
  }

  function onSubmit() {
    var account = trim(byId("account").value);
    var password = String(byId("password").value);
    var status = byId("status");
    if (refused(account, password)) {
      var r1 = callLauncher("LoginResult", "false|");
      setText(status, r1.ok ? "登录未通过 Login refused"
                            : "登录未通过 (no launcher: would send \"false|\")", "bad");
      return false;
    }
    var text = "true|" + loginParameters(account);
    var r2 = callLauncher("LoginResult", text);
    setText(status, r2.ok ? "登录成功，正在进入游戏 Signed in"
                          : "Signed in (no launcher: would send \"" + text + "\")", "ok");
    return false;
  }

  function start() {
    byId("login-form").onsubmit = onSubmit;
    var r = callLauncher("GetCommandLine", "");
    setText(byId("launcher-path"), r.ok ? (r.value === "" ? "(empty)" : r.value)
                                        : "not running inside the launcher");
  }

  if (document.readyState === "complete" || document.readyState === "interactive") {
    start();
  } else {
    window.onload = start;
  }
})();
</script>
</body>
</html>
"""


def render_entry_page(settings):
    data = json.dumps({"token": settings["token"], "refused": settings["refused"]},
                      ensure_ascii=True)
    # Inside <script>, "</" or "<!--" in a string would end or confuse the
    # script element; escaping the angle brackets keeps every value a string.
    data = data.replace("<", "\\u003c").replace(">", "\\u003e").replace("&", "\\u0026")
    page = ENTRY_PAGE.replace("/*SETTINGS*/", data, 1)
    for mark, text in (("/*TITLE*/", PROFILE["game_title"]),
                       ("/*HEADING*/", PROFILE["game_title"].upper()),
                       ("/*PRODUCT*/", PROFILE["product_name"])):
        page = page.replace(mark, html.escape(text), 1)
    return page.encode("utf-8")


# --------------------------------------------------------------------------
# Request handling

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "loopback"
    sys_version = ""
    disable_nagle_algorithm = True   # small pieces must leave at once

    # The stock parser splits the request line on any whitespace, which in
    # Latin-1 includes the bytes 0x85 and 0xA0 that occur inside UTF-8 text,
    # and it rewrites paths starting with "//". Reports must be recorded as
    # they arrived, so the target is taken from the raw line here (split on
    # the single spaces around it only), and the stock parser gets a copy
    # with those bytes escaped, used for nothing but its own checks.
    def parse_request(self):
        self.arrival = time.time()
        line = self.raw_requestline.rstrip(b"\r\n")
        parts = line.split(b" ")
        self.raw_target = None
        if len(parts) >= 3 and parts[-1].startswith(b"HTTP/") and parts[0]:
            target = b" ".join(parts[1:-1])
            self.raw_target = target
            safe = b"".join(b"%%%02X" % c if c <= 0x20 or c >= 0x7F else bytes((c,))
                            for c in target)
            self.raw_requestline = parts[0] + b" " + safe + b" " + parts[-1] + b"\r\n"
        return super().parse_request()

    def setup(self):
        super().setup()
        with self.server.active_lock:
            self.server.active.add(self.connection)

    def finish(self):
        try:
            super().finish()
        finally:
            with self.server.active_lock:
                self.server.active.discard(self.connection)

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("%s %s\n" % (self.log_date_time_string(), fmt % args))

    # -- dispatch

    def target_bytes(self):
        return self.raw_target if self.raw_target is not None else self.path.encode("latin-1")

    def do_GET(self):
        target = self.target_bytes()
        raw_path, _, raw_query = target.partition(b"?")
        if raw_path.startswith(b"http://"):   # absolute form, as sent to a proxy
            raw_path = b"/" + raw_path[7:].partition(b"/")[2]
        path = raw_path.decode("latin-1")
        if path.startswith("/_admin/"):
            return self.admin("GET", path)
        if not self.discard_request_body():
            return
        entry = {"seq": None, "time": self.arrival, "method": self.command,
                 "target": target.decode("latin-1"), "route": None, "rule": None,
                 "status": None, "bytes": 0, "outcome": "pending"}
        self.entry = entry
        try:
            self.route(entry, path, raw_query, target)
        except (ConnectionError, BrokenPipeError, socket.timeout, OSError) as e:
            entry["outcome"] = "client_closed" if isinstance(e, ConnectionError) else "error"
            self.close_connection = True

    def do_POST(self):
        path = self.target_bytes().partition(b"?")[0].decode("latin-1")
        if path.startswith("/_admin/"):
            return self.admin("POST", path)
        self.send_plain(405, b"method not allowed\n")

    def do_DELETE(self):
        path = self.target_bytes().partition(b"?")[0].decode("latin-1")
        if path.startswith("/_admin/"):
            return self.admin("DELETE", path)
        self.send_plain(405, b"method not allowed\n")

    def discard_request_body(self):
        """A GET may still carry a body; it is read and dropped so that the
        next request on the connection starts where it should."""
        try:
            n = int(self.headers.get("Content-Length") or 0)
        except ValueError:
            n = -1
        if self.headers.get("Transfer-Encoding") or not 0 <= n <= (1 << 20):
            self.close_connection = True
            self.send_plain(400, b"request body not accepted\n")
            return False
        if n:
            self.rfile.read(n)
        return True

    def route(self, entry, path, raw_query, target):
        st = self.server.state
        with st.lock:
            cfg = st.config
        if CONFIG_ROUTE.search(path) or path == CONFIG_PATH or path in cfg["paths"]:
            entry["route"] = "config"
            st.log_request(entry)
            return self.serve_config(entry, cfg, path, hop=None)
        if path.startswith("/_hop/config/"):
            entry["route"] = "config"
            st.log_request(entry)
            return self.serve_config(entry, cfg, path, hop=path[len("/_hop/config/"):])
        if path in (EVENT_PATH, ERROR_PATH):
            kind = "event" if path == EVENT_PATH else "error"
            entry["route"] = kind
            st.log_request(entry)
            return self.serve_telemetry(entry, kind, path, raw_query, target)
        for prefix, route in (("/packages/", "packages"), ("/files/", "files")):
            if path.startswith(prefix):
                entry["route"] = route
                st.log_request(entry)
                return self.serve_package(entry, route, path[len(prefix):])
        m = re.match(r"/_hop/files/(\d+)/(.+)\Z", path, re.S)
        if m:
            entry["route"] = "files"
            st.log_request(entry)
            k, rest = int(m.group(1)), m.group(2)
            nxt = "/_hop/files/%d/%s" % (k - 1, rest) if k > 0 else "/files/" + rest
            return self.redirect(entry, {}, 302, nxt)
        if path in ENTRY_PATHS:
            entry["route"] = "entry"
            st.log_request(entry)
            rule_id, plan = st.take_rule("entry", path)
            entry["rule"] = rule_id
            with st.lock:
                page = render_entry_page(st.entry)
            return self.respond(entry, plan, page, "text/html; charset=utf-8")
        entry["route"] = None
        st.log_request(entry)
        self.send_plain(404, b"not found\n")
        entry["status"], entry["outcome"] = 404, "complete"

    # -- the services

    def serve_config(self, entry, cfg, path, hop):
        st = self.server.state
        if hop is None:
            rule_id, rule = st.take_rule("config", path)
            entry["rule"] = rule_id
            plan = dict(cfg["plan"], **rule)
            if cfg["redirect_loop"]:
                return self.redirect(entry, plan, cfg["redirect_status"], "/_hop/config/loop-a")
            if cfg["redirects"]:
                return self.redirect(entry, plan, cfg["redirect_status"],
                                     "/_hop/config/%d" % (cfg["redirects"] - 1))
        else:
            plan = dict(cfg["plan"])
            if hop in ("loop-a", "loop-b"):
                nxt = "loop-b" if hop == "loop-a" else "loop-a"
                return self.redirect(entry, plan, cfg["redirect_status"], "/_hop/config/" + nxt)
            if not hop.isdigit():
                self.send_plain(404, b"not found\n")
                entry["status"], entry["outcome"] = 404, "complete"
                return
            if int(hop) > 0:
                return self.redirect(entry, plan, cfg["redirect_status"],
                                     "/_hop/config/%d" % (int(hop) - 1))
        self.respond(entry, plan, cfg["body"], cfg["content_type"])

    def serve_telemetry(self, entry, kind, path, raw_query, target):
        st = self.server.state
        rule_id, plan = st.take_rule(kind, path)
        entry["rule"] = rule_id
        rec = {
            "time": self.arrival,
            "endpoint": kind,
            "method": self.command,
            "path": path,
            "has_query": b"?" in target,
            # Latin-1 maps each byte to one character, so this string holds
            # the query bytes exactly; query_b64 says the same unambiguously.
            "query": raw_query.decode("latin-1"),
            "query_b64": base64.b64encode(raw_query).decode("ascii"),
            "headers": [[k, v] for k, v in self.headers.items()],
            "answer": "hang" if plan.get("hang") else "answer",
        }
        st.add_record(rec)
        self.respond(entry, plan, b"", "text/html")

    def serve_package(self, entry, route, raw_name):
        st = self.server.state
        try:
            name = urllib.parse.unquote_to_bytes(raw_name).decode("utf-8")
            check_package_name(name)
        except (UnicodeDecodeError, BadRequest):
            self.send_plain(400, b"bad package name\n")
            entry["status"], entry["outcome"] = 400, "complete"
            return
        plan = {}
        if route == "packages":
            rule_id, plan = st.take_rule("packages", name)
            entry["rule"] = rule_id
        if "redirect" in plan:
            hops = max(1, plan.get("redirect_hops", 1))
            if "location" in plan:
                location = plan["location"]
            elif hops > 1:
                location = "/_hop/files/%d/%s" % (hops - 2, raw_name)
            else:
                location = "/files/%s" % raw_name
            return self.redirect(entry, plan, plan["redirect"], location)
        status = plan.get("status", 200)
        if status >= 300:
            body = ("%d %s\n" % (status, self.responses.get(status, ("",))[0])).encode("ascii")
            return self.respond(entry, plan, body, "text/plain")
        path = st.find_package(plan.get("serve", name))
        if path is None:
            self.respond(entry, {"status": 404}, b"404 Not Found\n", "text/plain")
            return
        self.respond_package(entry, plan, path)

    def respond_package(self, entry, plan, path):
        """The package whole, or from the offset a Range asks for when the
        If-Range it may carry names the current ETag (RFC 9110)."""
        st = os.stat(path)
        size = st.st_size
        etag = plan.get("etag") or '"%s"' % hashlib.sha1(
            ("%s:%d:%d" % (path, size, st.st_mtime_ns)).encode()).hexdigest()[:16]
        headers = dict(plan.get("headers", {}))
        headers.setdefault("ETag", etag)
        headers.setdefault("Accept-Ranges", "bytes" if plan.get("ranges", True) else "none")
        plan = dict(plan, headers=headers)
        asked = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range") or "")
        if_range = self.headers.get("If-Range")
        entry["range"] = self.headers.get("Range")
        if asked and plan.get("ranges", True) and (if_range is None or if_range == etag) \
                and plan.get("status", 200) == 200:
            start = int(asked.group(1))
            if start >= size:
                headers["Content-Range"] = "bytes */%d" % size
                return self.respond(entry, dict(plan, status=416), b"", "text/plain")
            headers["Content-Range"] = "bytes %d-%d/%d" % (start, size - 1, size)
            return self.respond(entry, dict(plan, status=206), path, "application/zip", start)
        self.respond(entry, plan, path, "application/zip")

    # -- answering

    def redirect(self, entry, plan, status, location):
        if location.startswith("/"):
            location = "http://%s:%d%s" % (HOST, self.server.server_port, location)
        if plan.get("delay") and STOP.wait(plan["delay"]):
            return self.give_up(entry)
        if plan.get("hang"):
            return self.hold(entry, "hang")
        body = b"redirect\n"
        self.send_response(status)
        self.send_header("Location", location)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        entry["status"], entry["bytes"], entry["outcome"] = status, len(body), "redirect"

    def send_plain(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def give_up(self, entry):
        entry["outcome"] = "stopped"
        self.close_connection = True

    def respond(self, entry, plan, source, content_type, start=0):
        """Sends one answer shaped by the plan. source: bytes or a file path;
        the body is what follows `start`."""
        if plan.get("delay") and STOP.wait(plan["delay"]):
            return self.give_up(entry)
        if plan.get("hang"):
            return self.hold(entry, "hang")
        if plan.get("refuse"):
            return self.reset_connection(entry, "refused")
        status = plan.get("status", 200)
        f = None
        if isinstance(source, (bytes, bytearray)):
            size = len(source)
        else:
            f = open(source, "rb")
            size = os.fstat(f.fileno()).st_size
        try:
            self._respond(entry, plan, status, source, f, size, content_type, start)
        finally:
            if f:
                f.close()

    def _respond(self, entry, plan, status, data, f, size, content_type, start=0):
        chunked = bool(plan.get("chunked"))
        # Offsets below count body bytes of this answer; the file's start.
        size -= start
        limit, after = size, "complete"
        for key, what in (("cut_after", "cut"), ("stall_after", "stall")):
            v = plan.get(key)
            if v is not None and v < limit:
                limit, after = v, what
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        close = after != "complete"
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            announced = plan["announce"] if "announce" in plan \
                else size + plan.get("announce_extra", 0)
            self.send_header("Content-Length", str(announced))
            # The client waits for the announced length; closing is the only
            # way to make a short body end.
            close = close or announced != size
        for k, v in plan.get("headers", {}).items():
            self.send_header(k, v)
        if close:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        entry["status"] = status

        splits = sorted(set(o for o in plan.get("split_at", []) if 0 < o < limit))
        bounds = [0] + splits + [limit]
        pacer = Pacer(plan.get("rate"))
        for i in range(len(bounds) - 1):
            if i > 0 and plan.get("pause") and STOP.wait(plan["pause"]):
                return self.give_up(entry)
            if not self.send_range(entry, data, f, start + bounds[i], start + bounds[i + 1],
                                   chunked, pacer, start):
                return self.give_up(entry)

        if after == "cut":
            if plan.get("reset"):
                return self.reset_connection(entry, "cut")
            entry["outcome"] = "cut"
            return
        if after == "stall":
            return self.hold(entry, "stall")
        if chunked:
            self.wfile.write(b"0\r\n\r\n")
        entry["outcome"] = "complete_then_closed" if close else "complete"

    def reset_connection(self, entry, outcome):
        """Closes with RST instead of FIN (linger 0), as a dropped line does."""
        entry["outcome"] = outcome
        self.close_connection = True
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()

    def send_range(self, entry, data, f, start, end, chunked, pacer, origin=0):
        """Sends source bytes [start, end); `origin` is where the answer's
        body began. False when asked to stop."""
        sock = self.connection
        pos = start
        while pos < end:
            # Files go out with sendfile in blocks of a few MiB: far quicker
            # than one huge call, and the request log's byte count moves.
            n = min(end - pos, pacer.slice if pacer.rate else SEND_BLOCK)
            if chunked:
                sock.sendall(b"%X\r\n" % n)
            if f is not None:
                sent = 0
                while sent < n:
                    k = sock.sendfile(f, pos + sent, n - sent)
                    if k == 0:
                        raise OSError("package file ended early")
                    sent += k
            else:
                sock.sendall(data[pos:pos + n])
            if chunked:
                sock.sendall(b"\r\n")
            pos += n
            entry["bytes"] = pos - origin
            if pacer.rate and not pacer.wait(n):
                return False
        return True

    def hold(self, entry, why):
        """Keeps the connection open without sending anything, until the
        client goes away or the server stops."""
        entry["outcome"] = why
        self.close_connection = True
        sock = self.connection
        while not STOP.is_set():
            try:
                r, _, _ = select.select([sock], [], [], 0.2)
                if r and not sock.recv(65536):
                    break
            except (OSError, ValueError):
                break
        entry["outcome"] = why + "_ended"

    # -- admin API

    def admin(self, method, path):
        st = self.server.state
        try:
            payload = self.read_json() if method in ("POST", "DELETE") else {}
            query = urllib.parse.parse_qs(self.target_bytes().partition(b"?")[2]
                                          .decode("latin-1"))
            since = int(query.get("since", ["0"])[0])
            result = self.admin_call(st, method, path, payload, since)
            if result is None:
                return self.send_json(404, {"error": "no such admin call: %s %s" % (method, path)})
            self.send_json(200, result)
        except BadRequest as e:
            self.send_json(400, {"error": str(e)})
        except ValueError as e:
            self.send_json(400, {"error": "bad request: %s" % e})

    def admin_call(self, st, method, path, p, since):
        if path == "/_admin/status" and method == "GET":
            return {"host": HOST, "port": self.server.server_port, "pid": os.getpid(),
                    "state_dir": st.state_dir, "packages_dir": st.packages_dir,
                    "record_file": st.record_path}
        if path == "/_admin/config":
            if method == "POST":
                st.set_config(p)
            return st.config_view() if method in ("GET", "POST") else None
        if path == "/_admin/faults":
            if method == "POST":
                rules = p.get("rules") if "rules" in p else [p]
                if not isinstance(rules, list):
                    raise BadRequest("rules must be a list")
                return {"ids": [st.add_rule(r) for r in rules]}
            if method == "DELETE":
                st.clear_rules()
                return {"ok": True}
            return {"rules": st.rules_view()}
        if path == "/_admin/faults/clear" and method == "POST":
            st.clear_rules()
            return {"ok": True}
        if path == "/_admin/packages":
            if method == "GET":
                return {"packages": st.packages_view(), "packages_dir": st.packages_dir}
            return None
        if path == "/_admin/packages/register" and method == "POST":
            return {"name": self.admin_register(st, p)}
        if path == "/_admin/packages/build" and method == "POST":
            return self.admin_build(st, p)
        if path == "/_admin/records":
            if method == "DELETE":
                st.clear_records()
                return {"ok": True}
            return {"records": st.records_view(since)} if method == "GET" else None
        if path == "/_admin/records/clear" and method == "POST":
            st.clear_records()
            return {"ok": True}
        if path == "/_admin/requests":
            if method == "DELETE":
                st.clear_requests()
                return {"ok": True}
            return {"requests": st.requests_view(since)} if method == "GET" else None
        if path == "/_admin/requests/clear" and method == "POST":
            st.clear_requests()
            return {"ok": True}
        if path == "/_admin/entry":
            if method == "POST":
                self.admin_entry(st, p)
            with st.lock:
                return dict(st.entry)
        if path == "/_admin/reset" and method == "POST":
            st.reset()
            return {"ok": True}
        return None

    def admin_register(self, st, p):
        name = p.get("name")
        check_package_name(name)
        data = body_from({"body_b64": p.get("data_b64")}) if "data_b64" in p else None
        if data is not None:
            path = os.path.join(st.state_dir, "registered",
                                hashlib.sha256(name.encode("utf-8")).hexdigest() + ".bin")
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path + ".tmp", "wb") as f:
                f.write(data)
            os.replace(path + ".tmp", path)
        else:
            path = p.get("path")
            if not isinstance(path, str):
                raise BadRequest("give path or data_b64")
        return st.register_package(name, path)

    def admin_build(self, st, p):
        name = p.get("name")
        check_package_name(name)
        exe = p.get("exe")
        if not isinstance(exe, str) or not os.path.isfile(exe):
            raise BadRequest("exe must name an existing file")
        extra = p.get("files") or {}
        if not isinstance(extra, dict) or not all(isinstance(v, str) for v in extra.values()):
            raise BadRequest("files maps entry names to text")
        out = build_and_register(st, name, exe, extra)
        return {"name": name, "path": out, "size": os.path.getsize(out)}

    def admin_entry(self, st, p):
        new = {}
        if "token" in p:
            if not isinstance(p["token"], str) or not TOKEN_RE.match(p["token"]):
                raise BadRequest("token: 1 to 128 of A-Z a-z 0-9 . _ ~ -")
            new["token"] = p["token"]
        if "refused" in p:
            if not isinstance(p["refused"], list) or \
                    not all(isinstance(x, str) for x in p["refused"]):
                raise BadRequest("refused must be a list of account names")
            new["refused"] = list(p["refused"])
        with st.lock:
            st.entry.update(new)

    def read_json(self):
        length = self.headers.get("Content-Length")
        if length is None:
            return {}
        n = int(length)
        if n < 0 or n > (256 << 20):
            raise BadRequest("admin body too large")
        raw = self.rfile.read(n)
        if not raw.strip():
            return {}
        try:
            value = json.loads(raw.decode("utf-8"))
        except (UnicodeDecodeError, json.JSONDecodeError) as e:
            raise BadRequest("body is not JSON: %s" % e)
        if not isinstance(value, dict):
            raise BadRequest("body must be a JSON object")
        return value

    def send_json(self, status, obj):
        body = (json.dumps(obj, ensure_ascii=True) + "\n").encode("ascii")
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


SEND_BLOCK = 4 << 20


class Pacer:
    """Holds a response to a byte rate: after each slice, waits until the
    time at which that many bytes are due."""

    def __init__(self, rate):
        self.rate = rate
        self.slice = max(1, min(1 << 16, (rate or 0) // 20))
        self.start = time.monotonic()
        self.sent = 0

    def wait(self, n):
        self.sent += n
        due = self.start + self.sent / self.rate
        delay = due - time.monotonic()
        return not (delay > 0 and STOP.wait(delay))


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128
    def __init__(self, *args, **kw):
        self.active = set()      # connections being handled
        self.active_lock = threading.Lock()
        super().__init__(*args, **kw)

    def close_connections(self):
        """Wakes every handler blocked on its connection (idle keep-alive
        included) so that stopping does not wait on clients."""
        with self.active_lock:
            conns = list(self.active)
        for c in conns:
            try:
                c.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def handle_error(self, request, client_address):
        if self.verbose:
            super().handle_error(request, client_address)


# --------------------------------------------------------------------------
# Start-up

def write_atomically(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write(text)
    os.replace(tmp, path)


def apply_setup(state, setup):
    if not isinstance(setup, dict):
        raise BadRequest("setup file must hold a JSON object")
    if "config" in setup:
        state.set_config(setup["config"])
    for rule in setup.get("faults", []):
        state.add_rule(rule)
    for pkg in setup.get("packages", []):
        if "exe" in pkg:
            build_and_register(state, pkg["name"], pkg["exe"], pkg.get("files"))
        else:
            state.register_package(pkg["name"], pkg["path"])
    if "entry" in setup:
        e = setup["entry"]
        if "token" in e and not TOKEN_RE.match(str(e["token"])):
            raise BadRequest("bad entry token")
        state.entry.update({k: e[k] for k in ("token", "refused") if k in e})


def main(argv=None):
    ap = argparse.ArgumentParser(description="Loopback test server (127.0.0.1 only).")
    ap.add_argument("--port", type=int, default=0, help="port to listen on; 0 picks a free one")
    ap.add_argument("--port-file", help="write the port here once listening")
    ap.add_argument("--state-dir", help="working directory for built and registered packages")
    ap.add_argument("--packages-dir", help="serve /packages/<name> from files here "
                    "(default: <state-dir>/packages)")
    ap.add_argument("--record", help="append one JSON line per event/error report here")
    ap.add_argument("--config-file", help="configuration body to serve (raw bytes)")
    ap.add_argument("--setup", help="JSON file of initial config, faults, packages, entry")
    ap.add_argument("--profile", help="channel profile (a build's profile.json); default: "
                    "TOV_PROFILE_FILE, else the source tree's default profile")
    ap.add_argument("--demo-exe", help="build the demo package from this game executable and "
                    "serve it at /packages/<channel>/%s/bm.zip" % DEFAULT_CLIENT_VERSION)
    ap.add_argument("--verbose", action="store_true", help="log requests to stderr")
    args = ap.parse_args(argv)
    if args.profile:
        try:
            use_profile(launcher_profile.load(args.profile))
        except (OSError, ValueError) as e:
            sys.stderr.write("loopback_server: %s\n" % e)
            return 2

    owned_state = args.state_dir is None
    state_dir = os.path.abspath(args.state_dir or tempfile.mkdtemp(prefix="loopback-"))
    os.makedirs(state_dir, exist_ok=True)
    packages_dir = os.path.abspath(args.packages_dir or os.path.join(state_dir, "packages"))
    os.makedirs(packages_dir, exist_ok=True)

    try:
        server = Server((HOST, args.port), Handler)
    except OSError as e:
        sys.stderr.write("loopback_server: cannot listen on %s:%d: %s\n" % (HOST, args.port, e))
        return 2
    server.verbose = args.verbose
    port = server.server_port
    try:
        state = State(port, state_dir, packages_dir, args.record)
        server.state = state
        if args.config_file:
            with open(args.config_file, "rb") as f:
                state.config["body"] = f.read()
        if args.demo_exe:
            build_and_register(state, "%s/%s/bm.zip" % (DEFAULT_CHANNEL, DEFAULT_CLIENT_VERSION),
                               args.demo_exe)
        if args.setup:
            with open(args.setup, "rb") as f:
                apply_setup(state, json.loads(f.read().decode("utf-8")))
    except (OSError, ValueError, KeyError, TypeError, BadRequest) as e:
        server.server_close()
        sys.stderr.write("loopback_server: %s\n" % e)
        return 2

    def on_signal(signum, frame):
        STOP.set()
        # shutdown() waits for serve_forever, which runs on this very thread.
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    if args.port_file:
        write_atomically(args.port_file, "%d\n" % port)
    sys.stdout.write("listening on http://%s:%d\n" % (HOST, port))
    sys.stdout.flush()

    try:
        server.serve_forever(poll_interval=0.05)
    finally:
        STOP.set()
        server.server_close()
        server.close_connections()
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline and server.active:
            time.sleep(0.02)
        state.close()
        if owned_state:
            import shutil
            shutil.rmtree(state_dir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

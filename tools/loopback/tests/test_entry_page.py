"""The entry page's script, run in Node against a stand-in window.external:
what it reports to the launcher for accepted and refused logins, and that it
keeps working where there is no launcher."""

import json
import os
import re
import shutil
import subprocess
import unittest
import urllib.parse

from .loopback_support import client, fetch_raw, HERE, ServerTestCase

NODE = shutil.which("node") or shutil.which("nodejs")


def encode_uri_component(s):
    return urllib.parse.quote(s, safe="-_.!~*'()")


@unittest.skipUnless(NODE, "node is needed to run the page script")
class EntryPage(ServerTestCase):
    def page_script(self):
        r = fetch_raw(self.srv.port, "/entry/login.html")
        self.assertEqual(r.status, 200)
        self.assertTrue(r.header("content-type").startswith("text/html"))
        scripts = re.findall(rb"<script[^>]*>(.*?)</script>", r.body, re.S)
        self.assertEqual(len(scripts), 1)
        return scripts[0].decode("utf-8")

    def run_page(self, account, password, external="bridge", command_line="C:\\x\\TovLauncher.exe"):
        scenario = {"script": self.page_script(), "external": external,
                    "commandLine": command_line, "account": account, "password": password}
        p = subprocess.run([NODE, os.path.join(HERE, "entry_page_harness.js")],
                           input=json.dumps(scenario).encode(), capture_output=True, timeout=30)
        self.assertEqual(p.returncode, 0, p.stderr.decode())
        out = json.loads(p.stdout)
        self.assertIsNone(out["error"])
        self.assertIs(out["submitReturned"], False)   # the form never navigates away
        return out

    def test_accepted_login_reports_true_and_parameters(self):
        token = self.srv.entry()["token"]
        out = self.run_page("ann", "secret")
        self.assertEqual(out["calls"], [
            ["GetCommandLine", ""],
            ["LoginResult", "true|account=ann&token=" + token],
        ])
        self.assertEqual(out["launcherPath"], "C:\\x\\TovLauncher.exe")

    def test_awkward_account_names_stay_one_parameter_field(self):
        # The launcher cuts the result at a second "|" and passes parameters
        # to the game unquoted: none of these may survive raw.
        for account in ['a|b', 'two words', 'x&token=forged', 'q"uote', '王者', "tab\tname"]:
            with self.subTest(account=account):
                result = self.run_page(account, "pw")["calls"][1][1]
                self.assertEqual(result.count("|"), 1)
                self.assertNotRegex(result, r'[\s"]')
                field, params = result.split("|")
                self.assertEqual(field, "true")
                fields = urllib.parse.parse_qs(params, keep_blank_values=True)
                self.assertEqual(fields["account"], [account])
                self.assertEqual(len(fields["token"]), 1)

    def test_refused_logins_report_false(self):
        self.srv.entry(refused=["banned", "mallory"])
        for account, password in [("ann", ""), ("", "pw"), ("   ", "pw"),
                                  ("Banned", "pw"), ("mallory", "pw")]:
            with self.subTest(account=account, password=password):
                out = self.run_page(account, password)
                self.assertEqual(out["calls"][1:], [["LoginResult", "false|"]])
        # The refused list is the server's to set; "banned" is an ordinary
        # account once it is off the list.
        self.srv.entry(refused=[])
        self.assertTrue(self.run_page("banned", "pw")["calls"][1][1].startswith("true|"))

    def test_token_set_by_the_server_is_used(self):
        self.srv.entry(token="fixed-token_1.2~x")
        self.assertEqual(self.run_page("ann", "pw")["calls"][1][1],
                         "true|account=ann&token=fixed-token_1.2~x")

    def test_without_a_launcher_the_page_still_works(self):
        for external in ("plain", "none", "throws"):
            with self.subTest(external=external):
                out = self.run_page("ann", "pw", external=external)
                self.assertEqual(out["calls"], [])
                self.assertIn("not running inside the launcher", out["launcherPath"])
                self.assertIn("true|account=ann&token=", out["status"])

    def test_launcher_text_is_shown_as_text(self):
        odd = '<img src=x onerror="alert(1)">C:\\bm\\TovLauncher.exe'
        out = self.run_page("ann", "pw", command_line=odd)
        self.assertEqual(out["launcherPath"], odd)
        # An empty answer is shown as such, not as a blank.
        self.assertEqual(self.run_page("ann", "pw", command_line="")["launcherPath"], "(empty)")


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""Runs tls_transfer_test.exe under Wine against servers on 127.0.0.1 with
certificates made here: an HTTPS server whose certificate comes from the
CA the test trusts, one whose certificate comes from another CA, and a
plain HTTP server. Each answers /package and /redirect?to=<url>.

    run_tls_test.py WINE_RUN TEST_EXE WORK_DIR
"""
import http.server
import os
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading
import urllib.parse

HOST = "127.0.0.1"
BODY = "package sent over the test's servers\n"


def openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def make_certificate(work, name, ca=None):
    """A CA's own certificate (no `ca`), or a server certificate for
    127.0.0.1 that `ca` signs; (key, certificate) paths."""
    key, cert = os.path.join(work, name + ".key"), os.path.join(work, name + ".pem")
    if ca is None:
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                "-days", "2", "-subj", "/CN=" + name,
                "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        return key, cert
    ext = os.path.join(work, name + ".ext")
    with open(ext, "w") as f:
        f.write("subjectAltName=IP:%s,DNS:%s\nextendedKeyUsage=serverAuth\n" % (HOST, HOST))
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert + ".csr",
            "-subj", "/CN=" + HOST)
    openssl("x509", "-req", "-in", cert + ".csr", "-CA", ca[1], "-CAkey", ca[0],
            "-CAcreateserial", "-days", "2", "-out", cert, "-extfile", ext)
    return key, cert


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/package":
            self.answer(200, BODY.encode("ascii"))
        else:
            target = urllib.parse.parse_qs(url.query).get("to", [""])[0]
            # Only ever to the servers of this run.
            ours = url.path == "/redirect" and urllib.parse.urlsplit(target).hostname == HOST
            self.answer(302 if ours else 404, b"", target if ours else None)

    def answer(self, status, body, location=None):
        self.send_response(status)
        if location:
            self.send_header("Location", location)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, fmt, *args):
        pass


def serve(cert=None):
    server = http.server.ThreadingHTTPServer((HOST, 0), Handler)
    scheme = "http"
    if cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert[1], cert[0])
        server.socket = context.wrap_socket(server.socket, server_side=True)
        scheme = "https"
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, "%s://%s:%d" % (scheme, HOST, server.server_address[1])


def main(argv):
    wine_run, exe, work_root = argv[1:4]
    os.makedirs(work_root, exist_ok=True)
    work = tempfile.mkdtemp(prefix="tls-", dir=work_root)
    servers = []
    try:
        trusted_ca = make_certificate(work, "trusted-ca")
        for name, ca in (("trusted", trusted_ca), ("foreign", make_certificate(work, "foreign-ca"))):
            servers.append(serve(make_certificate(work, name, ca)))
        servers.append(serve())
        # Wine shows the Unix root as drive Z:.
        ca_file = "Z:" + os.path.abspath(trusted_ca[1]).replace("/", "\\")
        env = dict(os.environ, TOV_TLS_CA_FILE=ca_file,
                   TOV_TLS_TRUSTED=servers[0][1], TOV_TLS_FOREIGN=servers[1][1],
                   TOV_TLS_PLAIN=servers[2][1], TOV_TLS_BODY=BODY)
        return subprocess.run([wine_run, exe], env=env, timeout=300).returncode
    finally:
        for server, _ in servers:
            server.shutdown()
            server.server_close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))

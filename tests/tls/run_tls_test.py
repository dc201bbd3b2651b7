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


def make_ca(work, name):
    key, cert = os.path.join(work, name + ".key"), os.path.join(work, name + ".pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
            "-days", "2", "-subj", "/CN=" + name,
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    return key, cert


def make_server_cert(work, name, ca):
    key, csr, cert = (os.path.join(work, name + ext) for ext in (".key", ".csr", ".pem"))
    ext = os.path.join(work, name + ".ext")
    with open(ext, "w") as f:
        f.write("subjectAltName=IP:%s,DNS:%s\nbasicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n" % (HOST, HOST))
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
            "-subj", "/CN=" + HOST)
    openssl("x509", "-req", "-in", csr, "-CA", ca[1], "-CAkey", ca[0], "-CAcreateserial",
            "-days", "2", "-out", cert, "-extfile", ext)
    return key, cert


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/package":
            self.answer(200, BODY.encode("ascii"))
        elif url.path == "/redirect":
            target = urllib.parse.parse_qs(url.query).get("to", [""])[0]
            # Only ever to the servers of this run.
            if urllib.parse.urlsplit(target).hostname != HOST:
                self.answer(400, b"")
                return
            self.answer(302, b"", {"Location": target})
        else:
            self.answer(404, b"")

    def answer(self, status, body, headers=None):
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
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


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main(argv):
    wine_run, exe, work_root = argv[1:4]
    os.makedirs(work_root, exist_ok=True)
    work = tempfile.mkdtemp(prefix="tls-", dir=work_root)
    servers = []
    try:
        trusted_ca = make_ca(work, "trusted-ca")
        foreign_ca = make_ca(work, "foreign-ca")
        for name, ca in (("trusted", trusted_ca), ("foreign", foreign_ca)):
            servers.append(serve(make_server_cert(work, name, ca)))
        servers.append(serve())
        env = dict(os.environ, TOV_TLS_CA_FILE=windows_path(trusted_ca[1]),
                   TOV_TLS_TRUSTED=servers[0][1], TOV_TLS_FOREIGN=servers[1][1],
                   TOV_TLS_PLAIN=servers[2][1], TOV_TLS_BODY=BODY)
        result = subprocess.run([wine_run, exe], env=env, timeout=300)
        return result.returncode
    finally:
        for server, _ in servers:
            server.shutdown()
            server.server_close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""Serves a folder over HTTPS on localhost, for release download tests and benchmarks.

usage: https_server.py ROOT STATE [--seconds N]

Everything is made for this run inside STATE: a throw-away certificate authority (ca.der, the
certificate a test trusts) and a server certificate for the DNS name "localhost" (Windows
HTTP matches host names against DNS names only). Once listening, the chosen port is written
to STATE/port; every request line's path is appended to STATE/requests.log. Paths under
/redirect/ answer 302 Found, pointing at the same path without that prefix. Paths under
/trickle/ serve the same file as without the prefix, its head at once and then one byte of
the body per second, as a server that holds a client on a slow line does.

The server stops when STATE/stop appears or after N seconds (default 300), whichever comes
first (it then writes STATE/stopped): a test that dies cannot leave it running. It is started from Windows programs under
Wine, which cannot wait for or end a Unix process, so it detaches itself from every
inherited file descriptor; otherwise a test runner would wait for it on the test's output.
"""
import argparse
import http.server
import os
import ssl
import subprocess
import sys
import threading
import time


def detach(state):
    log = os.open(os.path.join(state, "server.log"), os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
    null = os.open(os.devnull, os.O_RDONLY)
    os.dup2(null, 0)
    os.dup2(log, 1)
    os.dup2(log, 2)
    os.closerange(3, 1024)


def openssl(state, *arguments):
    subprocess.run(["openssl", *arguments], cwd=state, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def make_certificates(state):
    with open(os.path.join(state, "server.ext"), "w") as ext:
        ext.write("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n"
                  "basicConstraints=critical,CA:FALSE\n")
    openssl(state, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Qelmarin throw-away test CA",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl(state, "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost")
    openssl(state, "x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", "server.ext", "-out", "server.pem")
    openssl(state, "x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der")


def handler_for(root, state):
    log_lock = threading.Lock()

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=root, **kwargs)

        def do_GET(self):
            with log_lock, open(os.path.join(state, "requests.log"), "a") as log:
                log.write(self.path + "\n")
            if self.path.startswith("/redirect/"):
                self.send_response(302)
                self.send_header("Location", self.path[len("/redirect"):])
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            if self.path.startswith("/trickle/"):
                self.trickle(self.translate_path(self.path[len("/trickle"):]))
                return
            super().do_GET()

        def trickle(self, path):
            if not os.path.isfile(path):
                self.send_error(404)
                return
            with open(path, "rb") as served:
                body = served.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            for byte in body:
                self.wfile.write(bytes([byte]))
                self.wfile.flush()
                time.sleep(1)

        def log_message(self, format, *args):
            pass

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("state")
    parser.add_argument("--seconds", type=float, default=300)
    options = parser.parse_args()
    os.makedirs(options.state, exist_ok=True)
    detach(options.state)
    make_certificates(options.state)

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(options.state, "server.pem"), os.path.join(options.state, "server.key"))
    server = http.server.ThreadingHTTPServer(("localhost", 0), handler_for(options.root, options.state))
    server.daemon_threads = True
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()

    port_file = os.path.join(options.state, "port")
    with open(port_file + ".new", "w") as out:
        out.write(str(server.server_address[1]))
    os.replace(port_file + ".new", port_file)

    deadline = time.monotonic() + options.seconds
    stop_file = os.path.join(options.state, "stop")
    while time.monotonic() < deadline and not os.path.exists(stop_file):
        time.sleep(0.1)
    server.shutdown()
    server.server_close()
    open(os.path.join(options.state, "stopped"), "w").close()
    return 0


if __name__ == "__main__":
    sys.exit(main())

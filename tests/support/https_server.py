#!/usr/bin/env python3
"""Serves a folder over HTTPS on localhost, for release download tests and benchmarks.

usage: https_server.py ROOT STATE [--seconds N] [--authority DIR] [--nginx]

Everything is made for this run inside STATE: a throw-away certificate authority (ca.der, the
certificate a test trusts) and a server certificate for the DNS name "localhost" (Windows
HTTP matches host names against DNS names only). With --authority, the authority is kept in
DIR and made there only once, so that every server of one test process has the same one. Once listening, the chosen port is written
to STATE/port; every request line's path is appended to STATE/requests.log, followed by " "
and the Range header when one was sent. Files answer one "bytes=a-b" or "bytes=a-" range with
206 and Content-Range, over kept-alive HTTP/1.1 connections. Paths under /redirect/ answer
302 Found, pointing at the same path without that prefix. Paths under /trickle/ serve the same
file as without the prefix, its head at once and then one byte of the body per second, as a
server that holds a client on a slow line does. The first request of each path under /drop/
gets the full head and half the body before the connection closes; under /fail503/ it gets
503, under /fail429/ 429 with "Retry-After: 1"; later requests are served normally.

The server stops when STATE/stop appears or after N seconds (default 300), whichever comes
first (it then writes STATE/stopped): a test that dies cannot leave it running. It is started from Windows programs under
Wine, which cannot wait for or end a Unix process, so it detaches itself from every
inherited file descriptor; otherwise a test runner would wait for it on the test's output.

With --nginx, nginx serves ROOT instead, as studios serve releases (ranges, kept-alive
connections, HTTP/1.1), with the same certificates, files, log lines (each written once its
request has ended) and /redirect/ paths; everything it writes stays inside STATE, so it runs as
any user. It cannot make the faults of /trickle/. When it cannot start, server.log says why and
STATE/stopped appears without a port.
"""
import argparse
import ctypes
import http.server
import os
import pwd
import re
import shutil
import signal
import socket
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


def make_certificates(state, authority):
    """The authority in AUTHORITY (made there unless it exists), copied into STATE, and a server
    certificate it signed."""
    if not os.path.exists(os.path.join(authority, "ca.der")):
        # A name of its own: Windows finds an issuer by name, and a root left behind by a killed
        # test must not be taken for this one.
        name = "/CN=Qelmarin throw-away test CA " + os.urandom(6).hex()
        openssl(authority, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                "-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", name,
                "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        openssl(authority, "x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der")
    for name in ("ca.pem", "ca.der"):
        shutil.copyfile(os.path.join(authority, name), os.path.join(state, name))
    with open(os.path.join(state, "server.ext"), "w") as ext:
        ext.write("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n"
                  "basicConstraints=critical,CA:FALSE\n")
    openssl(state, "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost")
    openssl(state, "x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", os.path.join(authority, "ca.key"),
            "-set_serial", str(int.from_bytes(os.urandom(8), "big") >> 1), "-days", "2", "-extfile", "server.ext",
            "-out", "server.pem")


NGINX_CONFIG = """\
{user}worker_processes 2;
daemon off;
master_process on;
pid "{state}/nginx.pid";
error_log "{state}/error.log" warn;
events {{ worker_connections 256; }}
http {{
    client_body_temp_path "{state}/client-body";
    proxy_temp_path "{state}/proxy";
    fastcgi_temp_path "{state}/fastcgi";
    uwsgi_temp_path "{state}/uwsgi";
    scgi_temp_path "{state}/scgi";
    default_type application/octet-stream;
    sendfile on;
    log_not_found off;
    keepalive_timeout 65s;
    absolute_redirect off;
    # The request target, then a space and the Range header only when one was sent; written
    # as each request ends (no log buffer).
    map $http_range $range_suffix {{ "" ""; default " $http_range"; }}
    map $request_uri $unprefixed {{ ~^/redirect(?<rest>/.*)$ $rest; }}
    log_format requests escape=none '$request_uri$range_suffix';
    access_log "{state}/requests.log" requests;
    server {{
        listen 127.0.0.1:{port} ssl;
        server_name localhost;
        ssl_certificate "{state}/server.pem";
        ssl_certificate_key "{state}/server.key";
        root "{root}";
        location /redirect/ {{ return 302 $unprefixed; }}
    }}
}}
"""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def accepts(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def die_with_parent():
    # The watcher below stops nginx; should the watcher itself be killed, nginx follows it.
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def start_nginx(root, state):
    """nginx serving root on a free port, once it accepts connections; (stop function, port), or
    None when it cannot start."""
    user = "user {};\n".format(pwd.getpwuid(0).pw_name) if os.geteuid() == 0 else ""
    for _ in range(5):  # another test may take the free port first
        port = free_port()
        with open(os.path.join(state, "nginx.conf"), "w") as config:
            config.write(NGINX_CONFIG.format(user=user, state=os.path.abspath(state), root=os.path.abspath(root),
                                             port=port))
        nginx = subprocess.Popen(["/usr/sbin/nginx", "-p", state, "-c", "nginx.conf", "-e", "error.log"],
                                 start_new_session=True, preexec_fn=die_with_parent)
        deadline = time.monotonic() + 20
        while nginx.poll() is None and not accepts(port) and time.monotonic() < deadline:
            time.sleep(0.05)
        if nginx.poll() is None and accepts(port):
            return (lambda: stop_nginx(nginx)), port
        if nginx.poll() is None:
            stop_nginx(nginx)
        # nginx has said why on its standard error, which is server.log.
        print("nginx did not start (exit code {})".format(nginx.returncode), flush=True)
        with open(os.path.join(state, "error.log")) as log:
            if "Address already in use" not in log.read():
                return None
    return None


def stop_nginx(nginx):
    """Graceful quit, then a kill of every process nginx started."""
    nginx.send_signal(signal.SIGQUIT)
    try:
        nginx.wait(timeout=2)
    except subprocess.TimeoutExpired:
        os.killpg(nginx.pid, signal.SIGKILL)
        nginx.wait()


def handler_for(root, state):
    log_lock = threading.Lock()
    faulted = set()

    class Handler(http.server.SimpleHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=root, **kwargs)

        def first_time(self, prefix):
            if not self.path.startswith(prefix):
                return False
            with log_lock:
                seen = self.path in faulted
                faulted.add(self.path)
            return not seen

        def do_GET(self):
            wanted = self.headers.get("Range")
            with log_lock, open(os.path.join(state, "requests.log"), "a") as log:
                log.write(self.path + (" " + wanted if wanted else "") + "\n")
            for prefix, status in (("/fail503/", 503), ("/fail429/", 429)):
                if self.first_time(prefix):
                    self.send_response(status)
                    if status == 429:
                        self.send_header("Retry-After", "1")
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
            for prefix in ("/fail503", "/fail429", "/drop"):
                if self.path.startswith(prefix + "/"):
                    self.serve_file(self.path[len(prefix):], wanted, self.first_time(prefix + "/"))
                    return
            if self.path.startswith("/redirect/"):
                self.send_response(302)
                self.send_header("Location", self.path[len("/redirect"):])
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            if self.path.startswith("/trickle/"):
                self.trickle(self.translate_path(self.path[len("/trickle"):]))
                return
            self.serve_file(self.path, wanted, False)

        def serve_file(self, url_path, wanted, drop):
            path = self.translate_path(url_path)
            if not os.path.isfile(path):
                self.send_error(404)
                return
            size = os.path.getsize(path)
            first, last = 0, size - 1
            match = re.fullmatch(r"bytes=(\d+)-(\d*)", wanted or "")
            if wanted and (not match or int(match.group(1)) >= size):
                self.send_error(416)
                return
            if match:
                first = int(match.group(1))
                last = min(int(match.group(2)), size - 1) if match.group(2) else size - 1
                self.send_response(206)
                self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, size))
            else:
                self.send_response(200)
            self.send_header("Content-Length", str(last - first + 1))
            self.end_headers()
            left = (last - first + 1) // 2 if drop else last - first + 1
            with open(path, "rb") as served:
                served.seek(first)
                while left > 0:
                    block = served.read(min(left, 1 << 20))
                    self.wfile.write(block)
                    left -= len(block)
            if drop:
                self.wfile.flush()
                self.close_connection = True

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


def start_scripted(root, state):
    """This script's own server on a free port; (stop function, port)."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(state, "server.pem"), os.path.join(state, "server.key"))
    server = http.server.ThreadingHTTPServer(("localhost", 0), handler_for(root, state))
    server.daemon_threads = True
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()

    def stop():
        server.shutdown()
        server.server_close()
    return stop, server.server_address[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("state")
    parser.add_argument("--seconds", type=float, default=300)
    parser.add_argument("--authority")
    parser.add_argument("--nginx", action="store_true")
    options = parser.parse_args()
    os.makedirs(options.state, exist_ok=True)
    detach(options.state)
    make_certificates(options.state, options.authority or options.state)
    started = (start_nginx if options.nginx else start_scripted)(options.root, options.state)
    if started:
        stop, port = started
        port_file = os.path.join(options.state, "port")
        with open(port_file + ".new", "w") as out:
            out.write(str(port))
        os.replace(port_file + ".new", port_file)

        deadline = time.monotonic() + options.seconds
        stop_file = os.path.join(options.state, "stop")
        while time.monotonic() < deadline and not os.path.exists(stop_file):
            time.sleep(0.1)
        stop()
    open(os.path.join(options.state, "stopped"), "w").close()
    return 0 if started else 1


if __name__ == "__main__":
    sys.exit(main())

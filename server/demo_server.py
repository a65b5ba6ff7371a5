#!/usr/bin/env python3
"""The demo update server: serves a Quellfix update-server tree over HTTP.

    python3 server/demo_server.py [--root DIR] [--port N] [--port-file FILE]
                                  [--pid-file FILE] [--log FILE] [--rate BYTES]

It serves the files below --root (by default build/server-root, the tree
the build lays out) on http://127.0.0.1:47100/ and stops cleanly on SIGTERM
or Ctrl+C. "/" and every folder answer with their index.html.

Quellfix asks for the catalog of its own system, update/v2/O_B_L.ini (OsCode,
bits, primary language number). So that the demo lists updates on any
language edition, a catalog that the tree does not hold is answered with the
Korean catalog of the same OsCode and bit width (O_B_18.ini, or 4_32_18.ini
when there is none), its LANGUAGE line set to L. Wine, for one, reports the
unusual language 165. When the tree is signed (the stand-in's source has a
.sig beside it), the stand-in's signature is made on request with the demo
key (--sign-key), so a signed build takes it as it takes the others.

Like any ordinary web server it answers a request for one byte range
("Range: bytes=N-" or "bytes=N-M") with 206 and that part of the file, so
interrupted downloads can be resumed against it; other range forms get the
whole file. --rate N sends every answer's body at about N bytes a second, to
try out slow links and interrupted downloads.

A real server needs none of this: any web server that serves the tree as
plain files will do (see nginx.conf and docs/administrators.md).
"""

import argparse
import http.server
import mimetypes
import os
import re
import signal
import subprocess
import sys
import threading
import time
import urllib.parse

DEFAULT_PORT = 47100
DEFAULT_ROOT = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                            "build", "server-root")

KOREAN = 18
FALLBACK_CATALOG = "4_32_18.ini"
DEMO_SIGNING_KEY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "demo", "trust-demo.pem")
CATALOG_PATH = re.compile(r"^/update/v2/(\d+)_(\d+)_(\d+)\.ini$")
ONE_RANGE = re.compile(r"^\s*bytes\s*=\s*(\d+)\s*-\s*(\d*)\s*$")

# Types for what the tree holds; the catalogs and the version file are CP949
# text, which browsers know as euc-kr.
CONTENT_TYPES = {
    ".ini": "text/plain; charset=euc-kr",
    ".inf": "text/plain; charset=euc-kr",
    ".html": "text/html; charset=utf-8",
    ".exe": "application/octet-stream",
    ".msi": "application/octet-stream",
    ".msu": "application/octet-stream",
}

# Errors a client causes by hanging up; never worth a traceback.
CLIENT_GONE = (ConnectionError, TimeoutError)


def set_language(catalog, language):
    """The catalog (CP949 bytes) with the LANGUAGE key of its INFO section
    set to `language`; the line is added when the section has none."""
    text = catalog.decode("cp949", errors="surrogateescape")
    newline = "\r\n" if "\r\n" in text else "\n"
    lines = text.splitlines(keepends=True)
    section = None
    last_info_line = None
    for i, line in enumerate(lines):
        stripped = line.strip()
        if stripped.startswith("["):
            section = stripped[1:].split("]", 1)[0].strip().upper()
            if section == "INFO":
                last_info_line = i
            continue
        if section != "INFO" or not stripped:
            continue
        last_info_line = i
        if "=" in line and line.split("=", 1)[0].strip().upper() == "LANGUAGE":
            ending = line[len(line.rstrip("\r\n")):]
            lines[i] = "LANGUAGE=%d%s" % (language, ending)
            return "".join(lines).encode("cp949", errors="surrogateescape")
    if last_info_line is None:
        # No INFO section: Quellfix refuses such a file whatever we do.
        return catalog
    if not lines[last_info_line].endswith(("\r", "\n")):
        lines[last_info_line] += newline
    lines.insert(last_info_line + 1, "LANGUAGE=%d%s" % (language, newline))
    return "".join(lines).encode("cp949", errors="surrogateescape")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuellfixDemoServer/1"
    timeout = 60

    def log_message(self, format, *args):
        self.server.log("%s %s" % (self.address_string(), format % args))

    def handle(self):
        try:
            super().handle()
        except CLIENT_GONE:
            self.close_connection = True

    def do_GET(self):
        self.answer(send_body=True)

    def do_HEAD(self):
        self.answer(send_body=False)

    def answer(self, send_body):
        url_path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        path = self.server.resolve(url_path)
        if path is None:
            self.send_text(403, "403 Forbidden", send_body)
            return
        if os.path.isdir(path):
            if not url_path.endswith("/"):
                self.send_response(301)
                self.send_header("Location", url_path + "/")
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            path = os.path.join(path, "index.html")

        body = self.read_file(path)
        if body is None and url_path.endswith(".ini.sig"):
            body = self.stand_in_signature(url_path[:-len(".sig")])
        if body is None:
            body = self.stand_in_catalog(url_path)
        if body is None:
            self.send_text(404, "404 Not Found", send_body)
            return
        extension = os.path.splitext(path)[1].lower()
        content_type = CONTENT_TYPES.get(extension) or \
            mimetypes.guess_type(path)[0] or "application/octet-stream"
        self.send_range_or_body(content_type, body, send_body)

    def send_range_or_body(self, content_type, body, send_body):
        """The body, or the one range the request asks for."""
        match = ONE_RANGE.match(self.headers.get("Range", ""))
        if not match or (match.group(2) and int(match.group(2)) < int(match.group(1))):
            self.send_body(200, content_type, body, send_body)
            return
        first = int(match.group(1))
        last = min(int(match.group(2)), len(body) - 1) if match.group(2) else len(body) - 1
        if first >= len(body):
            self.send_body(416, content_type, b"", send_body,
                           {"Content-Range": "bytes */%d" % len(body)})
            return
        self.send_body(206, content_type, body[first:last + 1], send_body,
                       {"Content-Range": "bytes %d-%d/%d" % (first, last, len(body))})

    @staticmethod
    def read_file(path):
        try:
            with open(path, "rb") as f:
                return f.read()
        except (FileNotFoundError, IsADirectoryError, NotADirectoryError):
            return None

    def stand_in_signature(self, catalog_path):
        """The demo key's signature over the stand-in catalog, when the
        catalog it retells is signed."""
        retold = self.stand_in_catalog(catalog_path, need_signed=True)
        if retold is None or not self.server.sign_key:
            return None
        done = subprocess.run(["openssl", "dgst", "-sha256", "-sign", self.server.sign_key],
                              input=retold, capture_output=True)
        if done.returncode != 0:
            self.server.log("cannot sign the stand-in for %s: %s"
                            % (catalog_path, done.stderr.decode(errors="replace").strip()))
            return None
        return done.stdout

    def stand_in_catalog(self, url_path, need_signed=False):
        """The Korean catalog of the same system, retold for language L."""
        match = CATALOG_PATH.match(url_path)
        if not match:
            return None
        os_code, bits, language = (int(part) for part in match.groups())
        folder = os.path.join(self.server.root, "update", "v2")
        for name in ("%d_%d_%d.ini" % (os_code, bits, KOREAN), FALLBACK_CATALOG):
            catalog = self.read_file(os.path.join(folder, name))
            if need_signed and not os.path.exists(os.path.join(folder, name + ".sig")):
                catalog = None
            if catalog is not None:
                self.server.log("%s answered with %s, LANGUAGE=%d"
                                % (url_path, name, language))
                return set_language(catalog, language)
        return None

    def send_text(self, code, text, send_body):
        body = ("<html><head><meta charset=\"utf-8\"><title>%s</title></head>"
                "<body><h1>%s</h1></body></html>\n" % (text, text)).encode("utf-8")
        self.send_body(code, "text/html; charset=utf-8", body, send_body)

    def send_body(self, code, content_type, body, send_body, headers=None):
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Accept-Ranges", "bytes")
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        # Catalogs and the version file change under the same names.
        self.send_header("Cache-Control", "no-cache")
        self.end_headers()
        if not send_body:
            return
        rate = self.server.rate
        if not rate:
            self.wfile.write(body)
            return
        # Pieces of a twentieth of a second each, paced from the start.
        piece = max(1, min(64 * 1024, rate // 20))
        started = time.monotonic()
        for sent in range(0, len(body), piece):
            ahead = started + sent / rate - time.monotonic()
            if ahead > 0:
                time.sleep(ahead)
            self.wfile.write(body[sent:sent + piece])


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, root, log_file, sign_key=DEMO_SIGNING_KEY, handler=None,
                 rate=0):
        self.root = os.path.realpath(root)
        self.sign_key = sign_key
        self.rate = rate  # bytes a second for each answer's body; 0: no limit
        self.log_file = log_file
        self.log_lock = threading.Lock()
        super().__init__(address, handler or Handler)

    def log(self, line):
        if self.log_file is None:
            return
        with self.log_lock:
            self.log_file.write(line + "\n")
            self.log_file.flush()

    def resolve(self, url_path):
        """The file path for a decoded URL path; None if it leaves the root."""
        if "\0" in url_path:
            return None
        relative = os.path.normpath("./" + url_path.lstrip("/"))
        if relative == ".." or relative.startswith(".." + os.sep):
            return None
        candidate = os.path.realpath(os.path.join(self.root, relative))
        if os.path.commonpath([self.root, candidate]) != self.root:
            return None
        return candidate

    def handle_error(self, request, client_address):
        if isinstance(sys.exc_info()[1], CLIENT_GONE):
            return
        super().handle_error(request, client_address)


def write_number_file(path, number):
    """Writes `number` so that a reader never sees a partial file."""
    tmp = "%s.%d.tmp" % (path, os.getpid())
    with open(tmp, "w", encoding="ascii") as f:
        f.write(str(number))
    os.replace(tmp, path)


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Serves a Quellfix update-server tree on 127.0.0.1.")
    parser.add_argument("--root", default=DEFAULT_ROOT,
                        help="folder to serve (default: %(default)s)")
    parser.add_argument("--port", type=int, default=DEFAULT_PORT,
                        help="port on 127.0.0.1 (default %(default)s; 0: any free port)")
    parser.add_argument("--port-file",
                        help="file that receives the port actually bound")
    parser.add_argument("--pid-file",
                        help="file that receives this process's id, for stopping it "
                        "with SIGTERM even when python3 is a wrapper script")
    parser.add_argument("--sign-key", default=DEMO_SIGNING_KEY,
                        help="private key that signs stand-in catalogs of a signed tree "
                        "(default: the demo key)")
    parser.add_argument("--log", help="file for one line per request "
                        "(default: standard error; '-' for none)")
    parser.add_argument("--rate", type=int, default=0, metavar="BYTES",
                        help="send each answer's body at about BYTES a second "
                        "(default 0: as fast as possible)")
    args = parser.parse_args(argv)

    if not os.path.isdir(args.root):
        parser.error("--root %s is not a folder (build the project first?)" % args.root)
    if args.rate < 0:
        parser.error("--rate must be 0 (no limit) or a number of bytes a second")

    if args.log == "-":
        log_file = None
    elif args.log:
        log_file = open(args.log, "a", encoding="utf-8")
    else:
        log_file = sys.stderr

    try:
        server = Server(("127.0.0.1", args.port), args.root, log_file, args.sign_key,
                        rate=args.rate)
    except OSError as exc:
        parser.exit(1, "demo_server: cannot listen on 127.0.0.1:%d: %s\n"
                    % (args.port, exc.strerror or exc))
    port = server.server_address[1]

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda signum, frame: stop.set())
    signal.signal(signal.SIGINT, lambda signum, frame: stop.set())

    worker = threading.Thread(target=server.serve_forever,
                              kwargs={"poll_interval": 0.1}, daemon=True)
    worker.start()
    if args.pid_file:
        write_number_file(args.pid_file, os.getpid())
    if args.port_file:
        write_number_file(args.port_file, port)
    print("Quellfix demo server: http://127.0.0.1:%d/ serving %s" % (port, server.root),
          flush=True)

    while not stop.wait(1.0):
        pass

    server.shutdown()
    server.server_close()
    worker.join(5)
    if log_file not in (None, sys.stderr):
        log_file.close()
    if args.pid_file:
        try:
            os.remove(args.pid_file)
        except OSError:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Fills a Quellfix repository folder from an update server, for PCs that
update without a network: the folder, named `repository` and put beside
Quellfix.exe (on a USB stick, say), stands in for the server.

    python3 server/mirror.py SERVER_URL DIR --system O_B_L [--system O_B_L ...]
                             [--pubkey PEM] [--prune] [--openssl PATH]

SERVER_URL is the server's base address (http:// or https://, ending in
'/'), DIR the repository folder (made when missing; its parent must exist).
For each system O_B_L (OsCode, bits, language number, as in the catalogs'
names) DIR receives

    update/v2/O_B_L.ini (+ .sig)    the catalog, as the server has it
    update/version.inf              the newest program version
    update/setup.exe (+ .sig)       the setup program
    files/H/N                       every installer the catalog names

H is the first 32 hexadecimal digits (lower case) of the SHA-256 of the
bytes of the installer's URL as the program reads the catalog; N is the
last segment of the URL's path when it is a safe file name, else "file"
(see repository_path below; tests/fixtures/repository_paths.txt holds the
cases the program is tested against too).

Every entry 1..COUNT of the catalog with a URL is fetched, whatever its
conditions: which updates apply is decided on the PC. An installer the
catalog pins (SHA256) must match before it takes its name; a mismatch is
deleted and reported. Files already in place are not fetched again: pinned
ones when their digest matches, others when their size is the server's
Content-Length. Everything is written under a temporary name and renamed
when complete, and an interrupted installer download is resumed.

--pubkey PEM    check every signature (catalogs, setup.exe) with openssl;
                a catalog or setup program that does not verify, or has no
                signature, is refused and the one in DIR is kept
--prune         remove installers under DIR/files that no catalog in
                DIR/update/v2 names any more
--openssl PATH  the openssl program (default: openssl on the PATH)

Progress goes to standard error, a summary to standard output. The exit
status is 0 when everything is in place, 1 when something failed (each
failure is named), 2 for a wrong command line.
"""

import argparse
import hashlib
import http.client
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.parse
import urllib.request

TIMEOUT = 30                # seconds any network wait may take
ENTRY_LIMIT = 10000         # the program reads at most this many entries
VALUE_BUFFER = 1024         # the program reads a value into this many bytes
NAME_LIMIT = 100            # bytes of an installer's file name in the repository
HASH_DIGITS = 32
FALLBACK_NAME = b"file"
CATALOG_LIMIT = 64 << 20    # a larger answer is no catalog
SMALL_LIMIT = 1 << 20       # version file, signatures
PIECE = 64 * 1024
USER_AGENT = "Quellfix-mirror/1"
PIN = re.compile(rb"[0-9A-Fa-f]{64}")
SYSTEM = re.compile(r"(\d{1,4})_(\d{1,4})_(\d{1,4})")
PARTIAL = ".part"           # a download in progress: N.part, its facts in N.part.info
PARTIAL_INFO = ".part.info"

EXIT_DONE, EXIT_FAILED = 0, 1  # and 2, from argparse, for a wrong command line


# -- The catalog as the program reads it -----------------------------------
#
# The Windows profile reader: lines end at CR LF, LF or a lone CR; blanks
# (space, tab, vertical tab) around lines, names and values are dropped; a
# line starting with ';' is a comment; "[name" up to the first ']' starts a
# section; "key=value" (split at the first '=') is a key; names match with
# A-Z in either case; of repeated sections or keys the first counts; a NUL
# byte ends a name or value. A value loses one pair of enclosing quotation
# marks and is cut to the buffer less one byte, never inside a double-byte
# character. Catalogs are CP949 bytes and stay bytes here.

BLANKS = b" \t\v"
LINE_END = re.compile(rb"\r\n|\r|\n")


def is_lead_byte(byte):
    return 0x81 <= byte <= 0xFE


def lower_ansi(name):
    """`name` with A-Z lowered, the trail bytes of CP949 characters left alone."""
    out = bytearray(name)
    i = 0
    while i < len(out):
        if is_lead_byte(out[i]) and i + 1 < len(out):
            i += 2
            continue
        if 0x41 <= out[i] <= 0x5A:
            out[i] += 0x20
        i += 1
    return bytes(out)


def up_to_nul(text):
    return text.split(b"\0", 1)[0]


def cut_at_character(text, limit):
    if len(text) <= limit:
        return text
    at = 0
    while at < limit:
        width = 2 if is_lead_byte(text[at]) and at + 1 < len(text) else 1
        if at + width > limit:
            break
        at += width
    return text[:at]


class Catalog:
    """The sections and keys of a catalog, as the reader takes them."""

    def __init__(self, data):
        self.sections = {}
        current = None
        for line in LINE_END.split(data):
            text = line.strip(BLANKS)
            if not text or text.startswith(b";"):
                continue
            if text.startswith(b"["):
                close = text.find(b"]")
                name = up_to_nul(text[1:close if close >= 0 else len(text)]).strip(BLANKS)
                key = lower_ansi(name)
                # A later section of the same name is never read.
                current = self.sections.setdefault(key, {}) if key not in self.sections else None
                continue
            equals = text.find(b"=")
            if current is None or equals < 0:
                continue
            name = up_to_nul(text[:equals]).strip(BLANKS)
            value = up_to_nul(text[equals + 1:]).strip(BLANKS)
            current.setdefault(lower_ansi(name), value)

    def read(self, section, key, missing=b""):
        """What GetPrivateProfileStringA gives with a buffer of VALUE_BUFFER."""
        value = self.sections.get(lower_ansi(section), {}).get(lower_ansi(key))
        if value is None:
            return cut_at_character(missing.rstrip(b" "), VALUE_BUFFER - 1)
        if len(value) >= 2 and value[:1] in (b'"', b"'") and value[-1:] == value[:1]:
            value = value[1:-1]
        return cut_at_character(value, VALUE_BUFFER - 1)

    def accepted(self):
        """The program takes a fetched catalog only with a LANGUAGE in [INFO]."""
        return self.read(b"INFO", b"LANGUAGE", b"ERROR").lower() != b"error"

    def entries(self):
        """(number, URL, SHA256) of each entry 1..COUNT (at most ENTRY_LIMIT)
        with a URL, all values as bytes."""
        count = catalog_int(self.read(b"INFO", b"COUNT", b"0"))
        found = []
        for number in range(1, min(max(count, 0), ENTRY_LIMIT) + 1):
            section = str(number).encode("ascii")
            url = self.read(section, b"URL")
            if url:
                found.append((number, url, self.read(section, b"SHA256")))
        return found


def catalog_int(text):
    """The C library's atoi as the program applies it: blanks, a sign, digits."""
    match = re.match(rb"[ \t\n\v\f\r]*([+-]?)(\d*)", text)
    digits = match.group(2).lstrip(b"0")
    if not digits:
        return 0
    value = int(digits[:12])
    return -min(value, 2 ** 31) if match.group(1) == b"-" else min(value, 2 ** 31 - 1)


# -- Where an installer goes ------------------------------------------------

DEVICES = {b"CON", b"PRN", b"AUX", b"NUL", b"CONIN$", b"CONOUT$"}
UNSAFE = set(b'\\/:*?<>"|')


def is_device_name(name):
    stem = name.split(b".", 1)[0].rstrip(b" ")
    stem = stem.upper()
    if stem in DEVICES:
        return True
    return len(stem) == 4 and stem[:3] in (b"COM", b"LPT") and 0x31 <= stem[3] <= 0x39


def is_safe_name(name):
    """True when `name` (bytes) can be an installer's file name in the repository."""
    return (0 < len(name) <= NAME_LIMIT and name not in (b".", b"..")
            and not any(b < 0x20 or b > 0x7E or b in UNSAFE for b in name)
            and not name.endswith((b".", b" ")) and not is_device_name(name))


def repository_path(url):
    """(H, N) for a URL value (bytes): the folder below files/ and the file's
    name, both bytes. N is the last segment of the URL's path (after the last
    '/', once any '?query' or '#fragment' is cut off) when it is a safe name."""
    folder = hashlib.sha256(url).hexdigest()[:HASH_DIGITS].encode("ascii")
    end = min([i for i in (url.find(b"?"), url.find(b"#")) if i >= 0] or [len(url)])
    name = url[:end].rpartition(b"/")[2]
    return folder, name if is_safe_name(name) else FALLBACK_NAME


def windows_path(url):
    """The repository-relative path of the URL's installer as the program
    forms it: CP949 bytes with backslashes."""
    folder, name = repository_path(url)
    return b"files\\" + folder + b"\\" + name


def local_path(root, url):
    """Where the URL's installer lies below `root` on this machine."""
    folder, name = repository_path(url)
    return os.path.join(root, "files", folder.decode("ascii"), name.decode("ascii"))


# -- Messages and progress ----------------------------------------------------

def size_text(count):
    for unit, scale in (("GB", 1 << 30), ("MB", 1 << 20), ("KB", 1 << 10)):
        if count >= scale:
            return "%.1f %s" % (count / scale, unit)
    return "%d bytes" % count


def shown(data):
    """URL or name bytes for a message: CP949 text, other bytes as \\xNN."""
    return data.decode("cp949", "backslashreplace")


class Progress:
    """Lines on standard error: one per finished file, and for a download
    that takes a while, how far it is (a line that rewrites itself on a
    terminal, a line every few seconds elsewhere)."""

    def __init__(self, stream=sys.stderr):
        self.stream = stream
        self.terminal = stream.isatty()
        self.started = time.monotonic()
        self.transferred = 0
        self.done = 0
        self.total = 0
        self.last_shown = 0.0
        self.open_line = False

    def rate(self):
        elapsed = time.monotonic() - self.started
        return "%s/s" % size_text(int(self.transferred / elapsed)) if elapsed > 0.05 else "-"

    def say(self, text):
        if self.open_line:
            self.stream.write("\r\x1b[K")
            self.open_line = False
        self.stream.write(text + "\n")
        self.stream.flush()

    def begin(self):
        """A download starts: its first progress line comes after a while."""
        self.last_shown = time.monotonic()

    def counter(self):
        return "[%d/%d]" % (self.done, self.total) if self.total else ""

    def receiving(self, what, have, whole):
        now = time.monotonic()
        if now - self.last_shown < (0.25 if self.terminal else 5.0):
            return
        self.last_shown = now
        part = "%s of %s" % (size_text(have), size_text(whole)) if whole else size_text(have)
        line = "%s %s: %s; %s" % (self.counter(), what, part, self.totals())
        if self.terminal:
            self.stream.write("\r\x1b[K" + line[:150])
            self.open_line = True
            self.stream.flush()
        else:
            self.say(line.strip())

    def finished(self, text):
        self.say(("%s %s" % (self.counter(), text)).strip())

    def totals(self):
        return "%s in all, %s" % (size_text(self.transferred), self.rate())


class Failed(Exception):
    """What went wrong with one file; the message says it for the summary."""


class FetchError(Failed):
    def __init__(self, message, status=None):
        super().__init__(message)
        self.status = status


# -- HTTP -------------------------------------------------------------------

def request_url(url):
    """The URL value (bytes) as a request address: bytes outside printable
    ASCII percent-escaped. Raises Failed for what is no http(s) address."""
    escaped = "".join(chr(b) if 0x21 <= b <= 0x7E else "%%%02X" % b for b in url)
    try:
        parts = urllib.parse.urlsplit(escaped)
        if parts.scheme.lower() in ("http", "https") and parts.hostname:
            parts.port  # raises for a port that is no number
            return urllib.parse.urlunsplit(parts._replace(fragment=""))
    except ValueError:
        pass
    raise Failed("%s is not an http:// or https:// address" % escaped)


def reason_text(reason, url):
    if isinstance(reason, (socket.timeout, TimeoutError)):
        return "no answer within %d s from %s" % (TIMEOUT, url)
    if isinstance(reason, ConnectionRefusedError):
        return "cannot connect to %s: connection refused" % url
    if isinstance(reason, socket.gaierror):
        return "cannot find the host of %s: %s" % (url, reason.strerror or reason)
    if isinstance(reason, OSError) and reason.strerror:
        return "cannot connect to %s: %s" % (url, reason.strerror)
    return "cannot fetch %s: %s" % (url, reason)


class Http:
    def __init__(self):
        self.opener = urllib.request.build_opener()

    def open(self, url, method="GET", headers=None):
        """The response to a request; FetchError for a failure or an error status."""
        request = urllib.request.Request(url, method=method, headers=dict(
            {"User-Agent": USER_AGENT, "Accept-Encoding": "identity",
             "Cache-Control": "no-cache"}, **(headers or {})))
        try:
            return self.opener.open(request, timeout=TIMEOUT)
        except urllib.error.HTTPError as e:
            e.close()
            raise FetchError("HTTP %d %s" % (e.code, url), e.code)
        except urllib.error.URLError as e:
            raise FetchError(reason_text(e.reason, url))
        except (http.client.HTTPException, OSError, ValueError) as e:
            raise FetchError(reason_text(e, url))

    def get(self, url, limit, missing_ok=False):
        """The whole body of `url`, at most `limit` bytes; None for a 404
        when `missing_ok`."""
        try:
            response = self.open(url)
        except FetchError as e:
            if missing_ok and e.status in (404, 410):
                return None
            raise
        with response:
            body = read_body(response, url, limit)
        return body

    def head_length(self, url):
        """The Content-Length a HEAD request reports; None when the server
        gives none or refuses HEAD."""
        try:
            response = self.open(url, method="HEAD")
        except FetchError as e:
            if e.status in (405, 501):
                return None
            raise
        with response:
            length = response.headers.get("Content-Length", "")
        return int(length) if length.strip().isdigit() else None


def expected_length(response):
    length = response.headers.get("Content-Length", "")
    return int(length) if length.strip().isdigit() else None


def read_body(response, url, limit):
    chunks, have = [], 0
    try:
        while True:
            chunk = response.read(PIECE)
            if not chunk:
                break
            have += len(chunk)
            if have > limit:
                raise FetchError("%s is larger than %s" % (url, size_text(limit)))
            chunks.append(chunk)
    except (http.client.HTTPException, OSError) as e:
        raise FetchError(lost_text(e, url, have))
    expected = expected_length(response)
    if expected is not None and have != expected:
        raise FetchError("connection lost after %s of %s from %s"
                         % (size_text(have), size_text(expected), url))
    return b"".join(chunks)


def lost_text(error, url, have):
    if isinstance(error, (socket.timeout, TimeoutError)):
        return "no data for %d s from %s (after %s)" % (TIMEOUT, url, size_text(have))
    return "connection lost after %s from %s" % (size_text(have), url)


# -- Files --------------------------------------------------------------------

def remove_quietly(*paths):
    for path in paths:
        try:
            os.remove(path)
        except FileNotFoundError:
            pass


def write_file(path, data):
    """Writes `data` to `path` and to the disk (a stick may be pulled next)."""
    with open(path, "wb") as f:
        f.write(data)
        f.flush()
        os.fsync(f.fileno())


def failure_text(error):
    if isinstance(error, Failed):
        return str(error)
    return "%s: %s" % (error.filename or "a file", error.strerror or error)


def file_digest(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


class OpenSSL:
    def __init__(self, program, public_key):
        self.program = program
        self.public_key = public_key

    def verifies(self, path, signature):
        try:
            done = subprocess.run([self.program, "dgst", "-sha256", "-verify", self.public_key,
                                   "-signature", signature, path], stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=300)
        except (OSError, subprocess.TimeoutExpired) as e:
            raise Failed("openssl could not be run: %s" % e)
        return done.returncode == 0 and b"Verified OK" in done.stdout


# -- The mirror -----------------------------------------------------------------

class Mirror:
    def __init__(self, server, root, systems, openssl=None, progress=None):
        self.server = server
        self.root = root
        self.systems = systems
        self.openssl = openssl
        self.http = Http()
        self.progress = progress or Progress()
        self.fetched = []      # (what, size)
        self.already = []      # what
        self.failures = []     # (what, reason)
        self.installer_failures = 0
        self.installer_count = 0
        self.pruned = []       # paths removed
        self.warnings = []

    def fail(self, what, reason, installer=False):
        self.failures.append((what, reason))
        self.installer_failures += installer
        self.progress.say("FAILED %s: %s" % (what, reason))

    def path(self, relative):
        return os.path.join(self.root, *relative.split("/"))

    # The update files: catalogs, version file, setup program.

    def get(self, url, limit, missing_ok=False):
        body = self.http.get(url, limit, missing_ok)
        self.progress.transferred += len(body or b"")
        return body

    def signature_of(self, url):
        """The server's signature for `url` (None when it has none)."""
        try:
            return self.get(url + ".sig", SMALL_LIMIT, missing_ok=True)
        except FetchError as e:
            raise Failed("cannot fetch its signature: %s" % e)

    def check_signature(self, path, signature):
        """Writes `signature` (bytes, or None when the server has none) beside
        the fetched file `path` (a temporary name) and, with a trusted key,
        checks it."""
        if signature is not None:
            write_file(path + ".sig", signature)
        if self.openssl is None:
            return
        if signature is None:
            raise Failed("refused: the server has no signature for it")
        if not self.openssl.verifies(path, path + ".sig"):
            raise Failed("refused: its signature does not verify with the trusted key")

    def put_signed(self, relative, signature):
        """Moves a fetched file and its signature from their temporary names
        into place, one right after the other; a signature the server no
        longer has goes."""
        final = self.path(relative)
        os.replace(final + PARTIAL, final)
        if signature is None:
            remove_quietly(final + ".sig")
        else:
            os.replace(final + PARTIAL + ".sig", final + ".sig")

    def mirror_catalog(self, system):
        relative = "update/v2/%s.ini" % system
        url = self.server + relative
        final = self.path(relative)
        temporary = final + PARTIAL
        kept = "; the one in the repository was kept" if os.path.exists(final) else ""
        try:
            data = self.get(url, CATALOG_LIMIT)
            if not Catalog(data).accepted():
                raise Failed("%s is no catalog (no LANGUAGE in its [INFO] section)" % url)
            signature = self.signature_of(url)
            write_file(temporary, data)
            self.check_signature(temporary, signature)
            self.put_signed(relative, signature)
        except (Failed, OSError) as e:
            remove_quietly(temporary, temporary + ".sig")
            self.fail(relative, failure_text(e) + kept)
            return
        count = len(Catalog(data).entries())
        self.fetched.append((relative, len(data)))
        self.progress.say("%s: fetched (%s, %d installer%s)%s"
                          % (relative, size_text(len(data)), count, "" if count == 1 else "s",
                             ", signature verified" if self.openssl else ""))

    def mirror_version(self):
        relative = "update/version.inf"
        url = self.server + relative
        try:
            data = self.get(url, SMALL_LIMIT)
            write_file(self.path(relative) + PARTIAL, data)
            os.replace(self.path(relative) + PARTIAL, self.path(relative))
        except (Failed, OSError) as e:
            remove_quietly(self.path(relative) + PARTIAL)
            self.fail(relative, failure_text(e))
            return
        self.fetched.append((relative, len(data)))
        first = LINE_END.split(data, 1)[0].decode("cp949", "replace").strip()
        self.progress.say("%s: fetched (newest version %s)" % (relative, first or "not given"))

    def mirror_setup(self):
        relative = "update/setup.exe"
        url = self.server + relative
        final = self.path(relative)
        temporary = final + PARTIAL
        try:
            size, _ = self.download(url, temporary, relative, resumable=False)
            signature = self.signature_of(url)
            self.check_signature(temporary, signature)
            self.put_signed(relative, signature)
        except (Failed, OSError) as e:
            remove_quietly(temporary, temporary + ".sig")
            kept = "; the one in the repository was kept" if os.path.exists(final) else ""
            self.fail(relative, failure_text(e) + kept)
            return
        self.fetched.append((relative, size))
        self.progress.say("%s: fetched (%s)%s" % (relative, size_text(size),
                                                 ", signature verified" if self.openssl else ""))

    # Installers.

    def installers(self):
        """URL -> set of pins (lower-case digests) for every installer the
        catalogs of this run's systems in the repository name, in order."""
        wanted = {}
        for system in self.systems:
            path = self.path("update/v2/%s.ini" % system)
            try:
                with open(path, "rb") as f:
                    catalog = Catalog(f.read())
            except FileNotFoundError:
                continue
            except OSError as e:
                self.fail("update/v2/%s.ini" % system, "cannot read it: %s" % e.strerror)
                continue
            for number, url, pin in catalog.entries():
                pins = wanted.setdefault(url, set())
                if PIN.fullmatch(pin):
                    pins.add(pin.decode("ascii").lower())
                elif pin:
                    self.warnings.append("%s.ini [%d]: SHA256=%s is no 64-digit digest: the "
                                         "program never installs this entry"
                                         % (system, number, shown(pin)))
        return wanted

    def mirror_installer(self, url, pins):
        final = local_path(self.root, url)
        relative = windows_path(url).decode("ascii").replace("\\", "/")
        what = "%s (%s)" % (relative, shown(url))
        try:
            address = request_url(url)
            if os.path.isfile(final) and self.in_place(final, address, pins):
                self.already.append(what)
                self.progress.done += 1
                self.progress.finished("already there %s" % relative)
                return
            if pins:
                remove_quietly(final)  # not the pinned installer: it never stays
            os.makedirs(os.path.dirname(final), exist_ok=True)
            temporary = final + PARTIAL
            size, resumed = self.download_checked(address, temporary, relative, pins)
            os.replace(temporary, final)
            remove_quietly(temporary + ".info")
        except (Failed, OSError) as e:
            self.progress.done += 1
            self.fail(what, failure_text(e), installer=True)
            return
        self.fetched.append((what, size))
        self.progress.done += 1
        self.progress.finished("fetched %s (%s%s; %s)" % (relative, size_text(size),
                                                          ", resumed" if resumed else "",
                                                          self.progress.totals()))

    def in_place(self, final, address, pins):
        if pins:
            return file_digest(final) in pins
        try:
            length = self.http.head_length(address)
        except FetchError as e:
            raise Failed("%s; the file in the repository was kept" % e)
        return length is not None and length == os.path.getsize(final)

    def download_checked(self, address, temporary, relative, pins):
        """Downloads (resuming where it can) and checks the pin: a file that
        does not match is deleted. A resumed file that does not match is
        fetched once more from the start."""
        size, resumed = self.download(address, temporary, relative)
        if pins:
            digest = file_digest(temporary)
            if digest not in pins and resumed:
                size, _ = self.download(address, temporary, relative, fresh=True)
                digest = file_digest(temporary)
            if digest not in pins:
                remove_quietly(temporary, temporary + ".info")
                raise Failed("SHA-256 mismatch: the catalog pins %s, the server sent %s "
                             "(%s); deleted" % (" or ".join(sorted(pins)), digest,
                                                size_text(size)))
        return size, resumed

    # Downloads.

    def download(self, address, temporary, label, resumable=True, fresh=False):
        """Fetches `address` into `temporary`; returns (size, resumed). A
        resumable download keeps beside its partial file what the next run
        needs to complete it (`temporary`.info), and completes a partial file
        there (unless `fresh`) when the server answers the Range request with
        the part that follows; any other answer starts from the beginning."""
        info_path = temporary + ".info"
        offset, info = 0, None
        if resumable and not fresh:
            info = read_info(info_path)
            if info and info.get("url") == address and os.path.isfile(temporary):
                offset = os.path.getsize(temporary)
        self.progress.begin()
        headers = {}
        if offset:
            headers["Range"] = "bytes=%d-" % offset
            if info.get("validator"):
                headers["If-Range"] = info["validator"]
        try:
            response = self.http.open(address, headers=headers)
        except FetchError as e:
            if offset and e.status == 416:
                return self.download(address, temporary, label, resumable, fresh=True)
            raise
        with response:
            if offset and response.status == 206 and \
                    not continues(response, offset, info.get("length")):
                response.close()
                return self.download(address, temporary, label, resumable, fresh=True)
            if offset and response.status == 206:
                total = info.get("length")
                mode = "ab"
            else:
                offset = 0  # the whole file
                total = expected_length(response)
                mode = "wb"
                remove_quietly(info_path)
                if resumable:
                    write_info(info_path, address, total, response.headers)
            have = offset
            try:
                with open(temporary, mode) as f:
                    while True:
                        try:
                            chunk = response.read(PIECE)
                        except (http.client.HTTPException, OSError) as e:
                            raise FetchError(lost_text(e, address, have - offset) +
                                             ("; the next run goes on from there"
                                              if resumable else ""))
                        if not chunk:
                            break
                        f.write(chunk)
                        have += len(chunk)
                        self.progress.transferred += len(chunk)
                        self.progress.receiving(label, have, total)
                    f.flush()
                    os.fsync(f.fileno())
            except FetchError:
                raise
            except OSError as e:
                raise Failed("cannot write %s: %s" % (temporary, e.strerror or e))
        if total is not None and have != total:
            raise FetchError("connection lost after %s of %s from %s%s"
                             % (size_text(have), size_text(total), address,
                                "; the next run goes on from there" if resumable else ""))
        return have, bool(offset)

    # Pruning.

    def prune(self):
        files = os.path.join(self.root, "files")
        if os.path.islink(files):
            self.fail("files", "is a link; not pruned")
            return
        if not os.path.isdir(files):
            return
        wanted = {}  # folder -> names kept there, in lower case
        folder = self.path("update/v2")
        names = sorted(n for n in os.listdir(folder) if n.lower().endswith(".ini")) \
            if os.path.isdir(folder) else []
        if not names:
            self.fail("files", "no catalog in update/v2 names anything: nothing was pruned")
            return
        for name in names:
            try:
                with open(os.path.join(folder, name), "rb") as f:
                    entries = Catalog(f.read()).entries()
            except OSError as e:
                self.fail("update/v2/" + name, "cannot read it (%s); nothing was pruned"
                          % e.strerror)
                return
            for _, url, _ in entries:
                h, n = repository_path(url)
                n = n.decode("cp949")
                wanted.setdefault(h.decode("ascii"), set()).update(
                    x.lower() for x in (n, n + PARTIAL, n + PARTIAL_INFO))
        for top, folders, names in os.walk(files, topdown=False):
            relative = os.path.relpath(top, files)
            parts = [] if relative == "." else relative.split(os.sep)
            keep = wanted.get(parts[0].lower(), set()) if len(parts) == 1 else set()
            for name in names + [d for d in folders if os.path.islink(os.path.join(top, d))]:
                if name.lower() in keep:
                    continue
                path = os.path.join(top, name)
                try:
                    if os.path.isdir(path) and not os.path.islink(path):
                        continue
                    try:
                        os.unlink(path)
                    except IsADirectoryError:
                        os.rmdir(path)  # a link to a folder, on Windows
                    except PermissionError:
                        if not os.path.islink(path):
                            raise
                        os.rmdir(path)
                except OSError as e:
                    self.fail(os.path.relpath(path, self.root), "cannot remove it: %s"
                              % (e.strerror or e))
                    continue
                self.pruned.append(os.path.relpath(path, self.root))
                self.progress.say("pruned %s" % os.path.relpath(path, self.root))
            if top != files:
                try:
                    os.rmdir(top)  # only when empty
                except OSError:
                    pass

    # The whole run.

    def run(self, prune):
        for folder in ("update/v2", "files"):
            os.makedirs(self.path(folder), exist_ok=True)
        self.progress.say("Mirroring %s into %s" % (self.server, self.root))
        for system in self.systems:
            self.mirror_catalog(system)
        self.mirror_version()
        self.mirror_setup()
        wanted = self.installers()
        self.progress.total = self.installer_count = len(wanted)
        for url, pins in wanted.items():
            self.mirror_installer(url, pins)
        if prune:
            self.prune()
        for warning in self.warnings:
            self.progress.say("warning: " + warning)
        return EXIT_FAILED if self.failures else EXIT_DONE

    def summary(self, stream=sys.stdout, limit=12):
        installers_fetched = [w for w, _ in self.fetched if not w.startswith("update/")]
        update_fetched = len(self.fetched) - len(installers_fetched)
        update_failed = len([f for f in self.failures if f[0].startswith("update/")])
        not_reached = self.installer_count - len(installers_fetched) - len(self.already) - \
            self.installer_failures
        elapsed = time.monotonic() - self.progress.started
        lines = [
            "Repository:   %s" % self.root,
            "Server:       %s" % self.server,
            "Systems:      %s%s" % (", ".join(self.systems),
                                   " (signatures checked)" if self.openssl else ""),
            "Update files: %d fetched (catalogs, version.inf, setup.exe), %d failed"
            % (update_fetched, update_failed),
            "Installers:   %d named: %d fetched, %d already there, %d failed%s"
            % (self.installer_count, len(installers_fetched), len(self.already),
               self.installer_failures, ", %d not reached" % not_reached if not_reached else ""),
            "Transferred:  %s in %.1f s (%s)" % (size_text(self.progress.transferred),
                                               elapsed, self.progress.rate()),
        ]
        if self.pruned:
            lines.append("Pruned:       %d file%s" % (len(self.pruned),
                                                   "" if len(self.pruned) == 1 else "s"))
        if self.failures:
            lines.append("Failed:       %d" % len(self.failures))
            for what, reason in self.failures[:limit]:
                lines.append("  %s: %s" % (what, reason))
            if len(self.failures) > limit:
                lines.append("  ... and %d more (listed above)" % (len(self.failures) - limit))
            lines.append("Not everything is in place: run again once the causes are fixed.")
        else:
            lines.append("Everything is in place.")
        stream.write("\n".join(lines) + "\n")
        stream.flush()


def continues(response, offset, length):
    """True when `response` is the part of the file from `offset` on."""
    if response.status != 206:
        return False
    match = re.fullmatch(r"\s*bytes\s+(\d+)-(\d+)/(\d+)\s*",
                         response.headers.get("Content-Range", ""))
    if not match:
        return False
    first, last, total = (int(g) for g in match.groups())
    return first == offset and last == total - 1 and (length is None or total == length)


def write_info(path, address, length, headers):
    """What a resumed download must find unchanged: the address, the length
    and the server's validator for If-Range (a strong ETag or the date)."""
    etag = headers.get("ETag", "")
    validator = etag if etag and not etag.startswith("W/") else headers.get("Last-Modified", "")
    write_file(path, json.dumps({"url": address, "length": length,
                                 "validator": validator}).encode("utf-8"))


def read_info(path):
    try:
        with open(path, "rb") as f:
            info = json.loads(f.read().decode("utf-8"))
    except (OSError, ValueError):
        return None
    if not isinstance(info, dict) or not isinstance(info.get("length"), (int, type(None))):
        return None
    return info


# -- Command line -----------------------------------------------------------------

def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="mirror.py", formatter_class=argparse.RawDescriptionHelpFormatter,
        description=__doc__.split("\n\n")[0],
        epilog="\n\n".join(__doc__.split("\n\n")[1:]))
    parser.add_argument("server", metavar="SERVER_URL",
                        help="the update server's base address, e.g. http://updates.example.org/")
    parser.add_argument("root", metavar="DIR", help="the repository folder to fill")
    parser.add_argument("--system", action="append", metavar="O_B_L", required=True,
                        help="a system whose catalog and installers to take (repeatable), "
                             "e.g. 4_32_18 for Windows XP 32-bit Korean")
    parser.add_argument("--pubkey", metavar="PEM",
                        help="public key the program trusts: check every signature with it")
    parser.add_argument("--prune", action="store_true",
                        help="remove installers no catalog in DIR names any more")
    parser.add_argument("--openssl", metavar="PATH", default="openssl",
                        help="the openssl program (default: %(default)s)")
    args = parser.parse_args(argv)

    server = args.server
    parts = urllib.parse.urlsplit(server)
    if (parts.scheme.lower() not in ("http", "https") or not server.lower().startswith(
            ("http://", "https://")) or not parts.hostname or not server.endswith("/")
            or parts.query or parts.fragment or any(ord(c) <= 0x20 or ord(c) >= 0x7F
                                                    for c in server)):
        parser.error("SERVER_URL %r must be an http:// or https:// address ending in '/', "
                     "e.g. http://updates.example.org/" % server)
    try:
        parts.port
    except ValueError:
        parser.error("SERVER_URL %r has a bad port" % server)

    systems = []
    for system in args.system:
        match = SYSTEM.fullmatch(system)
        if (not match or str(int(match.group(1))) != match.group(1) or int(match.group(1)) > 7
                or match.group(2) not in ("32", "64")
                or str(int(match.group(3))) != match.group(3) or int(match.group(3)) > 1023):
            parser.error("--system %r is not O_B_L: an OsCode 0-7, 32 or 64, and a language "
                         "number 0-1023 (e.g. 4_32_18)" % system)
        if system not in systems:
            systems.append(system)
    args.system = systems

    root = os.path.abspath(args.root)
    parent = os.path.dirname(root.rstrip(os.sep)) or root
    if not os.path.isdir(parent):
        parser.error("the folder %s that would hold DIR does not exist" % parent)
    if os.path.exists(root) and not os.path.isdir(root):
        parser.error("DIR %s exists and is no folder" % root)
    args.root = root

    if args.pubkey is not None:
        try:
            with open(args.pubkey, "rb"):
                pass
        except OSError as e:
            parser.error("cannot read --pubkey %s: %s" % (args.pubkey, e.strerror or e))
        program = shutil.which(args.openssl)
        if program is None:
            parser.error("openssl was not found (%s); install it or give --openssl PATH"
                         % args.openssl)
        try:
            done = subprocess.run([program, "pkey", "-pubin", "-in", args.pubkey, "-noout"],
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        except (OSError, subprocess.TimeoutExpired) as e:
            parser.error("openssl could not be run: %s" % e)
        if done.returncode != 0:
            parser.error("--pubkey %s is no public key in PEM form" % args.pubkey)
        args.openssl = program
    return args


def main(argv=None):
    for stream in (sys.stdout, sys.stderr):
        stream.reconfigure(errors="backslashreplace")
    args = parse_arguments(argv)
    openssl = OpenSSL(args.openssl, args.pubkey) if args.pubkey else None
    mirror = Mirror(args.server, args.root, args.system, openssl)
    try:
        os.makedirs(args.root, exist_ok=True)
        status = mirror.run(args.prune)
    except KeyboardInterrupt:
        mirror.fail("the run", "interrupted; run again to complete it")
        status = EXIT_FAILED
    except OSError as e:
        mirror.fail(e.filename or args.root, "cannot write: %s" % (e.strerror or e))
        status = EXIT_FAILED
    mirror.summary()
    return status


if __name__ == "__main__":
    sys.exit(main())

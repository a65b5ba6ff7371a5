#!/usr/bin/env python3
"""Pins the installers of an update-server tree in its catalogs, and signs
the catalogs and the setup program for a Quellfix built with a trust key.

    python3 sign_tree.py hash TREE [--check] [--base URL]
    python3 sign_tree.py sign TREE --key PRIVATE.pem [--pubkey PUBLIC.pem]
                                   [--passin ARG] [--openssl PATH]
    python3 sign_tree.py verify TREE --pubkey PUBLIC.pem [--openssl PATH]

TREE is the folder served as the server's base address: it holds
update/v2/*.ini (the catalogs), update/setup.exe and the installers.

hash    writes SHA256=<SHA-256 of the installer> into every catalog entry
        whose URL names a file inside TREE (the URL's path below the host,
        or below --base when the tree is served from a subfolder). Other
        bytes of the catalog stay as they are; a catalog whose pins are all
        current is not rewritten. With --check nothing is written: every
        entry whose SHA256 is missing, malformed or out of date is listed,
        and the exit status is 1 when there is one.
sign    writes F.sig beside every catalog and beside update/setup.exe:
        `openssl dgst -sha256 -sign PRIVATE.pem`, an RSA PKCS#1 v1.5
        signature of the file's SHA-256. Each signature is checked with the
        public key (the key's own public half unless --pubkey is given)
        before it replaces the old one.
verify  checks that every catalog and update/setup.exe has a signature that
        PUBLIC.pem accepts; the exit status is 1 when one has not.

Run `hash` before `sign` (it changes the catalogs), and sign again after
every change to a catalog or to setup.exe. Exit status 2 means the tool
could not do its work (a missing openssl, an unreadable key or tree).
"""

import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.parse

import catalog_keys

# The keys read here, as the program names them.
COUNT = catalog_keys.name("Count").encode("ascii")
URL = catalog_keys.name("Url").encode("ascii")
SHA256 = catalog_keys.name("Sha256").encode("ascii")

CATALOG_FOLDER = os.path.join("update", "v2")
SETUP = os.path.join("update", "setup.exe")
KEY_BITS = (2048, 4096)  # the RSA key sizes Quellfix accepts
HEX_DIGEST = re.compile(r"[0-9a-fA-F]{64}")


class Failure(Exception):
    """The tool cannot go on; the message says why."""


def warn(message):
    print("warning: " + message, file=sys.stderr)


# -- Catalogs ------------------------------------------------------------
#
# A catalog is read the way the Windows profile reader reads it: a line
# "[name]" starts a section, ";" starts a comment, "key=value" is a key;
# names are matched in any letter case, blanks around a value and one pair
# of quotation marks are dropped, and of repeated sections or keys the first
# counts. The catalog stays bytes throughout (CP949 never has "[", "]", "="
# or a line end inside a double-byte character), so rewriting a line leaves
# every other byte as it was.

class Entry:
    """One update section [n] of a catalog."""

    def __init__(self, number):
        self.number = number
        self.url = None          # the URL value, text
        self.sha256 = None       # the SHA256 value, text
        self.sha256_line = None  # index of the SHA256 line
        self.last_key_line = None


def unquote_value(value):
    value = value.strip()
    if len(value) >= 2 and value[:1] in (b'"', b"'") and value[-1:] == value[:1]:
        value = value[1:-1]
    return value


def leading_number(text):
    match = re.match(rb"\s*([+-]?\d+)", text)
    return int(match.group(1)) if match else 0


def read_catalog(lines):
    """The entries [1]..[COUNT] of a catalog given as its lines (bytes, each
    with its line end), in the order of their numbers."""
    sections = {}  # upper-case name -> (key line indexes, {key: (index, value)})
    current = None
    for index, line in enumerate(lines):
        text = line.rstrip(b"\r\n").strip()
        if text.startswith(b"["):
            end = text.rfind(b"]")
            name = (text[1:end] if end > 0 else text[1:]).strip().upper()
            current = None if name in sections else sections.setdefault(name, ([], {}))
        elif current is not None and text and not text.startswith(b";"):
            key, _, value = text.partition(b"=")
            current[0].append(index)
            current[1].setdefault(key.strip().upper(), (index, unquote_value(value)))

    info = sections.get(b"INFO", ([], {}))[1]
    count = leading_number(info[COUNT][1]) if COUNT in info else 0
    entries = []
    for name, (key_lines, keys) in sections.items():
        if not re.fullmatch(rb"[1-9][0-9]*", name) or int(name) > count:
            continue
        entry = Entry(int(name))
        if URL in keys:
            entry.url = keys[URL][1].decode("cp949", "replace")
        if SHA256 in keys:
            entry.sha256_line, value = keys[SHA256]
            entry.sha256 = value.decode("ascii", "replace")
        entry.last_key_line = key_lines[-1] if key_lines else None
        entries.append(entry)
    return sorted(entries, key=lambda e: e.number)


def served_file(tree, url, base):
    """The file below `tree` that `url` downloads, or None when it names none."""
    if base is not None:
        if not url.startswith(base):
            return None
        path = re.split(r"[?#]", url[len(base):], maxsplit=1)[0]
    else:
        path = urllib.parse.urlsplit(url).path
    try:
        path = urllib.parse.unquote(path, errors="strict")
    except UnicodeDecodeError:
        return None
    parts = [p for p in path.split("/") if p not in ("", ".")]
    if not parts or ".." in parts or any("\\" in p or "\0" in p for p in parts):
        return None
    candidate = os.path.join(tree, *parts)
    return candidate if os.path.isfile(candidate) else None


class Hasher:
    """SHA-256 of files, each read once however many entries name it."""

    def __init__(self):
        self.known = {}

    def __call__(self, path):
        if path not in self.known:
            digest = hashlib.sha256()
            with open(path, "rb") as f:
                for block in iter(lambda: f.read(1 << 20), b""):
                    digest.update(block)
            self.known[path] = digest.hexdigest()
        return self.known[path]


def catalogs_of(tree):
    folder = os.path.join(tree, CATALOG_FOLDER)
    if not os.path.isdir(folder):
        raise Failure("%s is not an update-server tree: it has no %s folder"
                      % (tree, CATALOG_FOLDER.replace(os.sep, "/")))
    names = sorted(n for n in os.listdir(folder) if n.lower().endswith(".ini")
                   and os.path.isfile(os.path.join(folder, n)))
    if not names:
        raise Failure("%s has no catalogs (*.ini)" % folder)
    return [os.path.join(folder, n) for n in names]


def shown(tree, path):
    return os.path.relpath(path, tree).replace(os.sep, "/")


def line_end_of(data):
    return b"\n" if b"\n" in data and b"\r\n" not in data else b"\r\n"


def pin(data, entries, digests):
    """`data` with SHA256=<digest> in each entry of `digests` (number ->
    hex digest): an existing SHA256 line is replaced where it stands, a new
    one goes right after the entry's last key line."""
    lines = data.splitlines(keepends=True)
    newline = line_end_of(data)
    insertions = []
    for entry in entries:
        if entry.number not in digests:
            continue
        line = SHA256 + b"=" + digests[entry.number].encode("ascii")
        if entry.sha256_line is not None:
            old = lines[entry.sha256_line]
            lines[entry.sha256_line] = line + old[len(old.rstrip(b"\r\n")):]
        else:
            insertions.append((entry.last_key_line, line + newline))
    for index, line in sorted(insertions, reverse=True):
        if not lines[index].endswith((b"\n", b"\r")):
            lines[index] += newline
        lines.insert(index + 1, line)
    return b"".join(lines)


def replace_file(path, data):
    """Writes `data` to `path` through a temporary file beside it, so the
    file is either the old one or the new one, never a part of either."""
    folder, name = os.path.split(path)
    fd, temporary = tempfile.mkstemp(dir=folder or ".", prefix="." + name + ".", suffix=".tmp")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        if os.path.exists(path):
            shutil.copymode(path, temporary)
        else:
            os.chmod(temporary, 0o666 & ~current_umask())
        os.replace(temporary, path)
    except BaseException:
        try:
            os.remove(temporary)
        except OSError:
            pass
        raise


def current_umask():
    mask = os.umask(0o022)
    os.umask(mask)
    return mask


# What can be wrong with an entry's pin.
NOT_SERVED, MISSING, MALFORMED, DIFFERENT = (
    "is not in the tree", "has no SHA256", "has a malformed SHA256", "has a SHA256 that "
    "is not the file's")


def pin_problems(tree, entries, base, hasher):
    """(entry, problem, digest) for each entry with a URL whose pin is not
    right; the digest is the served file's, None when it is not in the tree."""
    problems = []
    for entry in entries:
        if entry.url is None:
            continue
        path = served_file(tree, entry.url, base)
        digest = hasher(path) if path else None
        if entry.sha256 is None:
            problem = MISSING
        elif not HEX_DIGEST.fullmatch(entry.sha256):
            problem = MALFORMED
        elif digest and entry.sha256.lower() != digest:
            problem = DIFFERENT
        else:
            problem = None if digest else NOT_SERVED
        if problem:
            problems.append((entry, problem, digest))
    return problems


def command_hash(args):
    tree, hasher = args.tree, Hasher()
    faults = rewritten = 0
    for catalog in catalogs_of(tree):
        with open(catalog, "rb") as f:
            data = f.read()
        entries = read_catalog(data.splitlines(keepends=True))
        digests = {}
        for entry, problem, digest in pin_problems(tree, entries, args.base, hasher):
            where = "%s [%d]: %s" % (shown(tree, catalog), entry.number, entry.url)
            if args.check and problem != NOT_SERVED:
                print("%s %s%s" % (where, problem, "" if digest else
                                   " (and the file is not in the tree)"))
                faults += 1
            elif digest is None:
                warn("%s is not in the tree; %s" % (where, "left without SHA256"
                     if problem == MISSING else "its SHA256 was not checked"))
            else:
                digests[entry.number] = digest
        if digests:
            pinned = pin(data, entries, digests)
            if pinned != data:
                replace_file(catalog, pinned)
                rewritten += 1
                print("%s: pinned %d entr%s" % (shown(tree, catalog), len(digests),
                                                "y" if len(digests) == 1 else "ies"))
    if args.check:
        return 1 if faults else 0
    if not rewritten:
        print("every pin is current; no catalog changed")
    return 0


# -- Signatures ----------------------------------------------------------

class OpenSSL:
    def __init__(self, program):
        found = shutil.which(program)
        if found is None:
            raise Failure("openssl was not found (%s); install it (Debian: apt-get install "
                          "openssl) or give its path with --openssl" % program)
        self.program = found

    def run(self, *arguments):
        try:
            return subprocess.run([self.program] + list(arguments), stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=300)
        except (OSError, subprocess.TimeoutExpired) as e:
            raise Failure("openssl could not be run: %s" % e)

    @staticmethod
    def reason(result):
        lines = (result.stderr or result.stdout).decode("utf-8", "replace").splitlines()
        return lines[0].strip() if lines else "exit status %d" % result.returncode

    def modulus(self, path, what, *options, hint=""):
        """The RSA modulus of the key in `path`, checked for a size Quellfix takes."""
        try:
            with open(path, "rb"):
                pass
        except OSError as e:
            raise Failure("cannot read the %s %s: %s" % (what, path, e.strerror))
        result = self.run("rsa", "-in", path, "-noout", "-modulus", *options)
        match = re.search(rb"Modulus=([0-9A-Fa-f]+)", result.stdout)
        if result.returncode != 0 or not match:
            raise Failure("%s is not a readable RSA %s in PEM: %s%s"
                          % (path, what, self.reason(result), hint))
        modulus = int(match.group(1), 16)
        if not KEY_BITS[0] <= modulus.bit_length() <= KEY_BITS[1]:
            raise Failure("%s has %d bits; Quellfix accepts RSA keys of %d to %d bits"
                          % (path, modulus.bit_length(), KEY_BITS[0], KEY_BITS[1]))
        return modulus

    def verifies(self, public, path, signature):
        result = self.run("dgst", "-sha256", "-verify", public, "-signature", signature, path)
        return result.returncode == 0 and b"Verified OK" in result.stdout


def signed_files(tree):
    files = catalogs_of(tree)
    setup = os.path.join(tree, SETUP)
    if os.path.isfile(setup):
        files.append(setup)
    return files


def command_sign(args):
    tree, openssl = args.tree, OpenSSL(args.openssl)
    passin = ["-passin", args.passin if args.passin is not None else "pass:"]
    modulus = openssl.modulus(args.key, "private key", *passin, hint="" if args.passin else
                              " (an encrypted key needs its pass phrase: --passin env:VAR "
                              "or --passin file:PATH)")

    hasher = Hasher()
    for catalog in catalogs_of(tree):
        with open(catalog, "rb") as f:
            entries = read_catalog(f.read().splitlines(keepends=True))
        for entry, problem, _ in pin_problems(tree, entries, None, hasher):
            if problem != NOT_SERVED:
                warn("%s [%d]: %s %s; a signed Quellfix does not run it"
                     % (shown(tree, catalog), entry.number, entry.url, problem))

    with tempfile.TemporaryDirectory() as scratch:
        public = args.pubkey
        if public is None:
            public = os.path.join(scratch, "public.pem")
            result = openssl.run("rsa", "-in", args.key, "-pubout", "-out", public, *passin)
            if result.returncode != 0:
                raise Failure("cannot take the public half of %s: %s"
                              % (args.key, openssl.reason(result)))
        elif openssl.modulus(public, "public key", "-pubin") != modulus:
            raise Failure("%s is not the private half of %s" % (args.key, public))

        for path in signed_files(tree):
            folder, name = os.path.split(path)
            fd, temporary = tempfile.mkstemp(dir=folder, prefix="." + name + ".", suffix=".sig")
            os.close(fd)
            try:
                result = openssl.run("dgst", "-sha256", "-sign", args.key, *passin,
                                     "-out", temporary, path)
                if result.returncode != 0:
                    raise Failure("signing %s failed: %s"
                                  % (shown(tree, path), openssl.reason(result)))
                if not openssl.verifies(public, path, temporary):
                    raise Failure("the signature just made for %s does not verify"
                                  % shown(tree, path))
                os.chmod(temporary, 0o666 & ~current_umask())
                os.replace(temporary, path + ".sig")
            finally:
                if os.path.exists(temporary):
                    os.remove(temporary)
            print("signed %s" % shown(tree, path))
    return 0


def command_verify(args):
    tree, openssl = args.tree, OpenSSL(args.openssl)
    openssl.modulus(args.pubkey, "public key", "-pubin")
    failures = []
    files = signed_files(tree)
    for path in files:
        if not os.path.isfile(path + ".sig"):
            failures.append("%s: no signature (%s.sig)" % (shown(tree, path),
                                                          os.path.basename(path)))
        elif not openssl.verifies(args.pubkey, path, path + ".sig"):
            failures.append("%s: the signature does not verify" % shown(tree, path))
    for failure in failures:
        print(failure)
    if failures:
        return 1
    print("%d files verified" % len(files))
    return 0


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="sign_tree.py", formatter_class=argparse.RawDescriptionHelpFormatter,
        description=__doc__.split("\n\n")[0], epilog="\n\n".join(__doc__.split("\n\n")[1:]))
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    hash_ = commands.add_parser("hash", help="write the installers' SHA256 into the catalogs")
    hash_.add_argument("tree", metavar="TREE")
    hash_.add_argument("--check", action="store_true",
                       help="change nothing; list the entries whose SHA256 is not right")
    hash_.add_argument("--base", metavar="URL",
                       help="the address TREE is served at, when it is not the host's root "
                            "(e.g. http://www.example.org/quellfix/)")
    hash_.set_defaults(run=command_hash)

    sign = commands.add_parser("sign", help="sign the catalogs and update/setup.exe")
    sign.add_argument("tree", metavar="TREE")
    sign.add_argument("--key", metavar="PRIVATE.pem", required=True)
    sign.add_argument("--pubkey", metavar="PUBLIC.pem",
                      help="check the signatures with this key (the one Quellfix trusts)")
    sign.add_argument("--passin", metavar="ARG",
                      help="pass phrase of an encrypted key, as openssl takes it")
    sign.add_argument("--openssl", metavar="PATH", default="openssl")
    sign.set_defaults(run=command_sign)

    verify = commands.add_parser("verify", help="check the signatures of a tree")
    verify.add_argument("tree", metavar="TREE")
    verify.add_argument("--pubkey", metavar="PUBLIC.pem", required=True)
    verify.add_argument("--openssl", metavar="PATH", default="openssl")
    verify.set_defaults(run=command_verify)
    return parser.parse_args(argv)


def main(argv=None):
    for stream in (sys.stdout, sys.stderr):
        stream.reconfigure(errors="backslashreplace")
    args = parse_arguments(argv)
    try:
        return args.run(args)
    except Failure as e:
        print("sign_tree.py: error: %s" % e, file=sys.stderr)
    except OSError as e:
        print("sign_tree.py: error: %s: %s" % (e.filename or "", e.strerror or e),
              file=sys.stderr)
    except KeyboardInterrupt:
        print("sign_tree.py: interrupted", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())

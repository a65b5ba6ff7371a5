"""mirror.py against the real demo server (demo_server.py) serving a tree
made here from the repository's catalogs, with small installers, pinned and
signed by sign_tree.py with the demo key; signatures are checked with the
real openssl.

    cd server && python3 -m unittest test_mirror
"""

import hashlib
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

import mirror

HERE = os.path.dirname(os.path.abspath(__file__))
TABLE = os.path.join(HERE, "..", "tests", "fixtures", "repository_paths.txt")
DEMO_KEY = os.path.join(HERE, "demo", "trust-demo.pem")
DEMO_PUBLIC = os.path.join(HERE, "demo", "trust-demo.pub.pem")
DEMO_BASE = b"http://127.0.0.1:47100/"
REQUEST = re.compile(r'"(\w+) (\S+) HTTP/[\d.]+" (\d{3})')
# The mirror talks to the loopback server directly, whatever proxy is set.
ENVIRONMENT = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
ENVIRONMENT.update(PYTHONIOENCODING="utf-8", PYTHONDONTWRITEBYTECODE="1")


def wait_for(condition, what, seconds=30):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("gave up waiting for " + what)
        time.sleep(0.02)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def unescape(field):
    return re.sub(rb"\{([0-9A-Fa-f]{2})\}", lambda m: bytes([int(m.group(1), 16)]),
                  field.encode("ascii"))


def table_cases():
    cases = []
    with open(TABLE, encoding="ascii") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                url, path = line.split()
                cases.append((unescape(url), unescape(path)))
    return cases


def files_below(root):
    found = set()
    for top, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(top, name), root).replace(os.sep, "/"))
    return found


def run_mirror(*arguments, timeout=120):
    return subprocess.run([sys.executable, os.path.join(HERE, "mirror.py")] + list(arguments),
                          capture_output=True, text=True, encoding="utf-8", timeout=timeout,
                          env=ENVIRONMENT)


class DemoServer:
    """demo_server.py as a process on a free loopback port, its requests logged."""

    def __init__(self, test, root, rate=0):
        work = tempfile.mkdtemp(prefix="qfmirror-server-")
        test.addCleanup(shutil.rmtree, work, True)
        port_file = os.path.join(work, "port")
        self.log = os.path.join(work, "requests.log")
        command = [sys.executable, os.path.join(HERE, "demo_server.py"), "--root", root,
                   "--port", "0", "--port-file", port_file, "--log", self.log]
        if rate:
            command += ["--rate", str(rate)]
        self.process = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        test.addCleanup(self.process.wait, 10)
        test.addCleanup(self.process.terminate)
        wait_for(lambda: os.path.exists(port_file), "the demo server's port")
        self.base = "http://127.0.0.1:%d/" % int(read(port_file))

    def requests(self):
        """(method, path, status) of every request so far."""
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="utf-8") as f:
            return [m.groups() for m in map(REQUEST.search, f) if m]


class Tree:
    """An update-server tree: the repository's catalogs for `systems`, their
    addresses moved to the test server, every demo installer as a small file,
    version.inf and a setup program; pinned and signed with the demo key."""

    def __init__(self, test, systems):
        self.root = tempfile.mkdtemp(prefix="qfmirror-tree-")
        test.addCleanup(shutil.rmtree, self.root, True)
        self.server = None
        self.systems = systems
        self.test = test

    def serve(self, rate=0, edit=None, big=None):
        """Starts the server, then lays out the tree with its address. `edit`
        may change the catalogs before they are pinned; `big` names an
        installer made large."""
        self.server = DemoServer(self.test, self.root, rate)
        base = self.server.base.encode("ascii")
        for system in self.systems:
            data = read(os.path.join(HERE, "update", "v2", system + ".ini"))
            write(self.path("update/v2/%s.ini" % system), data.replace(DEMO_BASE, base))
        with open(os.path.join(HERE, "demo", "installers.txt"), encoding="ascii") as f:
            names = [n for line in f if not line.startswith("#") for n in line.split()[2:]]
        for number, name in enumerate(names):
            body = b"MZ demo installer %s\r\n" % name.encode() + bytes([number]) * (500 + number)
            if name == big:
                body = os.urandom(2 << 20)
            write(self.path("update/files/" + name), body)
        write(self.path("update/version.inf"), read(os.path.join(HERE, "update", "version.inf")))
        write(self.path("update/setup.exe"), b"MZ quellfix setup\r\n" * 200)
        if edit:
            edit(self)
        self.sign_tree("hash", self.root)
        self.sign()
        return self.server

    def sign(self):
        self.sign_tree("sign", self.root, "--key", DEMO_KEY, "--pubkey", DEMO_PUBLIC)

    def sign_tree(self, *arguments):
        done = subprocess.run([sys.executable, os.path.join(HERE, "sign_tree.py")] +
                              list(arguments), capture_output=True, text=True, timeout=120)
        self.test.assertEqual(done.returncode, 0, done.stderr)

    def path(self, relative):
        return os.path.join(self.root, *relative.split("/"))

    def urls(self, system):
        return [url for _, url, _ in mirror.Catalog(
            read(self.path("update/v2/%s.ini" % system))).entries()]

    def served(self, url):
        """The served file a URL of this tree names."""
        return self.path(url.decode("ascii")[len(self.server.base):])


def installer_path(root, url):
    return os.path.join(root, *mirror.windows_path(url).decode("ascii").split("\\"))


# -- The path rule and the catalog reading -------------------------------------

class PathRuleTest(unittest.TestCase):

    def test_every_url_of_the_shared_table_lies_where_it_says(self):
        cases = table_cases()
        self.assertGreaterEqual(len(cases), 15)
        for url, path in cases:
            with self.subTest(url=url):
                self.assertEqual(mirror.windows_path(url), path)
                parts = path.split(b"\\")
                self.assertEqual(len(parts), 3)
                self.assertEqual(parts[0], b"files")
                self.assertRegex(parts[1], rb"^[0-9a-f]{32}$")
                self.assertTrue(mirror.is_safe_name(parts[2]))
        folders = [path.split(b"\\")[1] for _, path in cases]
        self.assertEqual(len(set(folders)), len(cases), "two URLs share a folder")

    def test_a_name_that_is_not_ascii_is_written_as_file(self):
        url = "http://h/files/보안 업데이트.exe".encode("cp949")
        self.assertEqual(os.path.basename(mirror.local_path("R", url)), "file")
        self.assertEqual(os.path.dirname(os.path.dirname(mirror.local_path("R", url))),
                         os.path.join("R", "files"))


class CatalogReadingTest(unittest.TestCase):
    """The entries and URL values the mirror takes are the ones the program
    reads: the profile reader's rules decide where an installer lies."""

    def entries(self, text):
        return [(n, url, pin) for n, url, pin in mirror.Catalog(text).entries()]

    def test_entries_and_values_as_the_profile_reader_gives_them(self):
        pin = b"A" * 64
        cases = [
            ("quotes and blanks around the value go",
             b"[INFO]\r\nCOUNT=2\r\n[1]\r\nURL = \"http://h/a b.exe\" \r\n[2]\r\nurl='http://h/c'\r\n",
             [(1, b"http://h/a b.exe", b""), (2, b"http://h/c", b"")]),
            ("unequal quotes stay; a lone CR or LF ends a line",
             b"[INFO]\rCOUNT=1\n[1]\rURL=\"http://h/a'\rSHA256=" + pin + b"\n",
             [(1, b"\"http://h/a'", pin)]),
            ("the first key and the first section count; names in any case",
             b"[info]\nCount=2\n[1]\nURL=http://h/1\nURL=http://h/x\n[1]\nURL=http://h/y\n"
             b"[ 2 ]\nUrl=http://h/2\n",
             [(1, b"http://h/1", b""), (2, b"http://h/2", b"")]),
            ("entries beyond COUNT, empty URLs and [01] are not read",
             b"[INFO]\nCOUNT=3 entries\n[01]\nURL=http://h/0\n[2]\nURL=\n[3]\nURL=http://h/3\n"
             b"[4]\nURL=http://h/4\n",
             [(3, b"http://h/3", b"")]),
            ("a negative or missing COUNT reads nothing",
             b"[INFO]\nCOUNT=-5\n[1]\nURL=http://h/1\n", []),
            (";comments and keys before a section are skipped; ';' inside a value is text",
             b"URL=http://h/0\n[INFO]\n;COUNT=9\nCOUNT=1\n[1]\n; URL=http://h/x\nURL=http://h/1 ;x\n",
             [(1, b"http://h/1 ;x", b"")]),
        ]
        for what, text, expected in cases:
            with self.subTest(what):
                self.assertEqual(self.entries(text), expected)

    def test_a_long_url_is_cut_as_the_program_cuts_it(self):
        # 1,023 bytes at most, never inside a double-byte character.
        url = b"http://hh/" + "가".encode("cp949") * 600  # 10 bytes, then pairs
        text = b"[INFO]\nCOUNT=1\n[1]\nURL=" + url + b"\n"
        read = self.entries(text)[0][1]
        self.assertEqual(len(read), 1022)
        self.assertEqual(read, url[:1022])
        self.assertEqual(self.entries(b"[INFO]\nCOUNT=1\n[1]\nURL=" + b"x" * 2000 + b"\n")[0][1],
                         b"x" * 1023)

    def test_count_is_held_at_the_program_limit(self):
        text = b"[INFO]\nCOUNT=99999999999\n[10000]\nURL=http://h/a\n[10001]\nURL=http://h/b\n"
        self.assertEqual(self.entries(text), [(10000, b"http://h/a", b"")])

    def test_a_catalog_is_accepted_only_with_a_language(self):
        for text, accepted in ((b"[INFO]\nLANGUAGE=18\n", True),
                               (b"[Info]\nlanguage=\"0\"\n", True),
                               (b"<html>404</html>", False),
                               (b"[INFO]\nLANGUAGE=Error\n", False),
                               (b"[1]\nLANGUAGE=18\n", False)):
            with self.subTest(text=text):
                self.assertEqual(mirror.Catalog(text).accepted(), accepted)


# -- Runs against the demo server ------------------------------------------------

@unittest.skipUnless(shutil.which("openssl"), "needs openssl")
class MirrorRunTest(unittest.TestCase):

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qfmirror-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.repository = os.path.join(self.work, "repository")

    def mirror(self, tree, *options, pubkey=True):
        arguments = [tree.server.base, self.repository]
        for system in tree.systems:
            arguments += ["--system", system]
        if pubkey:
            arguments += ["--pubkey", DEMO_PUBLIC]
        return run_mirror(*(arguments + list(options)))

    def assert_ok(self, result):
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Everything is in place.", result.stdout)

    def assert_installers_in_place(self, tree, urls):
        for url in urls:
            with self.subTest(url=url):
                self.assertEqual(read(installer_path(self.repository, url)),
                                 read(tree.served(url)))

    def test_full_mirror_then_a_second_run_transfers_no_installer(self):
        tree = Tree(self, ["4_32_18", "6_64_18"])

        def quote(tree):
            # [2]'s URL quoted and padded: its path is the one of the value as read.
            path = tree.path("update/v2/4_32_18.ini")
            data = read(path)
            url = re.search(rb"URL=(http://[^\r\n]*IE8-WindowsXP-KB990002-x86-KOR\.exe)", data)
            write(path, data.replace(url.group(0), b"URL =  \"" + url.group(1) + b"\" "))
        tree.serve(edit=quote)
        # [1] of the XP catalog unpinned (signed without its SHA256).
        path = tree.path("update/v2/4_32_18.ini")
        pin = b"SHA256=%s\r\n" % hashlib.sha256(read(tree.path(
            "update/files/WindowsXP-KB990001-x86-KOR.exe"))).hexdigest().encode()
        self.assertEqual(read(path).count(pin), 1)
        write(path, read(path).replace(pin, b""))
        tree.sign()

        result = self.mirror(tree)
        self.assert_ok(result)
        urls = tree.urls("4_32_18") + tree.urls("6_64_18")
        self.assertIn(tree.server.base.encode() + b"update/files/IE8-WindowsXP-KB990002-x86-KOR.exe",
                      urls)
        expected = {"update/version.inf", "update/setup.exe", "update/setup.exe.sig"}
        for system in tree.systems:
            for name in (system + ".ini", system + ".ini.sig"):
                expected.add("update/v2/" + name)
                self.assertEqual(read(os.path.join(self.repository, "update", "v2", name)),
                                 read(tree.path("update/v2/" + name)))
        expected |= {mirror.windows_path(url).decode().replace("\\", "/") for url in set(urls)}
        self.assertEqual(files_below(self.repository), expected)
        self.assert_installers_in_place(tree, urls)
        # The rule, worked out here for one of them.
        url = tree.server.base.encode() + b"update/files/Windows6.0-KB990101-x64-KOR.exe"
        self.assertTrue(os.path.isfile(os.path.join(
            self.repository, "files", hashlib.sha256(url).hexdigest()[:32],
            "Windows6.0-KB990101-x64-KOR.exe")))
        self.assertIn("%d named: %d fetched, 0 already there" % (len(set(urls)), len(set(urls))),
                      result.stdout)

        before = len(tree.server.requests())
        again = self.mirror(tree)
        self.assert_ok(again)
        second = tree.server.requests()[before:]
        self.assertEqual([r for r in second if r[1].startswith("/update/files/")],
                         [("HEAD", "/update/files/WindowsXP-KB990001-x86-KOR.exe", "200")])
        self.assertIn("0 fetched, %d already there" % len(set(urls)), again.stdout)
        self.assertEqual(files_below(self.repository), expected)

    def test_a_killed_run_leaves_no_partial_file_and_the_next_run_resumes(self):
        big = "KB990201-W98-KOR.exe"
        tree = Tree(self, ["1_32_18"])
        server = tree.serve(rate=1 << 20, big=big)
        url = tree.server.base.encode() + b"update/files/" + big.encode()
        self.assertIn(url, tree.urls("1_32_18"))
        final = installer_path(self.repository, url)

        with open(os.path.join(self.work, "first.log"), "wb") as log:
            process = subprocess.Popen(
                [sys.executable, os.path.join(HERE, "mirror.py"), server.base, self.repository,
                 "--system", "1_32_18"], stdout=log, stderr=log, env=ENVIRONMENT)
            try:
                wait_for(lambda: os.path.exists(final + ".part") and
                         os.path.getsize(final + ".part") >= 256 << 10, "a partial download")
            finally:
                process.kill()
                process.wait(10)
        self.assertFalse(os.path.exists(final))
        partial = os.path.getsize(final + ".part")
        self.assertLess(partial, 2 << 20)

        result = self.mirror(tree, pubkey=False)
        self.assert_ok(result)
        self.assertEqual(read(final), read(tree.served(url)))
        self.assertIn("resumed", result.stdout + result.stderr)
        ranged = [r for r in server.requests() if r[1] == "/update/files/" + big]
        self.assertEqual(ranged[-1][2], "206", ranged)
        self.assertEqual([n for n in files_below(self.repository) if ".part" in n], [])

    def test_a_partial_file_that_does_not_continue_is_fetched_from_the_start(self):
        # What an interrupted run leaves when the installer changed on the
        # server before the next run: a partial file and what it was part of.
        tree = Tree(self, ["1_32_18"])
        server = tree.serve()
        url = tree.server.base.encode() + b"update/files/KB990201-W98-KOR.exe"
        final = installer_path(self.repository, url)
        served = read(tree.served(url))
        address = url.decode()
        cases = [("the file's length changed", b"MZ", len(served) + 7),
                 ("the same length, other bytes: the pin catches it", b"XX" * 100, len(served))]
        for what, partial, length in cases:
            with self.subTest(what):
                shutil.rmtree(self.repository, ignore_errors=True)
                write(final + ".part", partial)
                write(final + ".part.info", b'{"url": "%s", "length": %d, "validator": ""}'
                      % (address.encode(), length))
                before = len(server.requests())
                self.assert_ok(self.mirror(tree, pubkey=False))
                self.assertEqual(read(final), served)
                self.assertEqual([r[2] for r in server.requests()[before:]
                                  if r[1] == "/update/files/KB990201-W98-KOR.exe"], ["206", "200"])
                self.assertFalse(os.path.exists(final + ".part"))

    def test_a_mismatched_or_missing_installer_is_reported_and_never_kept(self):
        tree = Tree(self, ["4_32_18"])
        tree.serve()
        base = tree.server.base.encode() + b"update/files/"
        changed = base + b"WindowsXP-KB990004-x86-KOR.exe"
        missing = base + b"WindowsXP-KB990005-x86-KOR.exe"
        stale = base + b"WindowsXP-KB990007-x86-KOR.exe"
        write(tree.served(changed), b"MZ not the pinned installer")
        os.remove(tree.served(missing))
        # A file already in the repository that is not the pinned one is replaced.
        write(installer_path(self.repository, stale), b"MZ an older build")

        result = self.mirror(tree)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertRegex(result.stdout, r"WindowsXP-KB990004-x86-KOR\.exe.*SHA-256 mismatch: the "
                         r"catalog pins [0-9a-f]{64}, the server sent [0-9a-f]{64}.*deleted")
        self.assertIn("HTTP 404 %s" % missing.decode(), result.stdout)
        self.assertIn("Failed:       2", result.stdout)
        for url in (changed, missing):
            self.assertFalse(os.path.exists(installer_path(self.repository, url)))
            self.assertFalse(os.path.exists(installer_path(self.repository, url) + ".part"))
        self.assert_installers_in_place(
            tree, [u for u in tree.urls("4_32_18") if u not in (changed, missing)])

    def test_with_pubkey_a_catalog_or_setup_without_a_good_signature_is_refused(self):
        tree = Tree(self, ["4_32_18", "6_64_18"])
        tree.serve()
        self.assert_ok(self.mirror(tree))
        kept_catalog = read(os.path.join(self.repository, "update", "v2", "4_32_18.ini"))
        kept_setup = read(os.path.join(self.repository, "update", "setup.exe"))

        catalog = tree.path("update/v2/4_32_18.ini")
        write(catalog, read(catalog) + b"; changed after signing\r\n")
        write(tree.path("update/setup.exe"), b"MZ a newer setup, unsigned")
        os.remove(tree.path("update/setup.exe.sig"))

        result = self.mirror(tree)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("update/v2/4_32_18.ini: refused: its signature does not verify",
                      result.stdout)
        self.assertIn("update/setup.exe: refused: the server has no signature", result.stdout)
        self.assertEqual(read(os.path.join(self.repository, "update", "v2", "4_32_18.ini")),
                         kept_catalog)
        self.assertEqual(read(os.path.join(self.repository, "update", "setup.exe")), kept_setup)
        self.assertEqual([n for n in files_below(self.repository) if ".part" in n], [])

        # Without --pubkey the same files are taken: the program checks them on the PC.
        self.assert_ok(self.mirror(tree, pubkey=False))
        self.assertEqual(read(os.path.join(self.repository, "update", "v2", "4_32_18.ini")),
                         read(catalog))
        self.assertFalse(os.path.exists(os.path.join(self.repository, "update", "setup.exe.sig")))

    def test_prune_removes_what_no_catalog_names_and_nothing_else(self):
        tree = Tree(self, ["4_32_18", "6_64_18"])
        tree.serve()
        self.assert_ok(self.mirror(tree))
        dropped = tree.urls("6_64_18")[-1]
        self.assertNotIn(dropped, tree.urls("4_32_18"))
        catalog = tree.path("update/v2/6_64_18.ini")
        write(catalog, read(catalog).replace(b"COUNT=8", b"COUNT=7"))
        tree.sign()

        kept_outside = {"update/v2/notes.txt": b"mine", "README.txt": b"mine too"}
        orphans = ["files/0123456789abcdef0123456789abcdef/old.exe",
                   "files/0123456789abcdef0123456789abcdef/sub/older.exe",
                   "files/stray.txt",
                   mirror.windows_path(tree.urls("4_32_18")[0]).decode().replace(
                       "\\", "/").rsplit("/", 1)[0] + "/extra.exe"]
        for name, data in kept_outside.items():
            write(os.path.join(self.repository, *name.split("/")), data)
        for name in orphans:
            write(os.path.join(self.repository, *name.split("/")), b"old")
        outside = os.path.join(self.work, "elsewhere")
        write(os.path.join(outside, "keep.exe"), b"not the repository's")
        if hasattr(os, "symlink") and os.name == "posix":
            os.symlink(outside, os.path.join(self.repository, "files", "link"))

        result = self.mirror(tree, "--prune")
        self.assert_ok(result)
        left = files_below(self.repository)
        for name in orphans + [mirror.windows_path(dropped).decode().replace("\\", "/")]:
            self.assertNotIn(name, left)
        self.assertFalse(os.path.exists(os.path.dirname(installer_path(self.repository, dropped))))
        self.assertFalse(os.path.exists(os.path.join(self.repository, "files",
                                                     "0123456789abcdef0123456789abcdef")))
        self.assertFalse(os.path.lexists(os.path.join(self.repository, "files", "link")))
        self.assertEqual(read(os.path.join(outside, "keep.exe")), b"not the repository's")
        for name, data in kept_outside.items():
            self.assertEqual(read(os.path.join(self.repository, *name.split("/"))), data)
        self.assert_installers_in_place(tree, tree.urls("4_32_18") + tree.urls("6_64_18"))


class FailureTest(unittest.TestCase):

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qfmirror-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def test_usage_errors_exit_2_and_touch_nothing(self):
        target = os.path.join(self.work, "repository")
        garbage = os.path.join(self.work, "garbage.pem")
        write(garbage, b"-----BEGIN PUBLIC KEY-----\nnot a key\n")
        server = "http://127.0.0.1:9/"
        cases = [
            ("ftp address", ["ftp://h/", target, "--system", "4_32_18"]),
            ("no trailing slash", ["http://h/update", target, "--system", "4_32_18"]),
            ("no host", ["http:///", target, "--system", "4_32_18"]),
            ("a bad port", ["http://h:x/", target, "--system", "4_32_18"]),
            ("no system", [server, target]),
            ("system without language", [server, target, "--system", "4_32"]),
            ("system with dashes", [server, target, "--system", "4-32-18"]),
            ("bits neither 32 nor 64", [server, target, "--system", "4_16_18"]),
            ("OsCode above 7", [server, target, "--system", "9_32_18"]),
            ("leading zero", [server, target, "--system", "4_32_018"]),
            ("missing parent", [server, os.path.join(self.work, "no", "repository"),
                                "--system", "4_32_18"]),
            ("DIR is a file", [server, garbage, "--system", "4_32_18"]),
            ("missing pubkey", [server, target, "--system", "4_32_18",
                                "--pubkey", os.path.join(self.work, "none.pem")]),
            ("pubkey that is no key", [server, target, "--system", "4_32_18",
                                       "--pubkey", garbage]),
        ]
        for what, arguments in cases:
            with self.subTest(what):
                result = run_mirror(*arguments)
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn("error:", result.stderr)
                self.assertNotIn("Traceback", result.stderr)
                self.assertFalse(os.path.exists(target))

    def test_an_unreachable_server_is_a_named_failure(self):
        with socket.socket() as s:  # a port nothing listens on
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        base = "http://127.0.0.1:%d/" % port
        result = run_mirror(base, os.path.join(self.work, "repository"), "--system", "4_32_18")
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        for name in ("update/v2/4_32_18.ini", "update/version.inf", "update/setup.exe"):
            self.assertIn("%s: cannot connect to %s%s" % (name, base, name), result.stdout)
        self.assertNotIn("Traceback", result.stderr)


if __name__ == "__main__":
    unittest.main()

"""Tests for the demo update server, run as a real process on a copy of the
demo catalogs.

    cd server && python3 -m unittest test_demo_server
"""

import configparser
import http.client
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "demo_server.py")
CATALOGS = os.path.join(HERE, "update", "v2")
START_TIMEOUT = 10.0
STOP_TIMEOUT = 10.0


def source_catalog(name):
    with open(os.path.join(CATALOGS, name), "rb") as f:
        return f.read()


def parse_catalog(data):
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.optionxform = str.upper
    text = data.decode("cp949")
    # Lines before the first section are comments for people.
    parser.read_string(text[text.index("["):])
    return parser


def lines_without_language(data):
    return [line for line in data.decode("cp949").splitlines()
            if not line.upper().startswith("LANGUAGE=")]


class DemoServer:
    """demo_server.py as a child process serving `root` on a free port."""

    def __init__(self, root, port=0):
        self.work = tempfile.mkdtemp(prefix="qfdemo-")
        self.port_file = os.path.join(self.work, "port")
        self.pid_file = os.path.join(self.work, "pid")
        self.log = os.path.join(self.work, "requests.log")
        self.proc = subprocess.Popen(
            [sys.executable, SERVER, "--root", root, "--port", str(port),
             "--port-file", self.port_file, "--pid-file", self.pid_file,
             "--log", self.log],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.port = None
        deadline = time.monotonic() + START_TIMEOUT
        while time.monotonic() < deadline and self.proc.poll() is None:
            if os.path.exists(self.port_file):
                with open(self.port_file, encoding="ascii") as f:
                    self.port = int(f.read())
                break
            time.sleep(0.02)

    def get(self, path, method="GET"):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            connection.request(method, path)
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(STOP_TIMEOUT)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            code = None
        self.proc.stdout.close()
        self.proc.stderr.close()
        shutil.rmtree(self.work, ignore_errors=True)
        return code


class DemoServerTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qfroot-")
        shutil.copytree(CATALOGS, os.path.join(cls.root, "update", "v2"))
        shutil.copy(os.path.join(HERE, "update", "version.inf"),
                    os.path.join(cls.root, "update"))
        shutil.copy(os.path.join(HERE, "index.html"), cls.root)
        os.makedirs(os.path.join(cls.root, "update", "files"))
        cls.installer = bytes(range(256)) * 40
        with open(os.path.join(cls.root, "update", "files", "demo.exe"), "wb") as f:
            f.write(cls.installer)
        cls.server = DemoServer(cls.root)
        if cls.server.port is None:
            cls.server.stop()
            raise RuntimeError("demo server did not start")

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.root, ignore_errors=True)

    def test_catalogs_of_the_tree_are_served_byte_for_byte(self):
        for name in ("4_32_18.ini", "4_32_9.ini", "6_64_18.ini"):
            with self.subTest(name=name):
                status, headers, body = self.server.get("/update/v2/" + name)
                self.assertEqual(status, 200)
                self.assertEqual(body, source_catalog(name))
                self.assertEqual(headers["Content-Length"], str(len(body)))

    def test_other_language_gets_korean_catalog_of_same_system(self):
        # Wine reports language 165; Vista 64-bit has a Korean catalog.
        status, _, body = self.server.get("/update/v2/6_64_165.ini")
        self.assertEqual(status, 200)
        korean = source_catalog("6_64_18.ini")
        self.assertEqual(parse_catalog(body)["INFO"]["LANGUAGE"], "165")
        self.assertEqual(lines_without_language(body), lines_without_language(korean))
        # Still CP949 with Windows line ends, as Quellfix reads it.
        self.assertEqual(body.count(b"\r\n"), korean.count(b"\r\n"))

    def test_system_without_korean_catalog_gets_the_xp_one(self):
        for name, language in (("0_32_165.ini", "165"), ("5_32_7.ini", "7"),
                               ("4_64_18.ini", "18")):
            with self.subTest(name=name):
                status, _, body = self.server.get("/update/v2/" + name)
                self.assertEqual(status, 200)
                catalog = parse_catalog(body)
                self.assertEqual(catalog["INFO"]["LANGUAGE"], language)
                self.assertEqual(lines_without_language(body),
                                 lines_without_language(source_catalog("4_32_18.ini")))

    def test_head_announces_the_same_length_without_a_body(self):
        status, headers, body = self.server.get("/update/v2/4_32_165.ini", "HEAD")
        _, _, full = self.server.get("/update/v2/4_32_165.ini")
        self.assertEqual(status, 200)
        self.assertEqual(body, b"")
        self.assertEqual(headers["Content-Length"], str(len(full)))

    def test_plain_files_are_served_as_they_are(self):
        status, headers, body = self.server.get("/update/files/demo.exe")
        self.assertEqual(status, 200)
        self.assertEqual(body, self.installer)
        self.assertEqual(headers["Content-Type"], "application/octet-stream")

        status, _, body = self.server.get("/update/version.inf")
        self.assertEqual(status, 200)
        self.assertEqual(body.splitlines()[0], b"2.000")

    def test_home_page_names_its_character_set(self):
        status, headers, body = self.server.get("/")
        self.assertEqual(status, 200)
        self.assertIn("charset=utf-8", headers["Content-Type"])
        self.assertIn("Quellfix", body.decode("utf-8"))

    def test_missing_files_are_not_found(self):
        for path in ("/update/files/missing.exe", "/update/v2/readme.ini",
                     "/update/v2/4_32_18.ini.bak", "/update/setup.exe",
                     "/update/v3/4_32_18.ini"):
            with self.subTest(path=path):
                status, _, body = self.server.get(path)
                self.assertEqual(status, 404)
                self.assertNotIn(b"[INFO]", body)

    def test_nothing_outside_the_root_is_served(self):
        outside = os.path.join(os.path.dirname(self.root), "qf-outside-secret.txt")
        with open(outside, "w") as f:
            f.write("secret")
        self.addCleanup(os.remove, outside)
        for path in ("/../qf-outside-secret.txt", "/update/../../qf-outside-secret.txt",
                     "/%2e%2e/qf-outside-secret.txt"):
            with self.subTest(path=path):
                status, _, body = self.server.get(path)
                self.assertIn(status, (403, 404))
                self.assertNotIn(b"secret", body)

    def test_requests_are_logged(self):
        self.server.get("/update/v2/6_32_165.ini")
        with open(self.server.log, encoding="utf-8") as f:
            log = f.read()
        self.assertIn("/update/v2/6_32_165.ini answered with 6_32_18.ini, LANGUAGE=165", log)


class DemoServerLifetimeTest(unittest.TestCase):

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="qfroot-")
        self.addCleanup(shutil.rmtree, self.root, True)

    def test_stops_cleanly_on_sigterm_to_the_process_in_its_pid_file(self):
        server = DemoServer(self.root)
        self.assertIsNotNone(server.port)
        with open(server.pid_file, encoding="ascii") as f:
            pid = int(f.read())
        self.assertEqual(pid, server.proc.pid)
        os.kill(pid, signal.SIGTERM)
        self.assertEqual(server.proc.wait(STOP_TIMEOUT), 0)
        self.assertFalse(os.path.exists(server.pid_file), "pid file left behind")
        server.stop()

    def test_busy_port_is_reported_without_a_traceback(self):
        first = DemoServer(self.root)
        self.addCleanup(first.stop)
        self.assertIsNotNone(first.port)
        second = subprocess.run(
            [sys.executable, SERVER, "--root", self.root, "--port", str(first.port)],
            capture_output=True, timeout=STOP_TIMEOUT)
        self.assertEqual(second.returncode, 1)
        self.assertIn(b"cannot listen", second.stderr)
        self.assertNotIn(b"Traceback", second.stderr)

    def test_missing_root_is_refused(self):
        result = subprocess.run(
            [sys.executable, SERVER, "--root", os.path.join(self.root, "nothing"),
             "--port", "0"], capture_output=True, timeout=STOP_TIMEOUT)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(b"not a folder", result.stderr)


if __name__ == "__main__":
    unittest.main()

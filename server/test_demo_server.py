"""The demo update server run as a real process on the committed catalogs:
each system gets its own catalog, or a Korean one with its language set in.

    cd server && python3 -m unittest test_demo_server
"""

import http.client
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))


def catalog(name):
    with open(os.path.join(HERE, "update", "v2", name), "rb") as f:
        return f.read()


def without_language(data):
    return [line for line in data.split(b"\r\n") if not line.upper().startswith(b"LANGUAGE=")]


class DemoServerTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="qfdemo-")
        port_file = os.path.join(cls.work, "port")
        cls.proc = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "demo_server.py"), "--root", HERE,
             "--port", "0", "--port-file", port_file],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cls.addClassCleanup(shutil.rmtree, cls.work, True)
        cls.addClassCleanup(cls.proc.wait, 10)
        cls.addClassCleanup(cls.proc.terminate)
        deadline = time.monotonic() + 10
        while not os.path.exists(port_file) and time.monotonic() < deadline:
            time.sleep(0.02)
        with open(port_file, encoding="ascii") as f:
            cls.port = int(f.read())

    def get(self, path):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            connection.request("GET", path)
            response = connection.getresponse()
            return response.status, response.read()
        finally:
            connection.close()

    def test_each_system_gets_its_catalog_or_a_korean_one_in_its_language(self):
        # (asked for, served from, LANGUAGE line in the answer)
        for asked, source, language in (
                ("4_32_18.ini", "4_32_18.ini", b"18"),       # as committed
                ("6_64_165.ini", "6_64_18.ini", b"165"),     # Wine's language
                ("5_32_7.ini", "4_32_18.ini", b"7"),         # no Korean one: XP's
                ("4_64_18.ini", "4_32_18.ini", b"18")):
            with self.subTest(asked=asked):
                status, body = self.get("/update/v2/" + asked)
                self.assertEqual(status, 200)
                self.assertIn(b"\r\nLANGUAGE=" + language + b"\r\n", body)
                self.assertEqual(without_language(body), without_language(catalog(source)))
        self.assertEqual(self.get("/update/v2/4_32_18.ini")[1], catalog("4_32_18.ini"))
        self.assertEqual(self.get("/update/v3/4_32_18.ini")[0], 404)


if __name__ == "__main__":
    unittest.main()


class SignedStandInTest(unittest.TestCase):
    """In a signed tree the stand-in catalog comes with a signature the demo
    key made over exactly the bytes served."""

    def test_stand_in_is_signed_with_the_demo_key(self):
        work = tempfile.mkdtemp(prefix="qfdemo-signed-")
        self.addCleanup(shutil.rmtree, work, True)
        v2 = os.path.join(work, "update", "v2")
        os.makedirs(v2)
        shutil.copy(os.path.join(HERE, "update", "v2", "4_32_18.ini"), v2)
        key = os.path.join(HERE, "demo", "trust-demo.pem")
        subprocess.run(["openssl", "dgst", "-sha256", "-sign", key, "-out",
                        os.path.join(v2, "4_32_18.ini.sig"), os.path.join(v2, "4_32_18.ini")],
                       check=True)
        port_file = os.path.join(work, "port")
        proc = subprocess.Popen([sys.executable, os.path.join(HERE, "demo_server.py"), "--root",
                                 work, "--port", "0", "--port-file", port_file, "--log", "-"])
        self.addCleanup(proc.wait, 10)
        self.addCleanup(proc.terminate)
        deadline = time.monotonic() + 10
        while not os.path.exists(port_file) and time.monotonic() < deadline:
            time.sleep(0.02)
        with open(port_file, encoding="ascii") as f:
            port = int(f.read())
        bodies = []
        for path in ("/update/v2/4_32_165.ini", "/update/v2/4_32_165.ini.sig"):
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
            connection.request("GET", path)
            response = connection.getresponse()
            self.assertEqual(response.status, 200, path)
            bodies.append(response.read())
            connection.close()
        with open(os.path.join(work, "c.ini"), "wb") as f:
            f.write(bodies[0])
        with open(os.path.join(work, "c.sig"), "wb") as f:
            f.write(bodies[1])
        verified = subprocess.run(
            ["openssl", "dgst", "-sha256", "-verify", os.path.join(HERE, "demo", "trust-demo.pub.pem"),
             "-signature", os.path.join(work, "c.sig"), os.path.join(work, "c.ini")],
            capture_output=True)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        self.assertIn(b"LANGUAGE=165", bodies[0])

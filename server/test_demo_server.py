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

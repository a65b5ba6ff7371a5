"""Checks of the demo catalogs as committed: generated from make_catalogs.py
and not edited since, and well-formed for Quellfix.

    cd server && python3 -m unittest test_catalogs
"""

import configparser
import os
import re
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CATALOGS = os.path.join(HERE, "update", "v2")
NAME = re.compile(r"^(\d+)_(32|64)_(\d+)\.ini$")
ENTRY_KEYS = {"ENABLE", "TYPE", "TITLE", "IEVER", "WMPVER", "SPVER", "IISVER",
              "SNMPVER", "DOTNETVER", "DOTNETSPVER", "WMFVER", "FILENAME", "URL",
              "CMDLINE", "DESCRIPTION", "ARTICLE"}
REGKEY = re.compile(r"^REGKEY([2-9]|[1-9]\d+)?$")


def catalogs():
    for name in sorted(os.listdir(CATALOGS)):
        with open(os.path.join(CATALOGS, name), "rb") as f:
            yield name, f.read()


def parse(data):
    parser = configparser.ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str.upper
    text = data.decode("cp949")
    parser.read_string(text[text.index("["):])
    return parser


def demo_files():
    files = set()
    with open(os.path.join(HERE, "demo", "installers.txt"), encoding="ascii") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                files.update(line.split()[2:])
    return files


class CatalogTest(unittest.TestCase):

    def test_generated_files_match_their_source(self):
        result = subprocess.run([sys.executable, os.path.join(HERE, "make_catalogs.py"),
                                 "--check"], capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0,
                         "edited by hand or not regenerated:\n" + result.stdout)

    def test_catalogs_are_cp949_with_windows_line_ends(self):
        for name, data in catalogs():
            with self.subTest(name=name):
                data.decode("cp949")
                self.assertNotIn(b"\n", data.replace(b"\r\n", b""))
                self.assertFalse(data.startswith(b"\xef\xbb\xbf"), "UTF-8 mark")

    def test_every_catalog_is_complete_for_its_system(self):
        served = demo_files()
        for name, data in catalogs():
            with self.subTest(name=name):
                match = NAME.match(name)
                self.assertIsNotNone(match, "not named OsCode_bits_language.ini")
                catalog = parse(data)
                self.assertEqual(catalog["INFO"]["LANGUAGE"], match.group(3))
                count = int(catalog["INFO"]["COUNT"])
                entries = [s for s in catalog.sections() if s != "INFO"]
                self.assertEqual(entries, [str(n) for n in range(1, count + 1)])
                for number in entries:
                    entry = catalog[number]
                    unknown = {key for key in entry
                               if key not in ENTRY_KEYS and not REGKEY.match(key)}
                    self.assertFalse(unknown, "[%s] unknown keys" % number)
                    self.assertTrue(entry.get("TITLE"), "[%s] no title" % number)
                    self.assertIn(entry["FILENAME"], served, "[%s] no such installer" % number)
                    self.assertTrue(entry["URL"].endswith("/" + entry["FILENAME"]))
                    probes = [key for key in entry if REGKEY.match(key)]
                    self.assertIn("REGKEY", probes, "[%s] cannot tell it is installed" % number)
                    # Probes are read up to the first missing one.
                    numbered = sorted(int(key[6:]) for key in probes if key != "REGKEY")
                    self.assertEqual(numbered, list(range(2, 2 + len(numbered))))


if __name__ == "__main__":
    unittest.main()

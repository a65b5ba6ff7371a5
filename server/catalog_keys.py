"""The catalog keys the program reads, from the program's own table.

The table is src/core/CatalogKeys.def in the source tree this script belongs
to: one CATALOG_KEY(...) row per key, with its section, the value it takes
when missing, the kind of value, its role and its readers. The server tools
take their key names from here rather than keeping lists of their own, so a
key added to the program is known to them at once.
"""

import os
import re

DEF_FILE = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                        "src", "core", "CatalogKeys.def")

_ROW = re.compile(r'^CATALOG_KEY\(\s*(\w+)\s*,\s*"([^"]*)"\s*,\s*(\w+)\s*,\s*"([^"]*)"\s*,'
                  r'\s*(\w+)\s*,\s*(\w+)\s*,\s*([\w |]+?)\s*\)\s*$')


class CatalogKey:
    def __init__(self, ident, name, section, missing, kind, role, readers):
        self.id = ident
        self.name = name
        self.section = section      # "Info" or "Entry"
        self.missing = missing
        self.kind = kind
        self.role = role            # Info, Condition, Listing, Run, Details
        self.readers = readers      # e.g. ["kListFilling", "kRunStart"]

    def __repr__(self):
        return "CatalogKey(%s)" % self.name


def load(path=DEF_FILE):
    """Every key of the table, in its order."""
    keys = []
    with open(path, encoding="utf-8") as table:
        for line in table:
            line = line.strip()
            if not line.startswith("CATALOG_KEY("):
                continue
            match = _ROW.match(line)
            if not match:
                raise ValueError("%s: cannot read the row %r" % (path, line))
            ident, name, section, missing, kind, role, readers = match.groups()
            keys.append(CatalogKey(ident, name, section, missing, kind, role,
                                   [r.strip() for r in readers.split("|")]))
    if not keys:
        raise ValueError("%s holds no CATALOG_KEY rows" % path)
    return keys


KEYS = load()
BY_ID = {key.id: key for key in KEYS}
# The entry keys that decide whether an entry is listed, in the order the
# program decides them.
CONDITION_KEYS = [key.name for key in KEYS if key.role == "Condition"]
ENTRY_KEYS = [key.name for key in KEYS if key.section == "Entry"]
INFO_KEYS = [key.name for key in KEYS if key.section == "Info"]


def name(ident):
    """The catalog name of the key the program calls `ident` (e.g. "Sha256")."""
    return BY_ID[ident].name

#!/usr/bin/env python3
"""Checks that a 32-bit Windows program would load on every Windows we support.

The shipped Quellfix.exe (and its setup program) must start on Windows 2000
SP4, XP RTM to SP3, Server 2003, Vista, Server 2008 and 7 to 11. The Windows
loader refuses a program outright, before any of our code runs, when

  - the machine is not the one it runs (we ship only i386 code),
  - the subsystem version in the optional header is newer than the running
    Windows (2000 is 5.0, but the 4.0 that every linker used to write is the
    safe value; Windows 2000 refuses 6.0 with "not a valid Win32 application"),
  - an imported DLL is not there, or an imported name is not exported by it
    ("The procedure entry point ... could not be located").

Imports by ordinal fail too: an ordinal names a different function, or
none, from one Windows version to the next. Delay-loaded imports are checked
like the others (a missing one fails at its first call instead of at start),
as far as the file has a delay-import directory: MSVC's link and LLVM's lld
write one, GNU ld does not for dlltool's delay-import libraries, so those
stay invisible here.

So this script reads the PE file itself (no objdump: the import tables are
parsed here, so the check cannot depend on how a tool prints them) and fails
on each of those. Names are checked against scripts/absent-exports.txt, a
table of exports some supported Windows lacks, each row with its public
source. A name that is not in the table passes: the table is what we know,
and it grows when the toolchain or the program starts using something new.

    scripts/check_imports.py FILE...          check, exit 1 on a problem
    scripts/check_imports.py --list FILE...   also print every import by DLL
    scripts/check_imports.py --table T FILE   use another table

Exit status: 0 all files pass, 1 a file has a problem (each one is printed
on its own line as "FILE: FAIL: ..."), 2 usage error or a file that is not a
readable PE image.
"""

import argparse
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_TABLE = os.path.join(HERE, "absent-exports.txt")

MACHINE_I386 = 0x14C
MACHINE_NAMES = {0x14C: "i386", 0x8664: "x86-64 (AMD64)", 0xAA64: "ARM64", 0x1C4: "ARMNT", 0x200: "IA-64"}
SUBSYSTEM_NAMES = {1: "native", 2: "Windows GUI", 3: "Windows console", 9: "Windows CE GUI"}
HIGHEST_SUBSYSTEM_VERSION = (4, 0)

# DLLs that every supported Windows has in its system folder, from Windows
# 2000 SP4 up to 11, under the same name. Where the list comes from:
#   - the Win32 DLLs of a default Windows 2000 Professional installation that
#     a program of this kind links against (wininet.dll and urlmon.dll came
#     with the Internet Explorer 5.01 that Windows 2000 ships);
#   - ntdll.dll, the user-mode side of the NT kernel, mapped into every
#     process by every NT version;
#   - DLLs whose Microsoft Learn reference still dates them to Windows 2000:
#     msimg32.dll (AlphaBlend, "Minimum supported client: Windows 2000
#     Professional", DLL Msimg32.dll) and iphlpapi.dll (GetAdaptersInfo,
#     likewise).
# Deliberately left out: winhttp.dll (WinHTTP 5.1 came with 2000 SP3 but
# with XP only in SP1, so XP RTM lacks it), gdiplus.dll and uxtheme.dll (XP),
# dwmapi.dll, bcrypt.dll and ncrypt.dll (Vista), every api-ms-win-* API set
# (7 and later), and DLLs Windows 2000 did have but that no public page here
# dates to it any more (psapi.dll, whose Microsoft Learn pages now say XP;
# dbghelp.dll, whose exports change with every release): add one, with its
# source in this comment, when the program needs it.
SYSTEM_DLLS = frozenset(name.lower() for name in """
    advapi32.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll imm32.dll
    kernel32.dll mpr.dll msvcrt.dll netapi32.dll ole32.dll oleaut32.dll
    rpcrt4.dll secur32.dll setupapi.dll shell32.dll shlwapi.dll urlmon.dll
    user32.dll userenv.dll version.dll wininet.dll winmm.dll winspool.drv
    wintrust.dll ws2_32.dll wsock32.dll
    ntdll.dll msimg32.dll iphlpapi.dll
""".split())

# Bounds on what a sane import table holds; a file beyond them is malformed
# (or hostile), and reading it must neither hang nor take all the memory.
MAX_DESCRIPTORS = 4096
MAX_THUNKS = 65536
MAX_NAME = 4096


class NotAPE(Exception):
    """The file is not a PE image this script can read."""


class Table:
    """scripts/absent-exports.txt: one row per export some supported Windows lacks.

    Format: one row a line, four fields separated by "|":

        DLL | EXPORT | AVAILABILITY | SOURCE

    AVAILABILITY is "since WINDOWS" (absent from every supported Windows
    before it) or "not on WINDOWS[, WINDOWS...]" (absent from exactly those),
    WINDOWS being one of WINDOWS_NAMES. SOURCE is the public page or file
    that says so. Blank lines and lines starting with "#" are comments.
    """

    WINDOWS_NAMES = ("2000 SP4", "XP RTM", "XP SP1", "XP SP2", "XP SP3", "Server 2003",
                     "Server 2003 SP1", "Vista", "Server 2008", "7", "8", "8.1", "10")

    def __init__(self, rows):
        self.rows = rows
        self.by_key = {(row["dll"].lower(), row["export"]): row for row in rows}

    @classmethod
    def parse(cls, text, origin="table"):
        rows = []
        for number, line in enumerate(text.splitlines(), 1):
            stripped = line.strip()
            if not stripped or stripped.startswith("#"):
                continue
            fields = [field.strip() for field in stripped.split("|", 3)]
            if len(fields) != 4 or not all(fields):
                raise ValueError(f"{origin}:{number}: expected DLL | EXPORT | AVAILABILITY | SOURCE")
            dll, export, availability, source = fields
            if "." not in dll or " " in dll:
                raise ValueError(f"{origin}:{number}: {dll!r} is not a DLL file name")
            if " " in export:
                raise ValueError(f"{origin}:{number}: {export!r} is not an export name")
            absent_text = cls.parse_availability(availability)
            if absent_text is None:
                raise ValueError(f"{origin}:{number}: availability {availability!r} is neither "
                                 f"'since WINDOWS' nor 'not on WINDOWS, ...' with WINDOWS one of "
                                 f"{', '.join(cls.WINDOWS_NAMES)}")
            if not source.startswith("https://"):
                raise ValueError(f"{origin}:{number}: the source must be a public https:// address")
            key = (dll.lower(), export)
            if any((row["dll"].lower(), row["export"]) == key for row in rows):
                raise ValueError(f"{origin}:{number}: {dll}!{export} is listed twice")
            rows.append({"dll": dll, "export": export, "availability": availability,
                         "absent": absent_text, "source": source, "line": number})
        return cls(rows)

    @classmethod
    def parse_availability(cls, text):
        """The human wording of where an export is missing, or None if malformed."""
        if text.startswith("since "):
            name = text[len("since "):].strip()
            if name in cls.WINDOWS_NAMES and name != "2000 SP4":
                return f"not exported before Windows {name}"
            return None
        if text.startswith("not on "):
            names = [name.strip() for name in text[len("not on "):].split(",")]
            if names and all(name in cls.WINDOWS_NAMES for name in names):
                return "not exported on Windows " + ", ".join(names)
        return None

    @classmethod
    def load(cls, path):
        with open(path, encoding="utf-8") as f:
            return cls.parse(f.read(), origin=path)

    def find(self, dll, name):
        return self.by_key.get((dll.lower(), name))


class Image:
    """The headers and import tables of one PE file, read with bounds checks."""

    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise NotAPE("no MZ header")
        (pe_offset,) = self.unpack("<I", 0x3C)
        if self.read(pe_offset, 4) != b"PE\0\0":
            raise NotAPE("no PE signature")
        (self.machine, sections, _, _, _, optional_size, self.characteristics) = \
            self.unpack("<HHIIIHH", pe_offset + 4)
        optional = pe_offset + 24
        if optional_size < 2:
            raise NotAPE("no optional header")
        (self.magic,) = self.unpack("<H", optional)
        if self.magic == 0x10B:
            self.pe32plus = False
            if optional_size < 96:
                raise NotAPE("optional header too short")
            (self.image_base,) = self.unpack("<I", optional + 28)
            directories_at = optional + 96
            (directory_count,) = self.unpack("<I", optional + 92)
        elif self.magic == 0x20B:
            self.pe32plus = True
            if optional_size < 112:
                raise NotAPE("optional header too short")
            (self.image_base,) = self.unpack("<Q", optional + 24)
            directories_at = optional + 112
            (directory_count,) = self.unpack("<I", optional + 108)
        else:
            raise NotAPE(f"unknown optional header magic 0x{self.magic:x}")
        (self.os_version, self.image_version, self.subsystem_version) = (
            self.unpack("<HH", optional + 40), self.unpack("<HH", optional + 44),
            self.unpack("<HH", optional + 48))
        (self.size_of_headers,) = self.unpack("<I", optional + 60)
        (self.subsystem,) = self.unpack("<H", optional + 68)
        directory_count = min(directory_count, 16, (optional_size - (directories_at - optional)) // 8)
        self.directories = [self.unpack("<II", directories_at + 8 * i) for i in range(directory_count)]
        self.sections = []
        table = optional + optional_size
        if self.size_of_headers > len(data):
            raise NotAPE(f"truncated: the headers take 0x{self.size_of_headers:x} bytes, the file has "
                         f"0x{len(data):x}")
        for i in range(sections):
            name, virtual_size, address, raw_size, raw_at = self.unpack("<8sIIII", table + 40 * i)
            if raw_size and raw_at + raw_size > len(data):
                # The loader maps every section from the file; one cut short
                # (an interrupted copy or download) makes the image invalid.
                label = name.rstrip(b"\0").decode("latin-1")
                raise NotAPE(f"truncated: section {label!r} ends at "
                             f"0x{raw_at + raw_size:x}, the file has 0x{len(data):x} bytes")
            self.sections.append((address, max(virtual_size, raw_size), raw_at, raw_size))

    # -- raw access --

    def read(self, offset, size):
        if offset < 0 or offset + size > len(self.data):
            raise NotAPE(f"truncated: {size} bytes wanted at offset 0x{offset:x}, the file has "
                         f"0x{len(self.data):x}")
        return self.data[offset:offset + size]

    def unpack(self, fmt, offset):
        return struct.unpack_from(fmt, self.read(offset, struct.calcsize(fmt)))

    def offset_of(self, rva, size=1):
        """The file offset of an RVA whose `size` bytes lie in one section's file data."""
        if rva < self.size_of_headers and rva + size <= self.size_of_headers:
            return rva
        for address, span, raw_at, raw_size in self.sections:
            if address <= rva and rva + size <= address + span:
                delta = rva - address
                if delta + size > raw_size:
                    raise NotAPE(f"RVA 0x{rva:x} lies in uninitialised section data")
                return raw_at + delta
        raise NotAPE(f"RVA 0x{rva:x} is in no section")

    def rva_unpack(self, fmt, rva):
        return struct.unpack_from(fmt, self.read(self.offset_of(rva, struct.calcsize(fmt)),
                                                 struct.calcsize(fmt)))

    def rva_string(self, rva):
        start = self.offset_of(rva)
        end = self.data.find(b"\0", start, start + MAX_NAME)
        if end < 0:
            raise NotAPE(f"unterminated name at RVA 0x{rva:x}")
        return self.data[start:end].decode("latin-1")

    # -- import tables --

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def thunks(self, rva):
        """(name or None, ordinal or None) for each entry of an import name table."""
        fmt, flag = ("<Q", 1 << 63) if self.pe32plus else ("<I", 1 << 31)
        step = struct.calcsize(fmt)
        entries = []
        for i in range(MAX_THUNKS + 1):
            if i == MAX_THUNKS:
                raise NotAPE(f"import name table at RVA 0x{rva:x} has no end")
            (value,) = self.rva_unpack(fmt, rva + i * step)
            if value == 0:
                return entries
            if value & flag:
                entries.append((None, value & 0xFFFF))
            else:
                entries.append((self.rva_string((value & 0x7FFFFFFF) + 2), None))

    def imports(self):
        """[(dll, delay_loaded, [(name, ordinal)...])...] in table order."""
        result = []
        rva, size = self.directory(1)
        if rva and size:
            for i in range(MAX_DESCRIPTORS + 1):
                if i == MAX_DESCRIPTORS:
                    raise NotAPE("import directory has no end")
                names_rva, _, _, name_rva, address_rva = self.rva_unpack("<IIIII", rva + 20 * i)
                if not (names_rva or name_rva or address_rva):
                    break
                result.append((self.rva_string(name_rva), False,
                               self.thunks(names_rva or address_rva)))
        rva, size = self.directory(13)
        if rva and size:
            for i in range(MAX_DESCRIPTORS + 1):
                if i == MAX_DESCRIPTORS:
                    raise NotAPE("delay-load import directory has no end")
                (attributes, name_rva, _, address_rva, names_rva) = \
                    self.rva_unpack("<IIIII", rva + 32 * i)
                if not (name_rva or address_rva or names_rva):
                    break
                if not attributes & 1:
                    # The old form of the descriptor holds addresses, not RVAs.
                    name_rva, names_rva = (name_rva - self.image_base) & 0xFFFFFFFF, \
                        (names_rva - self.image_base) & 0xFFFFFFFF
                result.append((self.rva_string(name_rva), True, self.thunks(names_rva)))
        return result


def version_text(pair):
    return f"{pair[0]}.{pair[1]}"


def check_file(path, table, listing, out):
    """Prints the report for one file; returns its failures, raises NotAPE/OSError."""
    with open(path, "rb") as f:
        image = Image(f.read())
    imports = image.imports()
    failures = []

    machine = MACHINE_NAMES.get(image.machine, "unknown")
    out.write(f"{path}: machine {machine} (0x{image.machine:x}), "
              f"{'PE32+' if image.pe32plus else 'PE32'}, "
              f"subsystem {SUBSYSTEM_NAMES.get(image.subsystem, image.subsystem)} "
              f"{version_text(image.subsystem_version)}, "
              f"OS version {version_text(image.os_version)}, "
              f"image version {version_text(image.image_version)}\n")
    if image.machine != MACHINE_I386:
        failures.append(f"machine is {machine} (0x{image.machine:x}), not i386 (0x14c): "
                        f"the program must be 32-bit x86 code")
    if tuple(image.subsystem_version) > HIGHEST_SUBSYSTEM_VERSION:
        failures.append(f"subsystem version {version_text(image.subsystem_version)} is above "
                        f"{version_text(HIGHEST_SUBSYSTEM_VERSION)}: Windows older than "
                        f"{version_text(image.subsystem_version)} refuses to start it "
                        f"(link with --subsystem windows:4.0)")

    named = sum(1 for _, _, entries in imports for name, _ in entries if name is not None)
    by_ordinal = sum(1 for _, _, entries in imports for name, _ in entries if name is None)
    delayed = sum(1 for _, delay, _ in imports if delay)
    out.write(f"{path}: {len(imports)} DLLs ({delayed} delay-loaded), {named} imports by name, "
              f"{by_ordinal} by ordinal\n")

    for dll, delay, entries in imports:
        kind = "delay-loaded DLL" if delay else "DLL"
        if dll.lower() not in SYSTEM_DLLS:
            failures.append(f"imports {kind} {dll}, which is not a system DLL of every supported "
                            f"Windows")
        for name, ordinal in entries:
            if name is None:
                failures.append(f"{dll}!#{ordinal} is imported by ordinal; an ordinal's meaning "
                                f"differs between Windows versions, import it by name")
                continue
            row = table.find(dll, name)
            if row:
                failures.append(f"{dll}!{name} is {row['absent']} ({row['source']})")

    if listing:
        for dll, delay, entries in imports:
            out.write(f"  {dll}{' (delay-loaded)' if delay else ''}: {len(entries)}\n")
            for name, ordinal in sorted(entries, key=lambda e: (e[0] is None, e[0] or "", e[1] or 0)):
                out.write(f"    {name if name is not None else '#' + str(ordinal)}\n")

    for failure in failures:
        out.write(f"{path}: FAIL: {failure}\n")
    out.write(f"{path}: {'OK' if not failures else f'{len(failures)} problem(s)'}\n")
    return failures


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Fail when a 32-bit Windows program would not load on a supported Windows.")
    parser.add_argument("--list", action="store_true", help="print every import, by DLL")
    parser.add_argument("--table", default=DEFAULT_TABLE, help="the table of absent exports")
    parser.add_argument("files", nargs="+", metavar="FILE")
    args = parser.parse_args(argv)

    try:
        table = Table.load(args.table)
    except (OSError, ValueError) as error:
        print(f"error: cannot use the table of absent exports: {error}", file=sys.stderr)
        return 2

    status = 0
    for path in args.files:
        try:
            if check_file(path, table, args.list, sys.stdout):
                status = max(status, 1)
        except NotAPE as error:
            print(f"{path}: error: not a readable PE image: {error}", file=sys.stderr)
            status = 2
        except OSError as error:
            print(f"{path}: error: {error.strerror or error}", file=sys.stderr)
            status = 2
    return status


if __name__ == "__main__":
    sys.exit(main())

"""check_imports.py on small real programs built here with MinGW-w64.

Each case compiles and links a tiny Windows program (or DLL) in a temporary
folder with the cross compilers and runs the checker on it as a process, the
way CI runs it on Quellfix.exe:

    python3 scripts/test_check_imports.py            (or -v for each case)

The cases skip when the MinGW-w64 compilers are not installed; the one that
needs a delay-load directory skips without LLVM's lld-link and llvm-dlltool,
since GNU ld does not write that directory.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "check_imports.py")
TABLE = os.path.join(HERE, "absent-exports.txt")
sys.path.insert(0, HERE)
import check_imports  # noqa: E402  (the table parser is tested directly)

GCC32 = shutil.which("i686-w64-mingw32-gcc")
GCC64 = shutil.which("x86_64-w64-mingw32-gcc")
DLLTOOL32 = shutil.which("i686-w64-mingw32-dlltool")
LLD_LINK = shutil.which("lld-link")
LLVM_DLLTOOL = shutil.which("llvm-dlltool") or shutil.which("llvm-dlltool-14")

PLAIN = r"""
#include <windows.h>
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show)
{
    (void)instance; (void)previous; (void)line; (void)show;
    return MessageBoxA(NULL, "Quellfix", "Quellfix", MB_OK) == IDOK ? 0 : 1;
}
"""

TICK64 = r"""
#define _WIN32_WINNT 0x0600
#include <windows.h>
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show)
{
    (void)instance; (void)previous; (void)line; (void)show;
    return (int)(GetTickCount64() & 1);
}
"""

HELPER_DLL = r"""
__declspec(dllexport) int helper_value(void) { return 42; }
"""

USES_HELPER = r"""
#include <windows.h>
__declspec(dllimport) int helper_value(void);
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show)
{
    (void)instance; (void)previous; (void)line; (void)show;
    return helper_value();
}
"""

USES_COMMON_CONTROLS = r"""
#include <windows.h>
#include <commctrl.h>
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show)
{
    (void)instance; (void)previous; (void)line; (void)show;
    InitCommonControls();
    return 0;
}
"""

# Linked without the C runtime by lld-link, which alone writes a delay-load
# directory here; the delay-load helper is a stand-in because the program is
# only read, never run.
DELAY_LOADED = r"""
#include <windows.h>
DWORD WINAPI GetFileVersionInfoSizeExA(DWORD flags, LPCSTR name, LPDWORD handle);
void *__stdcall __delayLoadHelper2(const void *descriptor, void **slot)
{
    (void)descriptor;
    return *slot;
}
void __stdcall start(void)
{
    DWORD handle;
    ExitProcess(GetFileVersionInfoSizeExA(0, "x", &handle));
}
"""

PINNED = ["-mwindows", "-Wl,--subsystem,windows:4.0",
          "-Wl,--major-os-version,4,--minor-os-version,0"]


def run_checker(*arguments):
    return subprocess.run([sys.executable, SCRIPT] + list(arguments),
                          capture_output=True, text=True, timeout=60)


def subsystem_version(path):
    with open(path, "rb") as f:
        data = f.read()
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    return struct.unpack_from("<HH", data, pe + 24 + 48)


@unittest.skipUnless(GCC32 and GCC64, "the MinGW-w64 cross compilers are not installed")
class BuiltPrograms(unittest.TestCase):
    """Real programs from the cross toolchain, each checked as CI checks Quellfix.exe."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="check-imports-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.folder, name)

    def build(self, name, source, flags=(), compiler=None):
        """Compiles and links `source` into the temporary folder; returns the output path."""
        source_path = self.path(name + ".c")
        with open(source_path, "w") as f:
            f.write(source)
        output = self.path(name)
        result = subprocess.run([compiler or GCC32, "-O1", source_path, "-o", output] + list(flags),
                                capture_output=True, text=True, timeout=120, cwd=self.folder)
        self.assertEqual(result.returncode, 0, f"building {name} failed:\n{result.stderr}")
        return output

    def failures(self, result):
        return [line for line in result.stdout.splitlines() if ": FAIL: " in line]

    def test_plain_program_with_subsystem_4_0_passes(self):
        exe = self.build("plain.exe", PLAIN, PINNED)
        result = run_checker(exe)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(self.failures(result), [])
        self.assertIn("machine i386 (0x14c)", result.stdout)
        self.assertIn("subsystem Windows GUI 4.0, OS version 4.0", result.stdout)
        self.assertTrue(result.stdout.rstrip().endswith(f"{exe}: OK"), result.stdout)

    def test_a_vista_only_call_fails_naming_the_import(self):
        exe = self.build("tick64.exe", TICK64, PINNED)
        result = run_checker(exe)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        failures = self.failures(result)
        self.assertEqual(len(failures), 1, failures)
        self.assertIn(f"{exe}: FAIL: KERNEL32.dll!GetTickCount64 is not exported before Windows Vista",
                      failures[0])
        self.assertIn("https://", failures[0])

    def test_subsystem_version_above_4_0_fails(self):
        exe = self.build("default-subsystem.exe", PLAIN, ["-mwindows"])
        if subsystem_version(exe) <= (4, 0):
            # This toolchain still writes 4.0 by default; force what newer
            # linkers write so the check is exercised all the same.
            exe = self.build("default-subsystem.exe", PLAIN, ["-mwindows", "-Wl,--subsystem,windows:6.0"])
        major, minor = subsystem_version(exe)
        result = run_checker(exe)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertEqual([f for f in self.failures(result) if "subsystem version" in f],
                         [f"{exe}: FAIL: subsystem version {major}.{minor} is above 4.0: Windows older "
                          f"than {major}.{minor} refuses to start it (link with --subsystem windows:4.0)"])

    def test_64_bit_program_fails_the_machine_check(self):
        exe = self.build("plain64.exe", PLAIN, PINNED, compiler=GCC64)
        result = run_checker(exe)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("PE32+", result.stdout)
        self.assertIn(f"{exe}: FAIL: machine is x86-64 (AMD64) (0x8664), not i386 (0x14c)", result.stdout)

    def test_import_from_a_dll_windows_does_not_ship_fails(self):
        self.build("helper.dll", HELPER_DLL,
                   ["-shared", "-Wl,--out-implib," + self.path("libhelper.dll.a")])
        exe = self.build("uses-helper.exe", USES_HELPER, PINNED + ["-L" + self.folder, "-lhelper"])
        result = run_checker(exe)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertEqual(self.failures(result),
                         [f"{exe}: FAIL: imports DLL helper.dll, which is not a system DLL of every "
                          f"supported Windows"])

    @unittest.skipUnless(DLLTOOL32, "i686-w64-mingw32-dlltool is not installed")
    def test_import_by_ordinal_is_reported(self):
        # An import library that names InitCommonControls by its ordinal only,
        # as some vendors' libraries do.
        definition = self.path("comctl32-ordinal.def")
        with open(definition, "w") as f:
            f.write("LIBRARY COMCTL32.dll\nEXPORTS\nInitCommonControls@0 @17 NONAME\n")
        library = self.path("libcomctl32-ordinal.a")
        subprocess.run([DLLTOOL32, "-k", "-d", definition, "-l", library], check=True, timeout=60)
        exe = self.build("ordinal.exe", USES_COMMON_CONTROLS, PINNED + [library])
        result = run_checker("--list", exe)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("1 by ordinal", result.stdout)
        self.assertIn("    #17\n", result.stdout)
        self.assertEqual(self.failures(result),
                         [f"{exe}: FAIL: COMCTL32.dll!#17 is imported by ordinal; an ordinal's meaning "
                          f"differs between Windows versions, import it by name"])

    @unittest.skipUnless(LLD_LINK and LLVM_DLLTOOL, "lld-link and llvm-dlltool are not installed")
    def test_delay_loaded_import_is_checked(self):
        objects = []
        for dll, exports in (("kernel32.dll", "ExitProcess@4"),
                             ("version.dll", "GetFileVersionInfoSizeExA@12")):
            definition = self.path(dll + ".def")
            with open(definition, "w") as f:
                f.write(f"LIBRARY {dll}\nEXPORTS\n{exports}\n")
            library = self.path(dll + ".lib")
            subprocess.run([LLVM_DLLTOOL, "-k", "-m", "i386", "-d", definition, "-l", library],
                           check=True, timeout=60)
            objects.append(library)
        source = self.path("delay.c")
        with open(source, "w") as f:
            f.write(DELAY_LOADED)
        subprocess.run([GCC32, "-c", "-O1", source, "-o", self.path("delay.o")], check=True, timeout=120)
        exe = self.path("delay.exe")
        subprocess.run([LLD_LINK, "/out:" + exe, "/entry:start", "/subsystem:windows,4.0", "/safeseh:no",
                        "/nodefaultlib", "/delayload:version.dll", self.path("delay.o")] + objects,
                       check=True, timeout=120, capture_output=True)
        result = run_checker("--list", exe)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("(1 delay-loaded)", result.stdout)
        self.assertIn("  version.dll (delay-loaded): 1\n    GetFileVersionInfoSizeExA\n", result.stdout)
        self.assertEqual(len(self.failures(result)), 1, result.stdout)
        self.assertIn("version.dll!GetFileVersionInfoSizeExA is not exported before Windows Vista",
                      self.failures(result)[0])

    def test_list_prints_every_import_by_dll_with_counts(self):
        exe = self.build("plain-list.exe", PLAIN, PINNED)
        listing = run_checker("--list", exe).stdout
        objdump = shutil.which("i686-w64-mingw32-objdump")
        headers = re.findall(r"^  (\S+): (\d+)$", listing, re.M)
        self.assertIn("USER32.dll", [dll for dll, _ in headers])
        # Each header's count is the number of names printed under it.
        blocks = re.split(r"^  \S+: \d+\n", listing, flags=re.M)[1:]
        for (dll, count), block in zip(headers, blocks):
            names = [line.strip() for line in block.splitlines() if line.startswith("    ")]
            with self.subTest(dll=dll):
                self.assertEqual(len(names), int(count))
        if objdump:
            # The same names objdump reads from the import table.
            dump = subprocess.run([objdump, "-p", exe], capture_output=True, text=True).stdout
            theirs = sorted(re.findall(r"^\t[0-9a-f]+\t +\d+  (\S+)$", dump, re.M))
            ours = sorted(line.strip() for line in listing.splitlines() if line.startswith("    "))
            self.assertEqual(ours, theirs)

    def test_several_files_each_reported_and_the_worst_status_wins(self):
        good = self.build("good.exe", PLAIN, PINNED)
        bad = self.build("bad.exe", TICK64, PINNED)
        result = run_checker(good, bad)
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"{good}: OK", result.stdout)
        self.assertTrue(all(line.startswith(bad) for line in self.failures(result)))
        not_pe = self.path("notes.txt")
        with open(not_pe, "w") as f:
            f.write("not a program\n")
        result = run_checker(good, not_pe, bad)
        self.assertEqual(result.returncode, 2)
        self.assertIn(f"{good}: OK", result.stdout)
        self.assertIn(f"{bad}: 1 problem(s)", result.stdout)

    def test_dll_names_in_the_table_match_whatever_case_the_program_uses(self):
        exe = self.build("plain-case.exe", PLAIN, PINNED)
        table = self.path("messagebox-table.txt")
        with open(table, "w") as f:
            f.write("# a made-up row: MessageBoxA is as old as Windows itself\n"
                    "user32.dll | MessageBoxA | since Vista | https://example.invalid/made-up\n")
        result = run_checker("--table", table, exe)
        self.assertEqual(result.returncode, 1)
        self.assertIn("USER32.dll!MessageBoxA is not exported before Windows Vista", result.stdout)

    def test_damaged_files_are_refused_with_exit_2(self):
        exe = self.build("whole.exe", PLAIN, PINNED)
        with open(exe, "rb") as f:
            data = f.read()
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        cases = {
            "empty": b"",
            "text": b"MZ is not enough\n",
            "headers only": data[:pe + 24 + 40],
            "cut before the import table": data[:0x400],
            "cut in half": data[:len(data) // 2],
            "PE offset past the end": data[:0x3C] + struct.pack("<I", len(data) + 100) + data[0x40:],
            "no PE signature": data[:pe] + b"XX\0\0" + data[pe + 4:],
        }
        for name, content in cases.items():
            with self.subTest(case=name):
                path = self.path("damaged.exe")
                with open(path, "wb") as f:
                    f.write(content)
                result = run_checker(path)
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn(f"{path}: error: not a readable PE image", result.stderr)
                self.assertNotIn("Traceback", result.stderr)

    def test_import_table_pointing_outside_the_file_is_refused(self):
        exe = self.build("pointer.exe", PLAIN, PINNED)
        with open(exe, "rb") as f:
            data = bytearray(f.read())
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        import_directory = pe + 24 + 96 + 8  # PE32 data directory 1
        struct.pack_into("<I", data, import_directory, 0x7FFFFF00)
        path = self.path("pointer-bad.exe")
        with open(path, "wb") as f:
            f.write(data)
        result = run_checker(path)
        self.assertEqual(result.returncode, 2)
        self.assertIn("is in no section", result.stderr)


class Usage(unittest.TestCase):

    def test_usage_errors_exit_2(self):
        for arguments in ([], ["--no-such-option", "x.exe"], ["/no/such/file.exe"]):
            with self.subTest(arguments=arguments):
                self.assertEqual(run_checker(*arguments).returncode, 2)

    def test_a_broken_table_stops_the_check_with_exit_2(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("kernel32.dll | GetTickCount64 | since Vista\n")
        self.addCleanup(os.unlink, f.name)
        result = run_checker("--table", f.name, SCRIPT)
        self.assertEqual(result.returncode, 2)
        self.assertIn(f"{f.name}:1:", result.stderr)


class AbsentExportsTable(unittest.TestCase):
    """scripts/absent-exports.txt: every row readable and sourced."""

    def setUp(self):
        self.table = check_imports.Table.load(TABLE)

    def test_every_row_parses_and_names_a_quoted_public_source(self):
        self.assertGreater(len(self.table.rows), 100)
        for row in self.table.rows:
            with self.subTest(line=row["line"], export=row["export"]):
                self.assertRegex(row["source"], r'^https://\S+ ".+"')
                self.assertRegex(row["availability"], r"^(since|not on) ")
                self.assertRegex(row["export"], r"^[A-Za-z_][A-Za-z0-9_]*$")

    def test_every_row_is_for_a_dll_the_check_lets_through(self):
        # A row for a DLL outside the allow-list could never match: the DLL
        # itself already fails.
        for row in self.table.rows:
            with self.subTest(dll=row["dll"], export=row["export"]):
                self.assertIn(row["dll"].lower(), check_imports.SYSTEM_DLLS)

    def test_the_imports_the_threads_runtime_is_known_for_are_listed(self):
        for dll, name in (("kernel32.dll", "GetTickCount64"),
                          ("kernel32.dll", "AddVectoredExceptionHandler"),
                          ("kernel32.dll", "RemoveVectoredExceptionHandler"),
                          ("msvcrt.dll", "wcsnlen")):
            with self.subTest(name=name):
                self.assertIsNotNone(self.table.find(dll.upper(), name))

    def test_malformed_rows_are_rejected_with_their_line(self):
        good = "kernel32.dll | GetTickCount64 | since Vista | https://example.invalid/page \"x\""
        cases = {
            "three fields": "kernel32.dll | GetTickCount64 | since Vista",
            "empty source": "kernel32.dll | GetTickCount64 | since Vista | ",
            "source not an address": "kernel32.dll | GetTickCount64 | since Vista | MSDN",
            "unknown Windows": "kernel32.dll | GetTickCount64 | since Windows 12 | https://example.invalid",
            "since the baseline": "kernel32.dll | GetTickCount64 | since 2000 SP4 | https://example.invalid",
            "unknown wording": "kernel32.dll | GetTickCount64 | Vista | https://example.invalid",
            "not a DLL name": "kernel32 | GetTickCount64 | since Vista | https://example.invalid",
            "blank in a name": "kernel32.dll | Get Tick | since Vista | https://example.invalid",
            "listed twice": good + "\n" + good.replace("kernel32.dll", "KERNEL32.DLL"),
        }
        for name, text in cases.items():
            with self.subTest(case=name):
                with self.assertRaisesRegex(ValueError, r"^t:\d+: "):
                    check_imports.Table.parse("# comment\n\n" + text, origin="t")

    def test_both_availability_forms_read(self):
        table = check_imports.Table.parse(
            "a.dll | One | since XP SP2 | https://example.invalid/1\n"
            "a.dll | Two | not on XP RTM, XP SP1 | https://example.invalid/2\n")
        self.assertEqual(table.find("A.DLL", "One")["absent"], "not exported before Windows XP SP2")
        self.assertEqual(table.find("a.dll", "Two")["absent"], "not exported on Windows XP RTM, XP SP1")
        self.assertIsNone(table.find("a.dll", "one"))  # export names are case-sensitive


if __name__ == "__main__":
    unittest.main()

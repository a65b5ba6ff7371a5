// The setup program QuellfixSetup.exe, run silently as an administrator or
// the self-update would run it: what it installs (program, Start-menu
// shortcuts, Uninstall entry), where, what its uninstaller removes, and how
// it replaces a Quellfix that is running from the installation folder.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellfix";
const char kCaptionPrefix[] = "Quellfix 2.0 - ";
const char kUninstallLink[] = "Quellfix 제거.lnk";
// What the setup program's exit code is on success.
const long kSetupSucceeded = 0;

std::string SetupPath() { return BinaryDir() + "\\QuellfixSetup.exe"; }
std::string BuiltProgram() { return BinaryDir() + "\\Quellfix.exe"; }

std::string KnownFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return "";
    return path;
}

std::string DefaultInstallDir() { return KnownFolder(CSIDL_PROGRAM_FILES) + "\\Quellfix"; }
std::string StartMenuDir() { return KnownFolder(CSIDL_COMMON_PROGRAMS) + "\\Quellfix"; }

// A process started by a test; ended if it still runs when the test is over.
class Process {
public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        if (m_info.hProcess) {
            if (::WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(m_info.hProcess, 99);
                ::WaitForSingleObject(m_info.hProcess, 10000);
            }
            ::CloseHandle(m_info.hThread);
            ::CloseHandle(m_info.hProcess);
        }
    }

    bool Start(const std::string& commandLine, const std::string& directory = "",
               DWORD flags = 0) {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        return ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                                directory.empty() ? nullptr : directory.c_str(), &si,
                                &m_info) != 0;
    }

    // True when the process has ended within `timeoutMs`.
    bool WaitEnded(DWORD timeoutMs) {
        return m_info.hProcess && ::WaitForSingleObject(m_info.hProcess, timeoutMs) == WAIT_OBJECT_0;
    }

    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(m_info.hProcess, &code);
        return code;
    }

    DWORD Id() const { return m_info.dwProcessId; }

private:
    PROCESS_INFORMATION m_info = {};
};

// Runs `commandLine` to its end: its exit code, -1 when it could not be
// started, -2 when it did not end within `timeoutMs`.
long RunToEnd(const std::string& commandLine, DWORD timeoutMs = 60000) {
    Process process;
    if (!process.Start(commandLine)) return -1;
    if (!process.WaitEnded(timeoutMs)) return -2;
    return static_cast<long>(process.ExitCode());
}

long RunSetup(const std::string& arguments = "/S") {
    return RunToEnd("\"" + SetupPath() + "\" " + arguments);
}

// NSIS uninstallers copy themselves to %TEMP% and return at once, unless
// told with _?= (unquoted, last) which folder they uninstall; then they run
// in place and can be waited for.
long RunUninstallerInPlace(const std::string& dir) {
    return RunToEnd("\"" + dir + "\\uninstall.exe\" /S _?=" + dir);
}

std::string RegistryText(const char* key, const char* name) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
        return "<no key>";
    }
    char value[2048] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    LONG result = ::RegQueryValueExA(handle, name, nullptr, &type,
                                     reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(handle);
    if (result != ERROR_SUCCESS || type != REG_SZ) return "<no value>";
    return value;
}

bool RegistryKeyExists(const char* key) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(handle);
    return true;
}

// Where a shortcut points, read through the shell as Explorer reads it.
std::string ShortcutTarget(const std::string& link) {
    std::string target = "<unreadable>";
    IShellLinkA* shellLink = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&shellLink)))) {
        return target;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t wide[MAX_PATH] = {};
        ::MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
        if (SUCCEEDED(file->Load(wide, STGM_READ))) {
            char path[MAX_PATH] = {};
            if (SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, 0))) target = path;
        }
        file->Release();
    }
    shellLink->Release();
    return target;
}

bool SameFileContent(const std::string& a, const std::string& b) {
    bool okA = false;
    bool okB = false;
    std::string bytesA = ReadBytes(a, &okA);
    std::string bytesB = ReadBytes(b, &okB);
    return okA && okB && bytesA == bytesB;
}

std::string TempDir() {
    char path[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, path);
    return path;
}

// The folders NSIS uninstallers copy themselves into: %TEMP%\~nsu*.tmp.
std::vector<std::string> TempCopies() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((TempDir() + "~nsu*.tmp").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(data.cFileName);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return names;
}

// The primary language Quellfix detects for this Windows: the last language
// of kernel32's version resource.
BOOL CALLBACK KeepLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    *reinterpret_cast<WORD*>(param) = language;
    return TRUE;
}

int SystemPrimaryLanguage() {
    WORD language = 0;
    HMODULE kernel = ::LoadLibraryA("kernel32.dll");
    ::EnumResourceLanguagesA(kernel, reinterpret_cast<LPCSTR>(RT_VERSION), MAKEINTRESOURCEA(1),
                             &KeepLanguage, reinterpret_cast<LONG_PTR>(&language));
    ::FreeLibrary(kernel);
    return language & 0x3FF;
}

// A catalog for this system with one update, so that Quellfix started with
// "debug" opens with a filled list and no question waiting for an answer.
void PlantCatalog(const std::string& dir) {
    std::string text = "[INFO]\r\nCOUNT=1\r\nLANGUAGE=" + std::to_string(SystemPrimaryLanguage()) +
                       "\r\n\r\n[1]\r\nTITLE=테스트 업데이트\r\nIEVER=0\r\n";
    ASSERT_TRUE(WriteBytes(dir + "\\quellfix.ini", text));
}

struct WindowSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !::IsWindowVisible(hwnd)) return TRUE;
    char cls[64] = {};
    char caption[512] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    ::GetWindowTextA(hwnd, caption, sizeof caption);
    if (std::string(cls) != "#32770" || std::string(caption).rfind(kCaptionPrefix, 0) != 0) {
        return TRUE;
    }
    search->found = hwnd;
    return FALSE;
}

bool MainWindowShown(DWORD pid) {
    WindowSearch search{pid, nullptr};
    ::EnumWindows(&FindMainWindow, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
}

// Every test starts and ends with no Quellfix installed.
class Setup : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::CoInitialize(nullptr);
        // Under Wine, saving a shortcut also starts winemenubuilder, which
        // copies Start-menu entries into the desktop menus of the machine
        // running the tests. Switched off for these tests; Windows ignores
        // the key.
        HKEY key = nullptr;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, kWineOverrides, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr) == ERROR_SUCCESS) {
            ::RegSetValueExA(key, kMenuBuilder, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
            ::RegCloseKey(key);
        }
    }

    static void TearDownTestSuite() {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, kWineOverrides, 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            ::RegDeleteValueA(key, kMenuBuilder);
            ::RegCloseKey(key);
        }
        ::CoUninitialize();
    }

    static constexpr const char* kWineOverrides = "Software\\Wine\\DllOverrides";
    static constexpr const char* kMenuBuilder = "winemenubuilder.exe";

    void SetUp() override {
        ASSERT_TRUE(FileExists(SetupPath())) << "setup program not built: " << SetupPath();
        RemoveInstallation(DefaultInstallDir());
    }

    void TearDown() override {
        for (const std::string& dir : m_extraDirs) RemoveInstallation(dir);
        RemoveInstallation(DefaultInstallDir());
    }

    static void RemoveInstallation(const std::string& dir) {
        if (FileExists(dir + "\\uninstall.exe")) RunUninstallerInPlace(dir);
        RemoveTree(dir);
        RemoveTree(StartMenuDir());
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    }

    std::vector<std::string> m_extraDirs;
};

TEST_F(Setup, SilentInstallPutsProgramShortcutsAndUninstallEntryInPlace) {
    ASSERT_EQ(RunSetup(), kSetupSucceeded);

    const std::string dir = DefaultInstallDir();
    EXPECT_TRUE(SameFileContent(dir + "\\Quellfix.exe", BuiltProgram()))
        << "installed program differs from the build";
    EXPECT_TRUE(FileExists(dir + "\\uninstall.exe"));

    EXPECT_EQ(ShortcutTarget(StartMenuDir() + "\\Quellfix.lnk"), dir + "\\Quellfix.exe");
    EXPECT_EQ(ShortcutTarget(StartMenuDir() + "\\" + kUninstallLink), dir + "\\uninstall.exe");

    EXPECT_EQ(RegistryText(kUninstallKey, "DisplayName"), "Quellfix");
    EXPECT_EQ(RegistryText(kUninstallKey, "DisplayVersion"), "2.000");
    EXPECT_EQ(RegistryText(kUninstallKey, "InstallLocation"), dir);
    EXPECT_EQ(RegistryText(kUninstallKey, "UninstallString"), "\"" + dir + "\\uninstall.exe\"");
    EXPECT_EQ(RegistryText(kUninstallKey, "QuietUninstallString"),
              "\"" + dir + "\\uninstall.exe\" /S");
}

TEST_F(Setup, UninstallRemovesWhatSetupAndQuellfixMadeButNotOtherFiles) {
    ASSERT_EQ(RunSetup(), kSetupSucceeded);
    const std::string dir = DefaultInstallDir();
    // What Quellfix itself keeps beside the program, and a file of the user's.
    ASSERT_TRUE(WriteBytes(dir + "\\quellfix.ini", "[INFO]\r\n"));
    ASSERT_TRUE(WriteBytes(dir + "\\quellfix.ini.new", "[INFO]\r\n"));
    ASSERT_TRUE(WriteBytes(dir + "\\update.exe", "MZ"));
    ASSERT_TRUE(::CreateDirectoryA((dir + "\\UPDATES").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(dir + "\\UPDATES\\WindowsXP-KB990001-x86-KOR.exe", "MZ"));
    ASSERT_TRUE(WriteBytes(dir + "\\notes.txt", "mine"));

    ASSERT_EQ(RunUninstallerInPlace(dir), kSetupSucceeded);

    for (const char* name : {"Quellfix.exe", "quellfix.ini", "quellfix.ini.new", "update.exe",
                             "UPDATES"}) {
        EXPECT_FALSE(FileExists(dir + "\\" + name)) << name << " left behind";
    }
    EXPECT_TRUE(FileExists(dir + "\\notes.txt")) << "the user's file was removed";
    EXPECT_FALSE(FileExists(StartMenuDir())) << "Start-menu folder left behind";
    EXPECT_FALSE(RegistryKeyExists(kUninstallKey)) << "Uninstall entry left behind";
}

TEST_F(Setup, UninstallerStartedFromAddRemoveProgramsFinishesOnItsOwn) {
    ASSERT_EQ(RunSetup(), kSetupSucceeded);
    const std::string dir = DefaultInstallDir();

    // The uninstaller works from a copy of itself in %TEMP%, which it leaves
    // for Windows to delete at the next start; this test removes it.
    const std::vector<std::string> before = TempCopies();

    // The Uninstall entry's silent command, as Windows would run it.
    std::string command = RegistryText(kUninstallKey, "QuietUninstallString");
    ASSERT_EQ(RunToEnd(command), kSetupSucceeded);
    EXPECT_TRUE(WaitFor([&] { return !FileExists(dir) && !RegistryKeyExists(kUninstallKey); },
                        30000))
        << "installation still present";
    EXPECT_FALSE(FileExists(StartMenuDir()));

    // The copy can be removed once it has ended.
    EXPECT_TRUE(WaitFor([&] {
        bool removed = true;
        for (const std::string& name : TempCopies()) {
            if (std::find(before.begin(), before.end(), name) != before.end()) continue;
            RemoveTree(TempDir() + name);
            removed = removed && !FileExists(TempDir() + name);
        }
        return removed;
    }, 30000)) << "uninstaller copy still running";
}

TEST_F(Setup, InstallsIntoAChosenFolderAndUpdatesItThere) {
    ScopedTempDir parent("qf setup ");
    const std::string dir = parent.File("Quellfix Tools");
    m_extraDirs.push_back(dir);

    // /D= is the last argument and is never quoted.
    ASSERT_EQ(RunSetup("/S /D=" + dir), kSetupSucceeded);
    EXPECT_TRUE(SameFileContent(dir + "\\Quellfix.exe", BuiltProgram()));
    EXPECT_EQ(RegistryText(kUninstallKey, "InstallLocation"), dir);

    // A later setup (the self-update's) goes to the same folder by itself.
    ASSERT_TRUE(::DeleteFileA((dir + "\\Quellfix.exe").c_str()));
    ASSERT_EQ(RunSetup(), kSetupSucceeded);
    EXPECT_TRUE(SameFileContent(dir + "\\Quellfix.exe", BuiltProgram()));
    EXPECT_FALSE(FileExists(DefaultInstallDir())) << "second copy installed in Program Files";
}

// An older Quellfix.exe installed and running, as when the self-update has
// just started the new setup program.
class RunningOldVersion : public Setup {
protected:
    void SetUp() override {
        Setup::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(RunSetup(), kSetupSucceeded);
        m_dir = DefaultInstallDir();
        m_program = m_dir + "\\Quellfix.exe";
        // The "older version": the same program with a few bytes appended,
        // which Windows ignores when it runs it.
        std::string old = ReadBytes(BuiltProgram()) + std::string(512, '\x5A');
        ASSERT_TRUE(WriteBytes(m_program, old));
        PlantCatalog(m_dir);
    }

    std::string m_dir;
    std::string m_program;
};

TEST_F(RunningOldVersion, SetupAsksItToCloseThenReplacesIt) {
    Process old;
    ASSERT_TRUE(old.Start("\"" + m_program + "\" debug", m_dir));
    ASSERT_TRUE(WaitFor([&] { return MainWindowShown(old.Id()); }, 30000))
        << "installed Quellfix did not open its main window";

    ASSERT_EQ(RunSetup(), kSetupSucceeded);

    ASSERT_TRUE(old.WaitEnded(0)) << "setup returned while the old Quellfix still runs";
    EXPECT_EQ(old.ExitCode(), 0u) << "old Quellfix was ended instead of closed";
    EXPECT_TRUE(SameFileContent(m_program, BuiltProgram())) << "program not replaced";
    EXPECT_TRUE(FileExists(m_dir + "\\quellfix.ini")) << "setup removed the catalog";
}

TEST_F(RunningOldVersion, SetupEndsOneThatDoesNotAnswer) {
    // A process that never runs a line of code cannot close itself; it still
    // holds the program file open.
    Process stuck;
    ASSERT_TRUE(stuck.Start("\"" + m_program + "\" debug", m_dir, CREATE_SUSPENDED));

    ASSERT_EQ(RunSetup(), kSetupSucceeded);

    ASSERT_TRUE(stuck.WaitEnded(0)) << "setup returned while the old Quellfix still runs";
    EXPECT_TRUE(SameFileContent(m_program, BuiltProgram())) << "program not replaced";
}

TEST_F(RunningOldVersion, UninstallClosesItFirst) {
    Process old;
    ASSERT_TRUE(old.Start("\"" + m_program + "\" debug", m_dir));
    ASSERT_TRUE(WaitFor([&] { return MainWindowShown(old.Id()); }, 30000));

    ASSERT_EQ(RunUninstallerInPlace(m_dir), kSetupSucceeded);

    ASSERT_TRUE(old.WaitEnded(0)) << "uninstaller returned while Quellfix still runs";
    EXPECT_EQ(old.ExitCode(), 0u);
    EXPECT_FALSE(FileExists(m_program)) << "program left behind";
}

TEST_F(Setup, LeavesAQuellfixRunningFromAnotherFolderAlone) {
    ScopedTempDir elsewhere("qf other ");
    const std::string program = elsewhere.File("Quellfix.exe");
    ASSERT_TRUE(::CopyFileA(BuiltProgram().c_str(), program.c_str(), FALSE));
    PlantCatalog(elsewhere.Path());
    Process other;
    ASSERT_TRUE(other.Start("\"" + program + "\" debug", elsewhere.Path()));
    ASSERT_TRUE(WaitFor([&] { return MainWindowShown(other.Id()); }, 30000));

    ASSERT_EQ(RunSetup(), kSetupSucceeded);

    EXPECT_FALSE(other.WaitEnded(0)) << "setup closed a Quellfix it does not replace";
    EXPECT_TRUE(FileExists(DefaultInstallDir() + "\\Quellfix.exe"));
}

}  // namespace

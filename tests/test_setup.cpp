// The setup program QuellfixSetup.exe, run silently as an administrator or
// the self-update runs it: what it installs, what its uninstaller removes,
// and how it replaces a Quellfix running from the installation folder.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellfix";

std::string BuiltProgram() { return BinaryDir() + "\\Quellfix.exe"; }

std::string KnownFolder(int csidl) {
    char path[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}
std::string InstallDir() { return KnownFolder(CSIDL_PROGRAM_FILES) + "\\Quellfix"; }
std::string StartMenuDir() { return KnownFolder(CSIDL_COMMON_PROGRAMS) + "\\Quellfix"; }

// A process started by a test; ended if it still runs when the test is over.
class Process {
public:
    explicit Process(const std::string& commandLine, const std::string& directory = "") {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        started = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   directory.empty() ? nullptr : directory.c_str(), &si,
                                   &m_info) != 0;
    }
    ~Process() {
        if (!started) return;
        if (!Ended(0)) ::TerminateProcess(m_info.hProcess, 99);
        Ended(10000);
        ::CloseHandle(m_info.hThread);
        ::CloseHandle(m_info.hProcess);
    }
    bool Ended(DWORD timeoutMs) {
        return started && ::WaitForSingleObject(m_info.hProcess, timeoutMs) == WAIT_OBJECT_0;
    }
    long ExitCode() const {
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(m_info.hProcess, &code);
        return static_cast<long>(code);
    }
    DWORD Id() const { return m_info.dwProcessId; }
    bool started = false;

private:
    PROCESS_INFORMATION m_info = {};
};

// The exit code of `commandLine`, or -1 when it did not run to its end.
long RunToEnd(const std::string& commandLine) {
    Process process(commandLine);
    return process.Ended(60000) ? process.ExitCode() : -1;
}
long RunSetup() { return RunToEnd("\"" + BinaryDir() + "\\QuellfixSetup.exe\" /S"); }
// With _?= the NSIS uninstaller runs in place instead of from a copy in
// %TEMP%, so it can be waited for.
long RunUninstaller(const std::string& dir) {
    return RunToEnd("\"" + dir + "\\uninstall.exe\" /S _?=" + dir);
}

std::string RegistryText(const char* name) {
    char value[2048] = {};
    DWORD size = sizeof value - 1;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return "<no key>";
    }
    LONG result =
        ::RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS ? value : "<no value>";
}

// Where a shortcut points, read through the shell as Explorer reads it.
std::string ShortcutTarget(const std::string& link) {
    char path[MAX_PATH] = "<unreadable>";
    IShellLinkA* shellLink = nullptr;
    IPersistFile* file = nullptr;
    wchar_t wide[MAX_PATH] = {};
    ::MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IShellLinkA, reinterpret_cast<void**>(&shellLink)))) {
        if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile,
                                                reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Load(wide, STGM_READ))) {
                shellLink->GetPath(path, MAX_PATH, nullptr, 0);
            }
            file->Release();
        }
        shellLink->Release();
    }
    return path;
}

bool IsBuiltProgram(const std::string& path) {
    bool ok = false;
    std::string bytes = ReadBytes(path, &ok);
    return ok && bytes == ReadBytes(BuiltProgram());
}

// Every test starts and ends with no Quellfix installed.
class Setup : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::CoInitialize(nullptr);
        // Under Wine, saving a shortcut starts winemenubuilder, which copies
        // Start-menu entries into the desktop menus of the host. Off for these
        // tests; Windows ignores the key.
        ::RegSetValueExA(WineOverrides(), "winemenubuilder.exe", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(""), 1);
    }
    static void TearDownTestSuite() {
        ::RegDeleteValueA(WineOverrides(), "winemenubuilder.exe");
        ::CoUninitialize();
    }
    static HKEY WineOverrides() {
        static HKEY key = nullptr;
        if (!key) {
            ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr);
        }
        return key;
    }

    void SetUp() override { RemoveInstallation(); }
    void TearDown() override { RemoveInstallation(); }
    static void RemoveInstallation() {
        if (FileExists(InstallDir() + "\\uninstall.exe")) RunUninstaller(InstallDir());
        RemoveTree(InstallDir());
        RemoveTree(StartMenuDir());
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    }
};

TEST_F(Setup, InstallsSilentlyAndUninstallsWhatItAndQuellfixMade) {
    ASSERT_EQ(RunSetup(), 0);
    const std::string dir = InstallDir();
    EXPECT_TRUE(IsBuiltProgram(dir + "\\Quellfix.exe"));
    EXPECT_EQ(ShortcutTarget(StartMenuDir() + "\\Quellfix.lnk"), dir + "\\Quellfix.exe");
    EXPECT_EQ(ShortcutTarget(StartMenuDir() + "\\Quellfix 제거.lnk"), dir + "\\uninstall.exe");
    EXPECT_EQ(RegistryText("DisplayName"), "Quellfix");
    EXPECT_EQ(RegistryText("DisplayVersion"), "2.000");
    EXPECT_EQ(RegistryText("InstallLocation"), dir);
    EXPECT_EQ(RegistryText("UninstallString"), "\"" + dir + "\\uninstall.exe\"");
    EXPECT_EQ(RegistryText("QuietUninstallString"), "\"" + dir + "\\uninstall.exe\" /S");

    // What Quellfix keeps beside itself goes with it; a file of the user's stays.
    ASSERT_TRUE(WriteBytes(dir + "\\quellfix.ini", "[INFO]\r\n"));
    ASSERT_TRUE(WriteBytes(dir + "\\update.exe", "MZ"));
    ASSERT_TRUE(::CreateDirectoryA((dir + "\\UPDATES").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(dir + "\\UPDATES\\WindowsXP-KB990001-x86-KOR.exe", "MZ"));
    ASSERT_TRUE(WriteBytes(dir + "\\notes.txt", "mine"));
    ASSERT_EQ(RunUninstaller(dir), 0);
    for (const char* name : {"Quellfix.exe", "quellfix.ini", "update.exe", "UPDATES"}) {
        EXPECT_FALSE(FileExists(dir + "\\" + name)) << name << " left behind";
    }
    EXPECT_TRUE(FileExists(dir + "\\notes.txt")) << "the user's file was removed";
    EXPECT_FALSE(FileExists(StartMenuDir()));
    EXPECT_EQ(RegistryText("DisplayName"), "<no key>");
}

// The primary language of this Windows as Quellfix detects it: the last
// language of kernel32's version resource.
BOOL CALLBACK KeepLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR last) {
    *reinterpret_cast<WORD*>(last) = language;
    return TRUE;
}

BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM pid) {
    DWORD owner = 0;
    char caption[512] = {};
    ::GetWindowThreadProcessId(hwnd, &owner);
    ::GetWindowTextA(hwnd, caption, sizeof caption);
    bool isMain = owner == static_cast<DWORD>(pid) && ::IsWindowVisible(hwnd) &&
                std::string(caption).rfind("Quellfix 2.0 - ", 0) == 0;
    return !isMain;
}

TEST_F(Setup, ReplacesAnOlderVersionRunningFromTheInstallationAfterClosingIt) {
    ASSERT_EQ(RunSetup(), 0);
    const std::string dir = InstallDir();
    const std::string program = dir + "\\Quellfix.exe";
    // The older version: the program with bytes appended, which Windows
    // ignores when it runs it.
    ASSERT_TRUE(WriteBytes(program, ReadBytes(BuiltProgram()) + std::string(512, 'Z')));
    // A catalog for this system, so that it opens with no question waiting.
    WORD language = 0;
    ::EnumResourceLanguagesA(::GetModuleHandleA("kernel32.dll"),
                             reinterpret_cast<LPCSTR>(RT_VERSION), MAKEINTRESOURCEA(1),
                             &KeepLanguage, reinterpret_cast<LONG_PTR>(&language));
    ASSERT_TRUE(WriteBytes(dir + "\\quellfix.ini",
                           "[INFO]\r\nCOUNT=1\r\nLANGUAGE=" + std::to_string(language & 0x3FF) +
                               "\r\n\r\n[1]\r\nTITLE=테스트 업데이트\r\nIEVER=0\r\n"));
    Process old("\"" + program + "\" debug", dir);
    ASSERT_TRUE(WaitFor([&] { return !::EnumWindows(&FindMainWindow, old.Id()); }, 30000))
        << "installed Quellfix did not open its main window";

    ASSERT_EQ(RunSetup(), 0);
    ASSERT_TRUE(old.Ended(0)) << "setup returned while the old Quellfix still runs";
    EXPECT_EQ(old.ExitCode(), 0) << "old Quellfix was ended instead of closed";
    EXPECT_TRUE(IsBuiltProgram(program)) << "program not replaced";
    EXPECT_TRUE(FileExists(dir + "\\quellfix.ini")) << "setup removed the catalog";
}

}  // namespace

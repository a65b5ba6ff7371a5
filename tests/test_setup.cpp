// The setup program QuellfixSetup.exe, run silently as an administrator or
// the self-update runs it: what it installs, how it replaces a Quellfix
// running from the installation folder, and what its uninstaller removes.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "support/TestSupport.h"
#include "support/WindowDriving.h"

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

// The exit code of process `pid`, still open through a TestProcess.
long ExitCode(DWORD pid) {
    DWORD code = STILL_ACTIVE;
    HANDLE h = ::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    ::GetExitCodeProcess(h, &code);
    ::CloseHandle(h);
    return static_cast<long>(code);
}
// The exit code of `commandLine`, or -1 when it did not run to its end.
long RunToEnd(const std::string& commandLine) {
    TestProcess process(commandLine, "");
    return process.WaitExit(60000) ? ExitCode(process.Pid()) : -1;
}
long RunSetup() { return RunToEnd("\"" + BinaryDir() + "\\QuellfixSetup.exe\" /S"); }
// With _?= the NSIS uninstaller runs in place instead of from a copy in
// %TEMP%, so it can be waited for.
long RunUninstaller(const std::string& dir) {
    return RunToEnd("\"" + dir + "\\uninstall.exe\" /S _?=" + dir);
}

// A value of the Uninstall entry, "<none>" when there is none.
std::string RegistryText(const char* name) {
    char value[2048] = {};
    DWORD size = sizeof value;
    return ::RegGetValueA(HKEY_LOCAL_MACHINE, kUninstallKey, name, RRF_RT_REG_SZ, nullptr, value,
                          &size) == ERROR_SUCCESS ? value : "<none>";
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
        if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Load(wide, STGM_READ))) shellLink->GetPath(path, MAX_PATH, nullptr, 0);
            file->Release();
        }
        shellLink->Release();
    }
    return path;
}

bool IsBuiltProgram(const std::string& path) {
    return FileExists(path) && ReadBytes(path) == ReadBytes(BuiltProgram());
}

// The test starts and ends with no Quellfix installed.
class Setup : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitialize(nullptr);
        // Under Wine, saving a shortcut starts winemenubuilder, which copies
        // Start-menu entries into the desktop menus of the host. Off for the
        // test; Windows ignores the key.
        MenuBuilder(false);
        RemoveInstallation();
    }
    void TearDown() override {
        RemoveInstallation();
        MenuBuilder(true);
        ::CoUninitialize();
    }
    static void MenuBuilder(bool on) {
        HKEY key = nullptr;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
        if (on) ::RegDeleteValueA(key, "winemenubuilder.exe");
        else ::RegSetValueExA(key, "winemenubuilder.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
        ::RegCloseKey(key);
    }
    static void RemoveInstallation() {
        if (FileExists(InstallDir() + "\\uninstall.exe")) RunUninstaller(InstallDir());
        RemoveTree(InstallDir());
        RemoveTree(StartMenuDir());
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    }
};

TEST_F(Setup, InstallsReplacesARunningOlderVersionAndUninstallsWhatItAndQuellfixMade) {
    ASSERT_EQ(RunSetup(), 0);
    const std::string dir = InstallDir();
    const std::string program = dir + "\\Quellfix.exe";
    EXPECT_TRUE(IsBuiltProgram(program));
    EXPECT_EQ(ShortcutTarget(StartMenuDir() + "\\Quellfix.lnk"), program);
    EXPECT_EQ(ShortcutTarget(StartMenuDir() + "\\Quellfix 제거.lnk"), dir + "\\uninstall.exe");
    EXPECT_EQ(RegistryText("DisplayName"), "Quellfix");
    EXPECT_EQ(RegistryText("DisplayVersion"), "2.000");
    EXPECT_EQ(RegistryText("InstallLocation"), dir);
    EXPECT_EQ(RegistryText("UninstallString"), "\"" + dir + "\\uninstall.exe\"");
    EXPECT_EQ(RegistryText("QuietUninstallString"), "\"" + dir + "\\uninstall.exe\" /S");

    // An older version (the program with bytes appended, which Windows
    // ignores when it runs it) running from the folder, with a catalog for
    // this system so that it opens with no question waiting: setup closes it
    // and replaces it, keeping the catalog.
    ASSERT_TRUE(WriteBytes(program, ReadBytes(BuiltProgram()) + std::string(512, 'Z')));
    ASSERT_TRUE(WriteBytes(dir + "\\quellfix.ini",
                           CatalogText("\r\n[1]\r\nTITLE=테스트 업데이트\r\nIEVER=0\r\n", 1)));
    TestProcess old("\"" + program + "\" debug", dir);
    ASSERT_TRUE(WaitFor([&] { return FindProcessDialog(old.Pid(), MainWindowCaption()) != nullptr; }, 30000))
        << "installed Quellfix did not open its main window";
    ASSERT_EQ(RunSetup(), 0);
    ASSERT_TRUE(old.WaitExit(0)) << "setup returned while the old Quellfix still runs";
    EXPECT_EQ(ExitCode(old.Pid()), 0) << "old Quellfix was ended instead of closed";
    EXPECT_TRUE(IsBuiltProgram(program)) << "program not replaced";
    EXPECT_TRUE(FileExists(dir + "\\quellfix.ini")) << "setup removed the catalog";

    // What Quellfix keeps beside itself goes with it; a file of the user's stays.
    ASSERT_TRUE(WriteBytes(dir + "\\update.exe", "MZ"));
    ASSERT_TRUE(::CreateDirectoryA((dir + "\\UPDATES").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(dir + "\\UPDATES\\WindowsXP-KB990001-x86-KOR.exe", "MZ"));
    ASSERT_TRUE(WriteBytes(dir + "\\notes.txt", "mine"));
    ASSERT_EQ(RunUninstaller(dir), 0);
    for (const char* name : {"Quellfix.exe", "quellfix.ini", "update.exe", "UPDATES"})
        EXPECT_FALSE(FileExists(dir + "\\" + name)) << name << " left behind";
    EXPECT_TRUE(FileExists(dir + "\\notes.txt")) << "the user's file was removed";
    EXPECT_FALSE(FileExists(StartMenuDir()));
    HKEY key = nullptr;
    EXPECT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE, &key),
              ERROR_FILE_NOT_FOUND) << "the Uninstall entry stayed";
}

}  // namespace

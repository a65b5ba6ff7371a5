// QuellfixSetup.exe run silently and its uninstaller; and the self-update as
// a user lives it, from the new-version question through the setup's wizard.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <string>

#include "app/Config.h"
#include "support/InventorySupport.h"
#include "support/TestSupport.h"
#include "support/WindowDriving.h"

using namespace testing_support;

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellfix";
const char kWizardCaption[] = "Quellfix 설치";
const int kNextButton = 1;

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }
std::string BuiltProgram() { return BinaryDir() + "\\Quellfix.exe"; }
std::string SetupPath() { return BinaryDir() + "\\QuellfixSetup.exe"; }
std::string ServerFolder() { return HttpRoot() + "\\update"; }
std::string KnownFolder(int csidl) {
    char path[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}
std::string InstallDir() { return KnownFolder(CSIDL_PROGRAM_FILES) + "\\Quellfix"; }
std::string StartMenuDir() { return KnownFolder(CSIDL_COMMON_PROGRAMS) + "\\Quellfix"; }

// The exit code of `commandLine`, or -1 when it did not run to its end.
long RunToEnd(const std::string& commandLine) {
    TestProcess process(commandLine, "");
    return process.WaitExit(60000) ? process.ExitCode() : -1;
}
long RunSetup(const std::string& arguments = "/S") { return RunToEnd(Quoted(SetupPath()) + " " + arguments); }
// With _?= the NSIS uninstaller runs in place instead of from a copy in
// %TEMP%, so it can be waited for.
long RunUninstaller(const std::string& dir) {
    return RunToEnd(Quoted(dir + "\\uninstall.exe") + " /S _?=" + dir);
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
                                     IID_IShellLinkA, reinterpret_cast<void**>(&shellLink))) &&
        SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(wide, STGM_READ))) shellLink->GetPath(path, MAX_PATH, nullptr, 0);
        file->Release();
    }
    if (shellLink) shellLink->Release();
    return path;
}

bool IsBuiltProgram(const std::string& path) { return ReadBytes(path) == ReadBytes(BuiltProgram()); }

// A process that `parent` started from a file named `name`; 0 while none.
DWORD ChildProcess(DWORD parent, const char* name) {
    DWORD found = 0;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot, &entry); more && !found;
         more = ::Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == parent && ::lstrcmpiA(entry.szExeFile, name) == 0)
            found = entry.th32ProcessID;
    ::CloseHandle(snapshot);
    return found;
}

// A process found by the test, ended when the test ends.
struct Adopted {
    HANDLE h;
    explicit Adopted(DWORD pid)
        : h(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, pid)) {}
    ~Adopted() { if (h) ::TerminateProcess(h, 99), ::CloseHandle(h); }
    bool EndsWithZero(DWORD timeoutMs) const {
        DWORD code = 1;
        return h && ::WaitForSingleObject(h, timeoutMs) == WAIT_OBJECT_0 &&
               ::GetExitCodeProcess(h, &code) && code == 0;
    }
};

// An older version: this build's program with bytes appended, which Windows
// ignores when it runs it.
bool MakeOlder(const std::string& program) {
    return WriteBytes(program, ReadBytes(BuiltProgram()) + std::string(512, 'Z'));
}

// Waits until the wizard's next button reads `label` and can be pressed,
// and presses it.
bool Advance(HWND wizard, const std::string& label, DWORD timeoutMs = 30000) {
    HWND next = ::GetDlgItem(wizard, kNextButton);
    char text[64] = {};
    auto ready = [&] {
        ::SendMessageA(next, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        return label == text && ::IsWindowEnabled(next);
    };
    return WaitFor(ready, timeoutMs) && ::PostMessageA(wizard, WM_COMMAND, MAKEWPARAM(kNextButton, BN_CLICKED),
                                                       reinterpret_cast<LPARAM>(next));
}

// Each test starts and ends with no Quellfix installed and nothing published.
class Setup : public ::testing::Test {
protected:
    void SetUp() override {
        // Under Wine, saving a shortcut starts winemenubuilder, which copies
        // Start-menu entries into the host's desktop menus: off for the test.
        ASSERT_TRUE(PlantValue(HKEY_CURRENT_USER, kOverrides, "winemenubuilder.exe", SzValue("")));
        ::CoInitialize(nullptr);
        RemoveInstallations();
    }
    void TearDown() override {
        Withdraw();
        RemoveInstallations();
        ::CoUninitialize();
    }
    static void Withdraw() {
        ::DeleteFileA((ServerFolder() + "\\version.inf").c_str());
        ::DeleteFileA((ServerFolder() + "\\setup.exe").c_str());
        ::RemoveDirectoryA(ServerFolder().c_str());  // stays while other suites' files are in it
    }
    void RemoveInstallations() {
        for (const std::string& dir : {InstallDir(), chosenDir}) {
            if (FileExists(dir + "\\uninstall.exe")) RunUninstaller(dir);
            RemoveTree(dir);
        }
        RemoveTree(StartMenuDir());
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    }

    static constexpr const char* kOverrides = "Software\\Wine\\DllOverrides";
    RegistryBackup overrides{HKEY_CURRENT_USER, kOverrides};
    // A folder the user chose, with a name in Korean and blanks.
    ScopedTempDir elsewhere{"qf 업데이트 "};
    std::string chosenDir = elsewhere.File("Quellfix 도구");
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

    // An older version running from the folder, with a catalog so that it opens
    // with no question waiting: setup closes it and replaces it, keeping the catalog.
    ASSERT_TRUE(MakeOlder(program));
    ASSERT_TRUE(WriteBytes(dir + "\\quellfix.ini",
                           CatalogText("\r\n[1]\r\nTITLE=테스트 업데이트\r\nIEVER=0\r\n", 1)));
    TestProcess old("\"" + program + "\" debug", dir);
    ASSERT_TRUE(WaitFor([&] { return FindProcessDialog(old.Pid(), MainWindowCaption()) != nullptr; }, 30000))
        << "installed Quellfix did not open its main window";
    ASSERT_EQ(RunSetup(), 0);
    ASSERT_TRUE(old.WaitExit(0)) << "setup returned while the old Quellfix still runs";
    EXPECT_EQ(old.ExitCode(), 0) << "old Quellfix was ended instead of closed";
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
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) << "the Uninstall entry stayed";
}

// Yes fetches the setup as update.exe and starts it; its wizard replaces the
// program where the user had installed it and starts the new one.
TEST_F(Setup, TheSelfUpdateDeliversTheNewVersionThroughTheWizard) {
    const std::string& dir = chosenDir;
    // The older version, installed where the user chose (/D= is last, never quoted).
    RunSetup("/S /D=" + dir);
    const std::string program = dir + "\\Quellfix.exe";
    ASSERT_TRUE(FileExists(program)) << "installing the older version failed";
    ASSERT_TRUE(MakeOlder(program));
    // The server announces 2.001, newer than this build's 2.000, and serves its setup.
    ::CreateDirectoryA(ServerFolder().c_str(), nullptr);
    ASSERT_TRUE(WriteBytes(ServerFolder() + "\\version.inf", "2.001\r\n"));
    ASSERT_TRUE(::CopyFileA(SetupPath().c_str(), (ServerFolder() + "\\setup.exe").c_str(), FALSE));
    // The shell's http handler is the recorder fixture, which writes down what
    // it opens: Wine would hand the home page to the desktop's browser.
    ScopedTempDir recorder("qf home page ");
    const std::string opened = recorder.File("opened.txt");
    const std::string opener = recorder.File("open_recorder.exe");
    ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\tests\\open_recorder.exe").c_str(), opener.c_str(), FALSE));
    const char handler[] = "http\\shell\\open\\command";
    RegistryBackup savedHandler(HKEY_CLASSES_ROOT, handler);
    ASSERT_TRUE(PlantValue(HKEY_CLASSES_ROOT, handler, "", SzValue(Quoted(opener) + " \"%1\"")));

    TestProcess app(Quoted(program), dir);
    BoxSequence ask("Quellfix", {IDYES}, 30000, app.Pid());
    EXPECT_EQ(ask.Wait(), std::vector<std::string>{"이 프로그램이 업데이트 되었습니다. 다운로드 받으시겠습니까?"});
    DWORD setupPid = 0;
    ASSERT_TRUE(WaitFor([&] { return (setupPid = ChildProcess(app.Pid(), "update.exe")) != 0; }, 60000))
        << "Quellfix started no update.exe";
    Adopted setup(setupPid);
    EXPECT_TRUE(app.WaitExit(30000)) << "Quellfix still runs after starting the setup";
    EXPECT_EQ(ReadBytes(dir + "\\update.exe"), ReadBytes(SetupPath()));
    EXPECT_TRUE(WaitFor([&] { return FileExists(opened); }, 20000));
    EXPECT_EQ(ReadBytes(opened), "started\r\n" + std::string(kHomePage) + "\r\n");
    // The new program is this build, 2.000: it must not be offered 2.001 again.
    Withdraw();

    // Welcome, the folder page (the old one offered), install, finish.
    HWND wizard = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (wizard = FindProcessDialog(setupPid, kWizardCaption)) != nullptr; },
                        30000)) << "the setup showed no wizard";
    ASSERT_TRUE(Advance(wizard, "다음 >")) << "no welcome page";
    ASSERT_TRUE(Advance(wizard, "설치")) << "no folder page";
    ASSERT_TRUE(Advance(wizard, "마침", 60000)) << "the installation did not finish";
    ASSERT_TRUE(setup.EndsWithZero(30000)) << "the setup failed or still runs after its last page";

    // The new program in the old one's place, registered there, and started.
    EXPECT_TRUE(IsBuiltProgram(program)) << "the old program was not replaced";
    EXPECT_EQ(RegistryText("InstallLocation"), dir);
    EXPECT_EQ(RegistryText("UninstallString"), Quoted(dir + "\\uninstall.exe"));
    EXPECT_TRUE(FileExists(dir + "\\uninstall.exe"));

    // With no catalog on the server, it says so.
    DWORD newPid = 0;
    ASSERT_TRUE(WaitFor([&] { return (newPid = ChildProcess(setupPid, "Quellfix.exe")) != 0; }, 30000))
        << "the finish page started no Quellfix";
    Adopted started(newPid);
    BoxSequence failed(MainWindowCaption(), {IDOK}, 30000, newPid);
    EXPECT_EQ(failed.Wait(), std::vector<std::string>{"업데이트 목록 파일을 다운로드 받는데 실패하였습니다"});
}

}  // namespace

// The self-update end to end, as a user lives it. Quellfix, installed by its
// setup program, is started against an update server that announces a newer
// version and serves the real setup program. The user answers Yes; Quellfix
// opens the home page, fetches the setup beside itself as update.exe, starts
// it and ends. The setup shows its wizard, and the user clicks through it:
// it offers the old installation's folder, replaces the program there, and
// its last page starts the new program.
//
// The setup started by the self-update shows the same wizard as any other
// run of it: the question the program asks is about downloading, so the
// wizard is where the user agrees to install, sees it done and starts the
// new version.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "app/Config.h"
#include "support/TestSupport.h"
#include "support/WindowDriving.h"
#include "support/WindowPicture.h"

using namespace testing_support;

namespace {

const char kAsk[] = "이 프로그램이 업데이트 되었습니다. 다운로드 받으시겠습니까?";
const char kCatalogFailed[] = "업데이트 목록 파일을 다운로드 받는데 실패하였습니다";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellfix";
// What the server announces: newer than the program's own "2.000".
const char kAnnouncedVersion[] = "2.001\r\n";

// The setup's wizard: its caption, the labels its next button takes on the
// welcome, folder and finish pages, and the ids NSIS gives its controls.
const char kWizardCaption[] = "Quellfix 설치";
const char kNextLabel[] = "다음 >";
const char kInstallLabel[] = "설치";
const char kFinishLabel[] = "마침";
const int kNextButton = 1;
const int kFolderField = 1019;  // on the folder page
const int kRunBox = 1203;       // on the finish page: start the program

std::string MainCaption() { return std::string("Quellfix 2.0 - ") + kHomePage; }
std::string Quoted(const std::string& path) { return "\"" + path + "\""; }
std::string SetupPath() { return BinaryDir() + "\\QuellfixSetup.exe"; }
std::string BuiltProgram() { return BinaryDir() + "\\Quellfix.exe"; }

std::string KnownFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return "";
    return path;
}

std::string DefaultInstallDir() { return KnownFolder(CSIDL_PROGRAM_FILES) + "\\Quellfix"; }
std::string StartMenuDir() { return KnownFolder(CSIDL_COMMON_PROGRAMS) + "\\Quellfix"; }

// Runs `commandLine` to its end: its exit code, -1 when it could not be
// started, -2 when it did not end within `timeoutMs`.
long RunToEnd(const std::string& commandLine, DWORD timeoutMs = 60000) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
        return -1;
    }
    long result = -2;
    if (::WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        result = static_cast<long>(code);
    } else {
        ::TerminateProcess(pi.hProcess, 99);
        ::WaitForSingleObject(pi.hProcess, 10000);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return result;
}

std::string UninstallEntry(const char* name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return "<no key>";
    }
    char value[2048] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    LONG result =
        ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) return "<no value>";
    return value;
}

// A window's text, asked of the window itself, so controls of other
// processes answer too.
std::string WindowText(HWND hwnd) {
    char text[2048] = {};
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                          SMTO_ABORTIFHUNG, 5000, &ignored);
    return text;
}

// A process `parent` started whose program file is named `name`: its id,
// or 0 while there is none.
DWORD ChildProcess(DWORD parent, const char* name) {
    DWORD found = 0;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot, &entry); more && !found;
         more = ::Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == parent && ::lstrcmpiA(entry.szExeFile, name) == 0) {
            found = entry.th32ProcessID;
        }
    }
    ::CloseHandle(snapshot);
    return found;
}

// The program file process `pid` runs, as its first module names it.
std::string ProgramOf(DWORD pid) {
    std::string path;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE) return path;
    MODULEENTRY32 module = {};
    module.dwSize = sizeof module;
    if (::Module32First(snapshot, &module)) path = module.szExePath;
    ::CloseHandle(snapshot);
    return path;
}

// A process started by another one and found by the test; ended, if it
// still runs, when the object goes away.
class FoundProcess {
public:
    FoundProcess() = default;
    FoundProcess(const FoundProcess&) = delete;
    FoundProcess& operator=(const FoundProcess&) = delete;
    ~FoundProcess() {
        if (!m_handle) return;
        if (::WaitForSingleObject(m_handle, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(m_handle, 99);
            ::WaitForSingleObject(m_handle, 10000);
        }
        ::CloseHandle(m_handle);
    }
    bool Adopt(DWORD pid) {
        m_handle = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION,
                                 FALSE, pid);
        return m_handle != nullptr;
    }
    bool WaitEnded(DWORD timeoutMs) {
        return m_handle && ::WaitForSingleObject(m_handle, timeoutMs) == WAIT_OBJECT_0;
    }
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(m_handle, &code);
        return code;
    }

private:
    HANDLE m_handle = nullptr;
};

// The shell's handler of http addresses, replaced for the test's time by
// the recorder fixture: the home page the self-update opens reaches no
// browser of the machine running the tests (Wine hands web addresses to the
// desktop's browser), and the test sees what was opened.
class HomePageRecorder {
public:
    HomePageRecorder() {
        m_program = m_dir.File("open_recorder.exe");
        if (!::CopyFileA((BinaryDir() + "\\tests\\open_recorder.exe").c_str(), m_program.c_str(),
                         FALSE)) {
            return;
        }
        LONG size = sizeof m_saved;
        m_hadValue = ::RegQueryValueA(HKEY_CLASSES_ROOT, kKey, m_saved, &size) == ERROR_SUCCESS;
        const std::string command = Quoted(m_program) + " \"%1\"";
        m_set = ::RegSetValueA(HKEY_CLASSES_ROOT, kKey, REG_SZ, command.c_str(),
                               static_cast<DWORD>(command.size())) == ERROR_SUCCESS;
    }
    ~HomePageRecorder() {
        if (m_hadValue) {
            ::RegSetValueA(HKEY_CLASSES_ROOT, kKey, REG_SZ, m_saved,
                           static_cast<DWORD>(lstrlenA(m_saved)));
        } else if (m_set) {
            ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kKey);
        }
        // A recorder still running holds its program file.
        WaitFor([&] { return !FileExists(m_program) || ::DeleteFileA(m_program.c_str()); });
    }
    HomePageRecorder(const HomePageRecorder&) = delete;
    HomePageRecorder& operator=(const HomePageRecorder&) = delete;

    bool Ok() const { return m_set; }
    // "started" and the address it was given, a line each; empty while the
    // recorder has not run.
    std::string Record() const { return ReadBytes(m_dir.File("opened.txt")); }

private:
    static constexpr const char* kKey = "http\\shell\\open\\command";
    ScopedTempDir m_dir{"qf home page "};
    std::string m_program;
    char m_saved[1024] = {};
    bool m_hadValue = false;
    bool m_set = false;
};

// Every test starts and ends with no Quellfix installed and nothing
// published on the update server.
class Installation : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Under Wine, the setup's Start-menu shortcuts would also start
        // winemenubuilder, which copies them into the desktop menus of the
        // machine running the tests. Switched off for these tests; Windows
        // ignores the key.
        HKEY key = nullptr;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, kWineOverrides, 0, nullptr, 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key,
                              nullptr) == ERROR_SUCCESS) {
            DWORD size = sizeof s_savedOverride - 1;
            s_hadOverride = ::RegQueryValueExA(key, kMenuBuilder, nullptr, nullptr,
                                               reinterpret_cast<BYTE*>(s_savedOverride),
                                               &size) == ERROR_SUCCESS;
            ::RegSetValueExA(key, kMenuBuilder, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
            ::RegCloseKey(key);
        }
    }

    static void TearDownTestSuite() {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, kWineOverrides, 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            if (s_hadOverride) {
                ::RegSetValueExA(key, kMenuBuilder, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(s_savedOverride),
                                 static_cast<DWORD>(lstrlenA(s_savedOverride) + 1));
            } else {
                ::RegDeleteValueA(key, kMenuBuilder);
            }
            ::RegCloseKey(key);
        }
    }

    void SetUp() override {
        ASSERT_TRUE(FileExists(SetupPath())) << "setup program not built: " << SetupPath();
        RemoveInstallation(DefaultInstallDir());
    }

    void TearDown() override {
        Withdraw();
        if (dir != DefaultInstallDir()) RemoveInstallation(dir);
        RemoveInstallation(DefaultInstallDir());
    }

    // What the update server offers: the announced version and the setup
    // program of this build.
    void Publish() {
        ::CreateDirectoryA(ServerFolder().c_str(), nullptr);
        ASSERT_TRUE(WriteBytes(ServerFolder() + "\\version.inf", kAnnouncedVersion));
        ASSERT_TRUE(::CopyFileA(SetupPath().c_str(), (ServerFolder() + "\\setup.exe").c_str(),
                                FALSE));
    }

    void Withdraw() {
        ::DeleteFileA((ServerFolder() + "\\version.inf").c_str());
        ::DeleteFileA((ServerFolder() + "\\setup.exe").c_str());
        ::RemoveDirectoryA(ServerFolder().c_str());  // kept while other suites' files are in it
    }

    static std::string ServerFolder() { return HttpRoot() + "\\update"; }

    // The older Quellfix, installed by the setup program into `folder`
    // (empty: the setup's own choice): this build's program with bytes
    // appended, which Windows ignores when it runs it and which tell it apart
    // from the program the setup brings.
    void InstallOlderVersion(const std::string& folder = "") {
        // /D= is the last argument and is never quoted.
        ASSERT_EQ(RunToEnd(Quoted(SetupPath()) + " /S" + (folder.empty() ? "" : " /D=" + folder)),
                  0)
            << "installing the older version failed";
        dir = folder.empty() ? DefaultInstallDir() : folder;
        program = dir + "\\Quellfix.exe";
        newProgram = ReadBytes(BuiltProgram());
        ASSERT_FALSE(newProgram.empty());
        ASSERT_TRUE(WriteBytes(program, newProgram + std::string(512, '\x5A')));
    }

    // A folder of the user's choosing for the installation.
    ScopedTempDir elsewhere{"qf 업데이트 "};
    std::string dir = DefaultInstallDir();  // where the older version is installed
    std::string program;
    std::string newProgram;  // what the setup installs

    static void RemoveInstallation(const std::string& folder) {
        // The uninstaller, told its folder with _?=, runs in place and can
        // be waited for.
        if (FileExists(folder + "\\uninstall.exe")) {
            RunToEnd(Quoted(folder + "\\uninstall.exe") + " /S _?=" + folder);
        }
        RemoveTree(folder);
        RemoveTree(StartMenuDir());
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    }

    static constexpr const char* kWineOverrides = "Software\\Wine\\DllOverrides";
    static constexpr const char* kMenuBuilder = "winemenubuilder.exe";
    static bool s_hadOverride;
    static char s_savedOverride[256];
};

bool Installation::s_hadOverride = false;
char Installation::s_savedOverride[256] = {};

std::string WithoutClosingBackslash(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

// The setup wizard's page now shown: the dialog inside its frame.
HWND CurrentPage(HWND wizard) {
    for (HWND child = ::GetWindow(wizard, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        char cls[64] = {};
        ::GetClassNameA(child, cls, sizeof cls);
        if (std::string(cls) == "#32770" && ::IsWindowVisible(child)) return child;
    }
    return nullptr;
}

// Waits until the wizard's next button reads `label` and can be pressed:
// the page it names is shown.
bool NextButtonReads(HWND wizard, const std::string& label, DWORD timeoutMs = 30000) {
    HWND next = ::GetDlgItem(wizard, kNextButton);
    return WaitFor([&] {
        return WindowText(next) == label && ::IsWindowEnabled(next) && ::IsWindowVisible(next) &&
               CurrentPage(wizard) != nullptr;
    }, timeoutMs);
}

void PressNext(HWND wizard) {
    ::PostMessageA(wizard, WM_COMMAND, MAKEWPARAM(kNextButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(wizard, kNextButton)));
}

// Waits for a message box of process `pid` titled `title`, keeps its
// picture and presses `button`; the box's text, or "<no box>".
std::string AnswerBox(DWORD pid, const std::string& title, int button, const char* picture) {
    FoundBox box;
    if (!WaitFor([&] { return (box = FindMessageBox(title, pid)).hwnd != nullptr; }, 30000)) {
        return "<no box>";
    }
    SaveWindowPicture(box.hwnd, picture);
    ::PostMessageA(box.hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box.hwnd, button)));
    return box.text;
}

class SelfUpdateEndToEnd : public Installation {};

TEST_F(SelfUpdateEndToEnd, YesDeliversTheNewVersionThroughTheSetupWizard) {
    // Installed where the user chose, so the wizard's folder must be found.
    InstallOlderVersion(elsewhere.File("Quellfix 도구"));
    if (HasFatalFailure()) return;
    Publish();
    HomePageRecorder homePage;
    ASSERT_TRUE(homePage.Ok()) << "could not take over the http handler";

    // The user starts the installed program and is asked; Yes.
    TestProcess app(Quoted(program), dir);
    ASSERT_TRUE(app.Started());
    EXPECT_EQ(AnswerBox(app.Pid(), "Quellfix", IDYES, "self_update_1_question"), kAsk);

    // It opens the home page, fetches the setup beside itself, starts it
    // and ends.
    DWORD setupPid = 0;
    ASSERT_TRUE(WaitFor([&] { return (setupPid = ChildProcess(app.Pid(), "update.exe")) != 0; },
                        60000))
        << "Quellfix started no update.exe";
    FoundProcess setup;
    ASSERT_TRUE(setup.Adopt(setupPid));
    EXPECT_TRUE(app.WaitExit(30000)) << "Quellfix still runs after starting the setup";
    EXPECT_EQ(ReadBytes(dir + "\\update.exe"), ReadBytes(SetupPath()))
        << "update.exe is not the served setup program";
    EXPECT_TRUE(WaitFor([&] { return !homePage.Record().empty(); }, 20000));
    EXPECT_EQ(homePage.Record(), "started\r\n" + std::string(kHomePage) + "\r\n");

    // The server's part is done. The program this setup brings is this
    // build, whose own version is 2.000: were 2.001 still announced, it would
    // be offered the update again when the wizard starts it.
    Withdraw();

    // The setup's wizard: welcome, then the folder of the installation it
    // replaces, then install.
    HWND wizard = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        return (wizard = FindProcessDialog(setupPid, kWizardCaption)) != nullptr;
    }, 30000)) << "the setup showed no wizard";
    ASSERT_TRUE(NextButtonReads(wizard, kNextLabel)) << "no welcome page";
    SaveWindowPicture(wizard, "self_update_2_setup_welcome");
    PressNext(wizard);

    // The field shows the folder with a closing backslash; the setup drops
    // it when it leaves the page (the Uninstall entry below has none).
    ASSERT_TRUE(NextButtonReads(wizard, kInstallLabel)) << "no folder page";
    EXPECT_EQ(WithoutClosingBackslash(WindowText(::GetDlgItem(CurrentPage(wizard), kFolderField))),
              dir)
        << "the setup offers another folder than the old version's";
    SaveWindowPicture(wizard, "self_update_3_setup_folder");
    PressNext(wizard);

    // Files copied, the wizard ends on its finish page, with the box that
    // starts the program checked.
    ASSERT_TRUE(NextButtonReads(wizard, kFinishLabel, 60000)) << "the installation did not finish";
    HWND runBox = ::GetDlgItem(CurrentPage(wizard), kRunBox);
    EXPECT_EQ(::SendMessageA(runBox, BM_GETCHECK, 0, 0), BST_CHECKED);
    SaveWindowPicture(wizard, "self_update_4_setup_finish");
    PressNext(wizard);
    ASSERT_TRUE(setup.WaitEnded(30000)) << "the setup still runs after its last page";
    EXPECT_EQ(setup.ExitCode(), 0u);

    // The new program is in the old one's place and registered there.
    EXPECT_TRUE(ReadBytes(program) == newProgram) << "the old program was not replaced";
    EXPECT_TRUE(FileExists(dir + "\\uninstall.exe"));
    EXPECT_EQ(UninstallEntry("DisplayName"), "Quellfix");
    EXPECT_EQ(UninstallEntry("InstallLocation"), dir);
    EXPECT_EQ(UninstallEntry("UninstallString"), Quoted(dir + "\\uninstall.exe"));

    // The finish page started the new program from there. The server has
    // no catalog for it, which it reports before showing its window.
    DWORD newPid = 0;
    ASSERT_TRUE(WaitFor([&] { return (newPid = ChildProcess(setupPid, "Quellfix.exe")) != 0; },
                        30000))
        << "the finish page started no Quellfix";
    FoundProcess started;
    ASSERT_TRUE(started.Adopt(newPid));
    EXPECT_EQ(AnswerBox(newPid, MainCaption(), IDOK, "self_update_5_new_version_catalog"),
              kCatalogFailed);
    EXPECT_EQ(::lstrcmpiA(ProgramOf(newPid).c_str(), program.c_str()), 0)
        << "the finish page started " << ProgramOf(newPid);
    HWND main = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        return (main = FindProcessDialog(newPid, MainCaption())) != nullptr;
    }, 30000)) << "the new version showed no main window";
    SaveWindowPicture(main, "self_update_6_new_version");
    ::PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(started.WaitEnded(30000)) << "the new version did not close";
    EXPECT_EQ(started.ExitCode(), 0u);
}

}  // namespace

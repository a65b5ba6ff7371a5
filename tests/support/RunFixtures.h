// Helpers of the download, installer, run and self-update suites: fixture
// files, the fake installers' record and Uninstall keys, windows on threads of
// their own, and the run window and update server set-ups the suites share.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/UpdateFiles.h"
#include "app/SelfUpdate.h"
#include "resource.h"
#include "views/RunDlg.h"
#include "support/TestSupport.h"
#include "support/WindowDriving.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"
#include "ui/MessageBox.h"
#include "ui/Messages.h"

namespace testing_support {

// A fixture built with the tests (fake installers, the test MSI package).
std::string FixtureFile(const std::string& name);

// The product code of the test MSI package, the name of its Uninstall key.
extern const char* const kTestMsiProductCode;

// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<name>.
bool UninstallKeyExists(const std::string& name);
void DeleteUninstallKey(const std::string& name);

// The requests the test server logged so far for a path with `part` in it.
int Requests(const std::string& part);

// The SHA-256 of `bytes` as a catalog pins it: 64 lower-case hex digits.
std::string Sha256Hex(const std::string& bytes);

// A record file of its own (QUELLFIX_FAKE_RECORD) for the fake installers
// started meanwhile.
class FakeRecord {
public:
    FakeRecord() { ::SetEnvironmentVariableA("QUELLFIX_FAKE_RECORD", m_path.c_str()); }
    ~FakeRecord() { ::SetEnvironmentVariableA("QUELLFIX_FAKE_RECORD", nullptr); }
    // The command lines recorded so far, one per start.
    std::vector<std::string> Lines() const;

private:
    ScopedTempDir m_dir{"qfrec"};
    std::string m_path = m_dir.File("record.txt");
};

// A loopback address where nothing listens: the connection is refused at once.
constexpr char kNoServerUrl[] = "http://127.0.0.1:1/";

// A hidden top-level window with `title` on a thread of its own, which pumps
// its messages until the object is destroyed. `handler` sees every message
// first; it returns true when it handled one, with its result.
class WindowThread {
public:
    typedef std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT&)> Handler;
    WindowThread(std::string title, Handler handler);
    ~WindowThread();
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;
    HWND Hwnd() const { return m_hwnd; }

private:
    static DWORD WINAPI Run(void* self);
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    std::string m_title;
    Handler m_handler;
    HANDLE m_ready = nullptr;
    HANDLE m_thread = nullptr;
    HWND m_hwnd = nullptr;
};

// A window that records the download notifications it is sent, in order.
class NotifyRecorder {
public:
    struct Event {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
    };
    NotifyRecorder();
    HWND Hwnd() const { return m_window.Hwnd(); }
    std::vector<Event> Events() const {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_events;
    }
    std::vector<LPARAM> Progress() const { return Values(WM_DOWNLOAD_PROGRESS); }
    std::vector<LPARAM> Done() const { return Values(WM_DOWNLOAD_DONE); }

private:
    std::vector<LPARAM> Values(UINT msg) const;
    mutable std::mutex m_lock;
    std::vector<Event> m_events;
    WindowThread m_window;  // last: its thread stops before the records go
};

// The run window over a fresh program folder, filled item by item and shown
// by Start(): its first paint starts the run.
class RunWindowTest : public ::testing::Test {
protected:
    RunWindowTest() { ::CreateDirectoryA(updates.c_str(), nullptr); }
    // `url` is below the test server; the file goes to UPDATES as `name`
    // (default: the URL's file name), or nowhere when that name is refused.
    void Add(const std::string& title, const std::string& url, const std::string& sha256 = "",
             const std::string& name = "") {
        const std::string file = name.empty() ? url.substr(0, url.find('?')) : name;
        run.m_items.push_back(RunItemOf(RunEntry{title, file, HttpUrl(url), "", sha256}, updates));
    }
    void Start() {
        ASSERT_NE(hwnd = run.Create(nullptr), nullptr);
        ::ShowWindow(hwnd, SW_SHOW);
        ::UpdateWindow(hwnd);
    }
    bool WaitFinished(DWORD ms = 60000) { return WaitFor([&] { return Text(IDCANCEL) == "닫기"; }, ms); }
    std::string Text(int id) const { return Control(::GetDlgItem(hwnd, id)).GetText(); }
    std::string Log() const { return Text(IDC_RUN_LOG); }
    void Press(int id) { ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    // Presses the cancel button and answers its question (a modal loop on
    // this thread) with `button`; the number of questions answered.
    size_t CancelAnswering(int button) {
        BoxSequence box(AppName(), {button}, 30000, ::GetCurrentProcessId(),
                        "작업이 진행중에 있습니다. 작업을 중단하시겠습니까?");
        Press(IDCANCEL);
        return box.Wait().size();
    }

    ProgramFolder program;
    std::string updates = program.dir.File("UPDATES");
    FakeRecord record;
    CRunDlg run;  // after the folder and the record: it goes first
    HWND hwnd = nullptr;
};

// A folder of its own on the test server standing for the update server,
// a program folder, and a stand-in main window for the version check and
// self-update; the "home page" is a fake installer, so the fake record shows
// its start.
class UpdateServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int n = 0;
        program.keys = {"KB990404", "KB990407"};  // the home page's and the setup's
        prefix = "us" + std::to_string(::GetTickCount()) + "_" + std::to_string(++n);
        for (const char* sub : {"", "\\update", "\\update\\v2"})
            ASSERT_TRUE(::CreateDirectoryA((HttpRoot() + "\\" + prefix + sub).c_str(), nullptr));
        site.serverBase = HttpUrl(prefix + "/");
        site.programDir = program.dir.Path();
        site.homePage = homeDir.File("homepage.exe");
        ASSERT_TRUE(::CopyFileA(FixtureFile("fake_cabinet.exe").c_str(), site.homePage.c_str(), FALSE));
        ASSERT_NE(host.Create(nullptr), nullptr);
    }
    void TearDown() override { RemoveTree(HttpRoot() + "\\" + prefix); }
    // The local path of `name` in the server's "update" folder.
    std::string Served(const std::string& name) const { return HttpRoot() + "\\" + prefix + "\\update\\" + name; }
    // Runs the version check, answering the boxes captioned "Quellfix" with
    // `buttons`; their texts go to `texts`.
    int Check(std::vector<int> buttons) {
        BoxSequence boxes("Quellfix", buttons, buttons.empty() ? 0 : 30000);
        int result = CheckForNewVersion(host.GetHwnd(), site);
        texts = boxes.Wait();
        return result;
    }
    // The first `count` start records, once there are that many.
    std::vector<std::string> Started(size_t count) {
        std::vector<std::string> lines;
        EXPECT_TRUE(WaitFor([&] { return (lines = record.Lines()).size() == count; }, 30000));
        lines.resize(count);
        return lines;
    }

    struct HostWindow : Dialog {
        HostWindow() : Dialog(IDD_DETAILS) {}
    };
    ProgramFolder program;
    ScopedTempDir homeDir{"qf home "};
    std::string prefix;
    std::vector<std::string> texts;
    SelfUpdateSite site;
    FakeRecord record;
    HostWindow host;
};

}  // namespace testing_support

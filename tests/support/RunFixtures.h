// Helpers of the download, installer and diagnostic-output suites: fixture
// files, the fake installers' record file and Uninstall keys, a loopback port
// with nothing behind it, and windows on threads of their own that record
// the messages they are sent.
#pragma once
#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "ui/Messages.h"

namespace testing_support {

// A fixture built with the tests (fake installers, the test MSI package).
std::string FixtureFile(const std::string& name);

// The product code of the test MSI package, the name of its Uninstall key.
extern const char* const kTestMsiProductCode;

// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<name>.
bool UninstallKeyExists(const std::string& name);
void DeleteUninstallKey(const std::string& name);

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

// A loopback port on which nothing listens: bound once by Winsock to learn
// a free number, then closed again.
int UnusedLoopbackPort();

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

}  // namespace testing_support

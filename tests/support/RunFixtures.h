// Helpers of the download, installer and diagnostic-output suites: the
// fixture files built with the tests, the fake installers' record file and
// Uninstall keys, environment variables for one test, a loopback port with
// nothing behind it, and windows on threads of their own that record the
// messages they are sent (as the program's windows would receive them).
#pragma once
#include <windows.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace testing_support {

// A fixture built with the tests (fake installers, the test MSI package).
std::string FixtureFile(const std::string& name);

// The product code of the test MSI package, the name of its Uninstall key.
extern const char* const kTestMsiProductCode;

// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<name>.
bool UninstallKeyExists(const std::string& name);
void DeleteUninstallKey(const std::string& name);

// Sets an environment variable of this process (and so of the programs it
// starts) for the lifetime of the object, then restores it.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value);
    // Removes the variable for the lifetime of the object.
    ScopedEnv(std::string name, std::nullptr_t);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};

// A record file of its own for the fake installers started meanwhile.
class FakeRecord {
public:
    FakeRecord();
    // The command lines recorded so far, one per start.
    std::vector<std::string> Lines() const;

private:
    ScopedTempDir m_dir;
    std::string m_path;
    ScopedEnv m_env;
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
    // Closes the window and waits for its thread; done by the destructor too.
    void Close();

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
    std::vector<Event> Events() const;
    std::vector<LPARAM> Progress() const;  // lParams of WM_DOWNLOAD_PROGRESS
    std::vector<LPARAM> Done() const;      // lParams of WM_DOWNLOAD_DONE

private:
    mutable std::mutex m_lock;
    std::vector<Event> m_events;
    WindowThread m_window;  // last: its thread stops before the records go
};

}  // namespace testing_support

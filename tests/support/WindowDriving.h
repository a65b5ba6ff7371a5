// Driving windows as a user would, for window and end-to-end tests: message
// boxes answered in the order they appear, the program's folder and catalog
// set up, and another process's list view read through memory allocated in
// that process.
#pragma once
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace testing_support {

// Answers, on a thread of its own, the message boxes titled `title` (and
// showing `text`, when given) that appear one after the other, pressing
// `buttons[i]` in the i-th box, and records each box's text. A box is taken
// only once.
class BoxSequence {
public:
    BoxSequence(std::string title, std::vector<int> buttons, DWORD timeoutMs = 30000,
                DWORD pid = 0, std::string text = "");
    ~BoxSequence() { Wait(); }
    BoxSequence(const BoxSequence&) = delete;
    BoxSequence& operator=(const BoxSequence&) = delete;
    // Waits until every box was answered or the time ran out; the texts seen.
    const std::vector<std::string>& Wait();

private:
    std::vector<std::string> m_texts;
    std::thread m_thread;
};

// The main window's caption, which titles every box of the program.
std::string MainWindowCaption();
// The catalog language this system needs (Wine reports an unusual one).
int SystemLanguage();
// A catalog of `count` entries for `language` (default: this system's).
std::string CatalogText(const std::string& entries, int count, int language = -1);
// Entry `n` of a catalog: its title, its file on the test server and the
// name of the record that shows it installed.
std::string CatalogEntry(int n, const std::string& title, const std::string& file,
                         const std::string& installedName);

// The program's folder moved to a fresh temporary one, debug mode off, for
// the object's life; files it served and the Uninstall keys in `keys` go
// with it.
struct ProgramFolder {
    ProgramFolder();
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;
    // Puts fixture `fixture` on the test server as `name`, padded to a whole
    // number of 100 KB when `pad`; returns its size.
    long Serve(const std::string& fixture, const std::string& name, bool pad = false);
    void ServeBytes(const std::string& name, const std::string& bytes);
    ScopedTempDir dir{"qf prog "};
    std::string saved;
    std::vector<std::string> served, keys;
};

// A visible top-level window of process `pid` of class `cls` whose caption
// starts with `captionPrefix`, or nullptr.
HWND FindProcessDialog(DWORD pid, const std::string& captionPrefix, const char* cls = "#32770");

// A list view in another process.
struct RemoteRow {
    std::string text;
    std::string installed;
    bool checked = false;
    LPARAM data = 0;
    bool operator==(const RemoteRow& o) const {
        return text == o.text && installed == o.installed && checked == o.checked && data == o.data;
    }
};
std::vector<RemoteRow> ReadRemoteList(HWND list);

// A process started for a test, ended (if still running) when it goes away.
class TestProcess {
public:
    // `application`, when given, names the program file, so the command line
    // may start with a bare name as a user's shortcut would.
    TestProcess(const std::string& commandLine, const std::string& directory,
                const std::string& application = "");
    ~TestProcess();
    TestProcess(const TestProcess&) = delete;
    TestProcess& operator=(const TestProcess&) = delete;
    bool Started() const { return m_pi.hProcess != nullptr; }
    DWORD Pid() const { return m_pi.dwProcessId; }
    // True when it ended within `timeoutMs`.
    bool WaitExit(DWORD timeoutMs);
    // Its exit code; STILL_ACTIVE while it runs.
    long ExitCode() const;

private:
    PROCESS_INFORMATION m_pi = {};
};

}  // namespace testing_support

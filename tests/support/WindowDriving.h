// Driving windows as a user would, for window and end-to-end tests: message
// boxes answered in the order they appear, registry records planted and
// removed, and another process's list view read through memory allocated in
// that process.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// Answers, on a thread of its own, the message boxes titled `title` that
// appear one after the other, pressing `buttons[i]` in the i-th box, and
// records each box's text. A box is taken only once.
class BoxSequence {
public:
    BoxSequence(std::string title, std::vector<int> buttons, DWORD timeoutMs = 30000,
                DWORD pid = 0);
    ~BoxSequence();
    BoxSequence(const BoxSequence&) = delete;
    BoxSequence& operator=(const BoxSequence&) = delete;
    // Waits until every box was answered or the time ran out; the texts seen.
    const std::vector<std::string>& Wait();
    // Texts seen so far (safe only after Wait()).
    const std::vector<std::string>& Texts() const { return m_texts; }

private:
    static DWORD WINAPI Run(void* self);
    std::string m_title;
    std::vector<int> m_buttons;
    DWORD m_timeout;
    DWORD m_pid;
    std::vector<std::string> m_texts;
    HANDLE m_thread = nullptr;
};

// A registry key created for a test and deleted, with everything below it,
// when the object goes away.
class PlantedKey {
public:
    PlantedKey(HKEY root, std::string path);
    ~PlantedKey();
    PlantedKey(const PlantedKey&) = delete;
    PlantedKey& operator=(const PlantedKey&) = delete;
    bool Ok() const { return m_ok; }
    bool SetString(const char* name, const std::string& value) const;
    bool SetDword(const char* name, DWORD value) const;

private:
    HKEY m_root;
    std::string m_path;
    bool m_ok = false;
};

// Deletes `path` under `root` with all its sub-keys.
void DeleteKeyTree(HKEY root, const std::string& path);

// A visible top-level dialog window of process `pid` whose caption starts
// with `captionPrefix`, or nullptr.
HWND FindProcessDialog(DWORD pid, const std::string& captionPrefix);

// A list view in another process.
struct RemoteRow {
    std::string text;
    std::string installed;
    bool checked = false;
    LPARAM data = 0;
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

private:
    PROCESS_INFORMATION m_pi = {};
};

}  // namespace testing_support

// Helpers shared by the test suites: temporary folders and files, the test
// HTTP server's address, bounded waits, and finding message boxes.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under %TEMP%, removed with everything in it at the end.
class ScopedTempDir {
public:
    explicit ScopedTempDir(const char* prefix = "qf");
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

void RemoveTree(const std::string& path);
bool WriteBytes(const std::string& path, const std::string& bytes);
// The whole file; `ok` false when it cannot be read.
std::string ReadBytes(const std::string& path, bool* ok = nullptr);
bool FileExists(const std::string& path);
long long FileSize(const std::string& path);  // -1 when missing

// A Unix path as the Wine process sees it (through drive Z:).
std::string WinePath(const std::string& unixPath);
// Where the build put its programs (the fixtures among them).
std::string BinaryDir();
std::string SourceDir();

// Environment variable, empty when unset.
std::string Env(const char* name);

// The test HTTP server started by the test script: its port, its document
// root as a Windows path, and the address of a path below it ("a/b.txt").
int HttpPort();
std::string HttpRoot();
std::string HttpUrl(const std::string& path);
// Lines the server logged for the requests it received so far.
std::vector<std::string> HttpRequests();

// Polls `condition` every few milliseconds, dispatching this thread's
// messages in between, until it holds or `timeoutMs` passes.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 10000);
// Dispatches this thread's waiting messages.
void PumpMessages();

// A message box (dialog class #32770) shown by process `pid` (0: any),
// with `title` (and `text`, when given); its text and handle are read back.
struct FoundBox { HWND hwnd = nullptr; std::string title, text; };
FoundBox FindMessageBox(const std::string& title, DWORD pid = 0, const std::string& text = "");

}  // namespace testing_support

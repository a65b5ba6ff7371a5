// Test helpers (see TestSupport.h).
#include "support/TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testing_support {

ScopedTempDir::ScopedTempDir(const char* prefix) {
    char base[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, base);
    static LONG counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char name[MAX_PATH + 64];
        std::snprintf(name, sizeof name, "%s%s%lu_%ld_%d", base, prefix, ::GetCurrentProcessId(),
                      ::InterlockedIncrement(&counter), attempt);
        if (::CreateDirectoryA(name, nullptr)) {
            m_path = name;
            return;
        }
    }
}

ScopedTempDir::~ScopedTempDir() { if (!m_path.empty()) RemoveTree(m_path); }

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                ::SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA(child.c_str());
            }
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(path.c_str());
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string ReadBytes(const std::string& path, bool* ok) {
    std::ifstream in(path, std::ios::binary);
    if (ok) *ok = static_cast<bool>(in);
    if (!in) return std::string();
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool FileExists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string WinePath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string BinaryDir() { return WinePath(QUELLFIX_TEST_BINARY_DIR); }
std::string SourceDir() { return WinePath(QUELLFIX_SOURCE_DIR); }

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

int HttpPort() { return std::atoi(Env("QUELLFIX_TEST_HTTP_PORT").c_str()); }

std::string HttpRoot() { return WinePath(Env("QUELLFIX_TEST_HTTP_ROOT")); }

std::string HttpUrl(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(HttpPort()) + "/" + path;
}

std::vector<std::string> HttpRequests() {
    std::vector<std::string> lines;
    std::string log = Env("QUELLFIX_TEST_HTTP_LOG");
    if (log.empty()) return lines;
    std::istringstream in(ReadBytes(WinePath(log)));
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('\r'));
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

void PumpMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount() - start > timeoutMs) return condition();
        PumpMessages();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

FoundBox FindMessageBox(const std::string& title, DWORD pid, const std::string& text) {
    for (HWND w = ::FindWindowExA(nullptr, nullptr, "#32770", nullptr); w;
         w = ::FindWindowExA(nullptr, w, "#32770", nullptr)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(w, &owner);
        char caption[1024] = {}, shown[4096] = {};
        ::GetWindowTextA(w, caption, sizeof caption);
        // A message box's text is the static control 0xFFFF.
        HWND textControl = ::GetDlgItem(w, 0xFFFF);
        if (textControl) ::GetWindowTextA(textControl, shown, sizeof shown);
        if (::IsWindowVisible(w) && (!pid || owner == pid) && caption == title && textControl &&
            (text.empty() || shown == text))
            return FoundBox{w, caption, shown};
    }
    return FoundBox{};
}

}  // namespace testing_support

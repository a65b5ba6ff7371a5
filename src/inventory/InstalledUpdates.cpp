// Installed-update detection (see InstalledUpdates.h).
#include "inventory/InstalledUpdates.h"

#include <cstring>

#include "inventory/OsIdentify.h"
#include "registry/RegistryKey.h"

namespace {

const char kUpdatesKey[] = "SOFTWARE\\Microsoft\\Updates";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kHotFixKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\HotFix";
const char kActiveSetupKey[] = "Software\\Microsoft\\Active Setup\\Installed Components";
const char* const kQfeFolders[] = {"\\inf\\qfe\\w98", "\\inf\\qfe\\w98.se", "\\inf\\qfe\\win98.se"};

constexpr size_t kQfeEntryLength = 6;
constexpr DWORD kPathBuffer = 1024;

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return i == a.size() && b[i] == '\0';
}

// A search handle from FindFirstFileA, closed with FindClose.
class FileSearch {
public:
    FileSearch(const std::string& pattern, WIN32_FIND_DATAA& data)
        : m_handle(::FindFirstFileA(pattern.c_str(), &data)) {}
    ~FileSearch() {
        if (m_handle != INVALID_HANDLE_VALUE) ::FindClose(m_handle);
    }
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;
    bool Found() const { return m_handle != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAA& data) { return ::FindNextFileA(m_handle, &data) != FALSE; }

private:
    HANDLE m_handle;
};

}  // namespace

std::string LowerCaseAnsi(const std::string& text) {
    std::string lower = text;
    for (size_t i = 0; i < lower.size(); ++i) {
        if (::IsDBCSLeadByte(static_cast<BYTE>(lower[i])) && i + 1 < lower.size()) {
            ++i;  // the trail byte may look like a capital letter; it is not one
            continue;
        }
        lower[i] = AsciiLower(lower[i]);
    }
    return lower;
}

bool ContainsAnsi(const std::string& text, const std::string& part) {
    if (part.size() > text.size()) return false;
    // Only character boundaries count as places to start: a match that
    // begins on the second byte of a double-byte character is none.
    for (size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (text.compare(i, part.size(), part) == 0) return true;
        if (::IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size()) ++i;
    }
    return false;
}

bool IsNameInstalled(const std::vector<std::string>& list, const std::string& identifier) {
    std::string wanted = LowerCaseAnsi(identifier);
    for (const std::string& entry : list) {
        if (ContainsAnsi(LowerCaseAnsi(entry), wanted)) return true;
    }
    return false;
}

std::string QfeEntryName(const std::string& fileName) {
    std::string name = fileName;
    if (name.size() >= 2 && AsciiLower(name[0]) == 'k' && AsciiLower(name[1]) == 'b') name.erase(0, 2);
    return name.substr(0, kQfeEntryLength);
}

bool IsFilelistKey(const std::string& name) { return EqualsIgnoringAsciiCase(name, "Filelist"); }

void CollectKeyTree(HKEY root, const std::string& keyPath, const std::string& name,
                    std::vector<std::string>& list) {
    if (!name.empty()) list.push_back(name);

    CRegistryKey key;
    if (!key.Open(root, keyPath, FALSE, FALSE)) return;
    std::vector<std::string> children;
    key.EnumSubKeys(children, FALSE);
    for (const std::string& child : children) {
        if (IsFilelistKey(child)) continue;
        CollectKeyTree(root, keyPath + "\\" + child, child, list);
    }
    key.Close();
}

void CollectQfeFiles(const std::string& folder, std::vector<std::string>& list) {
    WIN32_FIND_DATAA data;
    FileSearch search(folder + "\\*.*", data);
    if (!search.Found()) return;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::string fileName(data.cFileName, strnlen(data.cFileName, sizeof data.cFileName));
        if (fileName == "." || fileName == "..") continue;
        list.push_back(QfeEntryName(fileName));
    } while (search.Next(data));
}

void CollectActiveSetupComponents(std::vector<std::string>& list) {
    CRegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kActiveSetupKey, FALSE, FALSE)) return;
    key.EnumSubKeys(list, FALSE);
    key.Close();
}

void CollectInstalledUpdates(std::vector<std::string>& list) {
    if (IsWindows98()) {
        char windows[kPathBuffer] = {};
        UINT length = ::GetWindowsDirectoryA(windows, kPathBuffer - 1);
        // A directory that does not fit is not searched at all rather than
        // searched under a cut-off name.
        if (length > 0 && length < kPathBuffer - 1) {
            for (const char* folder : kQfeFolders) CollectQfeFiles(windows + std::string(folder), list);
        }
        CollectActiveSetupComponents(list);
        return;
    }
    CollectKeyTree(HKEY_LOCAL_MACHINE, kUpdatesKey, "", list);
    CollectKeyTree(HKEY_LOCAL_MACHINE, kUninstallKey, "", list);
    CollectKeyTree(HKEY_LOCAL_MACHINE, kHotFixKey, "", list);
}

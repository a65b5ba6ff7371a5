// Installed-update detection (see InstalledUpdates.h).
#include "inventory/InstalledUpdates.h"

#include <cstring>

#include "inventory/OsFacts.h"
#include "registry/RegistryKey.h"
#include "win/Handle.h"

namespace {

const char kUpdatesKey[] = "SOFTWARE\\Microsoft\\Updates";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kHotFixKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\HotFix";
const char kActiveSetupKey[] = "Software\\Microsoft\\Active Setup\\Installed Components";
const char* const kQfeFolders[] = {"\\inf\\qfe\\w98", "\\inf\\qfe\\w98.se", "\\inf\\qfe\\win98.se"};

constexpr DWORD kPathBuffer = 1024;

}  // namespace

void CollectKeyTree(HKEY root, const std::string& keyPath, const std::string& name,
                    std::vector<std::string>& list) {
    if (!name.empty()) list.push_back(name);

    CRegistryKey key;
    if (!key.Open(root, keyPath, FALSE, FALSE)) return;
    std::vector<std::string> children;
    key.EnumSubKeys(children);
    for (const std::string& child : children) {
        if (IsFilelistKey(child)) continue;
        CollectKeyTree(root, keyPath + "\\" + child, child, list);
    }
    key.Close();
}

void CollectQfeFiles(const std::string& folder, std::vector<std::string>& list) {
    WIN32_FIND_DATAA data;
    const FindHandle search(::FindFirstFileA((folder + "\\*.*").c_str(), &data));
    if (!search.Valid()) return;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::string fileName(data.cFileName, strnlen(data.cFileName, sizeof data.cFileName));
        if (fileName == "." || fileName == "..") continue;
        list.push_back(QfeEntryName(fileName));
    } while (::FindNextFileA(search.Get(), &data));
}

void CollectActiveSetupComponents(std::vector<std::string>& list) {
    CRegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kActiveSetupKey, FALSE, FALSE)) return;
    key.EnumSubKeys(list);
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

// The floor of the installed-name walk: the least any walk of the same three
// registry trees can do. Every key is opened by its path below HKLM with
// RegOpenKeyExA(KEY_READ), its sub-keys listed with RegEnumKeyExA, and
// closed; nothing else (the "Filelist" subtrees are left out, as the
// program leaves them out).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace bench {

inline void FloorWalkTree(const std::string& path, std::vector<std::string>& names) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    std::vector<std::string> children;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.emplace_back(name, length);
    }
    ::RegCloseKey(key);
    for (const std::string& child : children) {
        if (lstrcmpiA(child.c_str(), "Filelist") == 0) continue;
        names.push_back(child);
        FloorWalkTree(path + "\\" + child, names);
    }
}

inline void FloorWalk(std::vector<std::string>& names) {
    for (const char* tree : {"SOFTWARE\\Microsoft\\Updates", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                             "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\HotFix"})
        FloorWalkTree(tree, names);
}

}  // namespace bench

// Registry, file and probe helpers for the inventory and registry suites.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace testing_support {

struct RegValue { DWORD type = REG_NONE; std::string bytes; };
RegValue SzValue(const std::string& text);
RegValue DwordValue(DWORD value);

// Create `path` (and its parents); PlantValue also sets one value ("" is the default).
bool PlantKey(HKEY root, const std::string& path);
bool PlantValue(HKEY root, const std::string& path, const std::string& name, const RegValue& value);
bool KeyExists(HKEY root, const std::string& path);
// Deletes `path` with everything below it, opening up keys that refuse it.
bool DeleteKeyTree(HKEY root, const std::string& path);

// Saves a key tree and puts it back exactly when destroyed; a key that did
// not exist goes again, with every parent that did not exist either.
class RegistryBackup {
public:
    RegistryBackup(HKEY root, std::string path);
    ~RegistryBackup();
    RegistryBackup(const RegistryBackup&) = delete;
    RegistryBackup& operator=(const RegistryBackup&) = delete;

private:
    HKEY m_root;
    std::string m_path;
    std::string m_copy;  // under HKCU, while the key existed
    std::string m_missingFrom;
};

// A key's self-relative security descriptor (DACL part by default); empty
// when it cannot be read.
std::string KeySecurity(HKEY root, const std::string& path,
                        SECURITY_INFORMATION info = DACL_SECURITY_INFORMATION);
// Sets part of a key's security from SDDL ("D:(A;;RC;;;WD)", "O:SY").
bool SetKeySddl(HKEY root, const std::string& path, const std::string& sddl,
                SECURITY_INFORMATION info, REGSAM access);

std::string InventoryFixture(const std::string& name);  // a DLL the build made
inline std::string SystemDirectory() {
    char b[MAX_PATH + 1] = {};
    return std::string(b, ::GetSystemDirectoryA(b, MAX_PATH));
}
inline std::string WindowsDirectory() {
    char b[MAX_PATH + 1] = {};
    return std::string(b, ::GetWindowsDirectoryA(b, MAX_PATH));
}

// A file written for the test's duration and deleted at the end; `ok` false
// (and nothing written) when the file exists already.
struct ScopedFile {
    ScopedFile(std::string where, const std::string& bytes)
        : path(std::move(where)), ok(!FileExists(path) && WriteBytes(path, bytes)) {}
    ~ScopedFile() { if (ok) ::DeleteFileA(path.c_str()); }
    ScopedFile(const ScopedFile&) = delete;
    const std::string path;
    const bool ok;
};

// Runs the inventory probe with Wine's Windows version for it set to
// `windowsVersion` ("win98", "winxp", ...); its output lines, without line ends.
std::vector<std::string> RunInventoryProbe(const std::string& windowsVersion, const std::string& arguments);

}  // namespace testing_support

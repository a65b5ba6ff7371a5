// Plain registry reads for the component detection (see RegistryValues.h).
#include "inventory/RegistryValues.h"

#include <cstring>

#include "core/VersionText.h"
#include "registry/RegistryKey.h"

namespace {

// The version texts are read into buffers of this size.
constexpr DWORD kVersionTextBytes = 260;

const char kDotNet10Component[] =
    "Software\\Microsoft\\Active Setup\\Installed Components\\{78705f0d-e8db-4b2d-8193-982bdda15ecd}";
const char kDotNet10TabletComponent[] =
    "Software\\Microsoft\\Active Setup\\Installed Components\\{FDC11A6F-17D1-48f9-9EA3-9051954BAA24}";

}  // namespace

bool ReadRegistryValue(HKEY root, const std::string& keyPath, const std::string& valueName,
                       void* buffer, DWORD size, DWORD* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    CRegKeyGuard key;
    if (::RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD read = size;
    if (::RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &type, static_cast<BYTE*>(buffer),
                           &read) != ERROR_SUCCESS) {
        return false;
    }
    if (bytesRead) *bytesRead = read;
    return true;
}

bool ReadRegistryText(HKEY root, const std::string& keyPath, const std::string& valueName,
                      std::string& text) {
    text.clear();
    // One byte more than is offered, so a value that fills the buffer
    // without a terminating NUL still ends.
    char buffer[kVersionTextBytes + 1] = {};
    DWORD read = 0;
    if (!ReadRegistryValue(root, keyPath, valueName, buffer, kVersionTextBytes, &read)) return false;
    text.assign(buffer, strnlen(buffer, kVersionTextBytes));
    return true;
}

int ReadRegistryDword(const std::string& keyPath, const std::string& valueName) {
    DWORD value = 0;
    if (!ReadRegistryValue(HKEY_LOCAL_MACHINE, keyPath, valueName, &value, sizeof value)) return -1;
    return static_cast<int>(value);
}

bool IsRegistryVersionAtLeast(const std::string& keyPath, const std::string& valueName, int major,
                              int minor, int build, int revision) {
    std::string text;
    ReadRegistryText(HKEY_LOCAL_MACHINE, keyPath, valueName, text);
    return IsVersionAtLeast(ParseDottedVersion(text), major, minor, build, revision);
}

bool IsTabletOrMediaCenter() {
    return ::GetSystemMetrics(SM_TABLETPC) != 0 || ::GetSystemMetrics(SM_MEDIACENTER) != 0;
}

int GetDotNet10ServicePack() {
    const char* component = IsTabletOrMediaCenter() ? kDotNet10TabletComponent : kDotNet10Component;
    std::string version;
    if (!ReadRegistryText(HKEY_LOCAL_MACHINE, component, "Version", version)) return -1;
    return NumberAfterLastComma(version);
}

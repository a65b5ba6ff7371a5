// The registry key object (see RegistryKey.h).
#include "registry/RegistryKey.h"

#include <cstring>

#include "registry/KeyRepair.h"

namespace {

// RegOpenKeyExA's options argument as this object has always passed it for
// its own opens; Windows ignores the bit for opening.
constexpr DWORD kOpenOptions = 1;
// Longest value ReadString accepts when asked for a limited read.
constexpr DWORD kLimitedValueBytes = 1024;

}  // namespace

bool IsWindowsNT() {
    OSVERSIONINFOEXA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
        std::memset(&version, 0, sizeof version);
        version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) return false;
    }
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}
BOOL ProbeRegistryKey(
HKEY root, std::string subKey, int& needsRepair) {
    needsRepair = 0;
    if (!subKey.empty() && subKey[0] == '\\') subKey.erase(0, 1);

    CRegKeyGuard key;
    if (IsWindowsNT()) {
        if (::RegOpenKeyExA(root, subKey.c_str(), kOpenOptions, KEY_ALL_ACCESS, key.Receive()) ==
            ERROR_SUCCESS) {
            return TRUE;
        }
        // Refused full access: still worth opening if its security can be
        // read, since the repair can then open it up.
        if (::RegOpenKeyExA(root, subKey.c_str(), 0, READ_CONTROL, key.Receive()) != ERROR_SUCCESS) {
            return FALSE;
        }
        needsRepair = 1;
        return TRUE;
    }
    return ::RegOpenKeyExA(root, subKey.c_str(), kOpenOptions, KEY_QUERY_VALUE, key.Receive()) ==
                   ERROR_SUCCESS
               ? TRUE
               : FALSE;
}

CRegistryKey::~CRegistryKey() {
    if (m_hKey) Close();
    RestoreKeySecurity(m_arrChangedRoots, m_arrChangedPaths, m_arrSavedSecurity);
    m_hRootKey = nullptr;
    m_strSubKey.clear();
}

BOOL CRegistryKey::Open(HKEY root, std::string subKey, BOOL createIfMissing, BOOL readOnly) {
    if (m_hKey) return FALSE;

    // Nearly every key grants the rights asked for: one open serves it. Only
    // a key that refuses them (or is missing) takes the longer way below of
    // probing, repairing and opening again.
    REGSAM access = readOnly ? KEY_QUERY_VALUE : KEY_ALL_ACCESS;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subKey.c_str(), kOpenOptions, access, &key) == ERROR_SUCCESS) {
        m_hRootKey = root;
        m_strSubKey = subKey;
        m_hKey = key;
        return TRUE;
    }

    int needsRepair = 0;
    if (!ProbeRegistryKey(root, subKey, needsRepair)) {
        if (createIfMissing) return Create(root, subKey);
        return FALSE;
    }

    if (needsRepair) {
        // A failed or partial repair only means the open below may fail;
        // whatever it changed is in the journal and restored at Close.
        GrantKeyPathAccess(root, subKey, TRUE, m_arrChangedRoots, m_arrChangedPaths,
                           m_arrSavedSecurity);
    }

    m_hRootKey = root;
    m_strSubKey = subKey;
    LONG result = ::RegOpenKeyExA(root, subKey.c_str(), kOpenOptions, access, &key);
    if (result != ERROR_SUCCESS && !readOnly) {
        // The repair could not open the key up (another account owns it and
        // administrators may only read it). Reading is all the inventory
        // needs; missing these records would offer installed updates again.
        result = ::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key);
    }
    if (result != ERROR_SUCCESS) return FALSE;
    m_hKey = key;
    return TRUE;
}

BOOL CRegistryKey::Create(HKEY root, std::string subKey) {
    if (m_hKey) return FALSE;
    m_hRootKey = root;
    m_strSubKey = subKey;
    HKEY key = nullptr;
    if (::RegCreateKeyA(root, subKey.c_str(), &key) != ERROR_SUCCESS) return FALSE;
    m_hKey = key;
    return TRUE;
}

BOOL CRegistryKey::ReadString(std::string valueName, std::string& value, BOOL limited) {
    if (!m_hKey) return FALSE;
    value.clear();

    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(m_hKey, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return FALSE;
    }
    if (limited && size > kLimitedValueBytes) return FALSE;

    // One spare byte beyond the data keeps the text terminated whatever the
    // value holds.
    HeapBlock buffer(size + 1);
    if (!buffer) return FALSE;
    DWORD read = size;
    LONG result = ::RegQueryValueExA(m_hKey, valueName.c_str(), nullptr, &type, buffer.Data(), &read);
    if (result == ERROR_SUCCESS && type == REG_MULTI_SZ) {
        if (limited) return FALSE;
        buffer = HeapBlock(size + 2);
        if (!buffer) return FALSE;
        read = size;
        result = ::RegQueryValueExA(m_hKey, valueName.c_str(), nullptr, &type, buffer.Data(), &read);
        if (result == ERROR_SUCCESS) {
            if (read > size) read = size;
            for (DWORD i = 0; i < read; ++i) {
                if (buffer.Data()[i] == '\0') buffer.Data()[i] = '\n';
            }
        }
    }
    if (result != ERROR_SUCCESS) return FALSE;
    if (read > size) read = size;
    const char* text = reinterpret_cast<const char*>(buffer.Data());
    value.assign(text, strnlen(text, read));
    return TRUE;
}

BOOL CRegistryKey::ReadDWORD(std::string valueName, DWORD& value) {
    if (!m_hKey) return FALSE;
    value = 0;
    DWORD read = 0;
    DWORD size = sizeof read;
    if (::RegQueryValueExA(m_hKey, valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&read),
                           &size) != ERROR_SUCCESS) {
        return FALSE;
    }
    value = read;
    return TRUE;
}

BOOL CRegistryKey::EnumSubKeys(std::vector<std::string>& names, void (*beforeEachName)()) {
    if (!m_hKey) return FALSE;
    DWORD count = 0;
    DWORD longest = 0;
    if (::RegQueryInfoKeyA(m_hKey, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return FALSE;
    }
    // The longest length is counted in characters; a double-byte name needs
    // up to twice as many bytes. One buffer serves every name.
    const DWORD capacity = 2 * longest + 1;
    HeapBlock name(capacity);
    if (!name) return TRUE;
    for (DWORD index = count; index-- > 0;) {
        if (beforeEachName) beforeEachName();
        DWORD length = capacity;
        char* text = reinterpret_cast<char*>(name.Data());
        if (::RegEnumKeyExA(m_hKey, index, text, &length, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS) {
            names.emplace_back(text, strnlen(text, capacity));
        }
    }
    return TRUE;
}

BOOL CRegistryKey::Close() {
    if (m_hKey) ::RegCloseKey(m_hKey);
    RestoreKeySecurity(m_arrChangedRoots, m_arrChangedPaths, m_arrSavedSecurity);
    m_hKey = nullptr;
    m_strSubKey.clear();
    return TRUE;
}

// The registry key object through which the inventory reads HKLM, and its
// companions: ProbeRegistryKey (does a key exist and can it be opened) and
// CRegKeyGuard (closes one raw handle at the end of a scope).
//
// A key that exists but refuses full access is opened all the same on the NT
// family: the object first opens up the DACLs along its path (KeyRepair.h),
// keeps a journal of what it changed and writes it back when it is closed
// or destroyed; with a journal file set (KeyJournalFile.h) every change is
// also on the disk while it is in force, for the next start to undo should
// the process die first. When even the repaired key refuses full access (a
// key owned by another account that administrators may only read), it is
// opened for reading, which serves every read and enumeration this program
// makes.
//
// Layer: registry/ uses win/ and core/ only: nothing else of the program.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "win/Handle.h"

// Holds one raw key handle and closes it when the scope ends.
using CRegKeyGuard = RegistryKeyHandle;

class CRegistryKey {
public:
    CRegistryKey() = default;
    virtual ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Opens `subKey` under `root`: full access (KEY_ALL_ACCESS), or
    // KEY_QUERY_VALUE when `readOnly`, after repairing the path's access
    // rights when the key refuses full access; a full-access open that still
    // fails falls back to KEY_READ. A missing key is created when
    // `createIfMissing`. FALSE at once, leaving the open key alone, when a
    // key is already open.
    BOOL Open(HKEY root, std::string subKey, BOOL createIfMissing, BOOL readOnly);
    // RegCreateKeyA without probe or repair. FALSE when a key is already open.
    BOOL Create(HKEY root, std::string subKey);

    // A value's bytes as text, up to the first NUL (no expansion, any type).
    // `limited`: FALSE for values over 1024 bytes and for multi-strings.
    // Multi-strings read unlimited come back with every NUL turned into a
    // line feed. On FALSE the text is empty, except with no key open, when
    // it is not touched.
    BOOL ReadString(std::string valueName, std::string& value, BOOL limited);
    // Up to four bytes of a value of any type into the low bytes of `value`;
    // `value` is 0 unless the read succeeds. Longer values fail.
    BOOL ReadDWORD(std::string valueName, DWORD& value);
    // Appends the names of the direct sub-keys, from the highest index down
    // to 0; names already in `names` stay. An index that cannot be read is
    // skipped. `beforeEachName`, when given, is called before each name is
    // read (a window's caller passes PumpOneMessage from ui/Dialog.h).
    BOOL EnumSubKeys(std::vector<std::string>& names, void (*beforeEachName)() = nullptr);
    // Closes the key and writes back every access right the repair changed.
    BOOL Close();

    bool IsOpen() const { return m_hKey != nullptr; }
    HKEY Handle() const { return m_hKey; }
    HKEY RootKey() const { return m_hRootKey; }
    const std::string& SubKey() const { return m_strSubKey; }
    // The restore journal: the keys whose DACL was saved, top-most first.
    const std::vector<HKEY>& ChangedRoots() const { return m_arrChangedRoots; }
    const std::vector<std::string>& ChangedPaths() const { return m_arrChangedPaths; }
    size_t SavedSecurityCount() const { return m_arrSavedSecurity.size(); }

private:
    HKEY m_hKey = nullptr;
    HKEY m_hRootKey = nullptr;
    std::string m_strSubKey;
    std::vector<HKEY> m_arrChangedRoots;
    std::vector<std::string> m_arrChangedPaths;
    std::vector<HeapBlock> m_arrSavedSecurity;
};

// True on the NT family. Falls back to the basic version structure when the
// extended one is refused; false when both are.
bool IsWindowsNT();

// TRUE when `subKey` exists under `root` and can be opened. On the NT family
// a key that refuses full access but allows reading its security counts as
// openable and sets `needsRepair` to 1; otherwise it is set to 0. One leading
// backslash of the path is ignored.
BOOL ProbeRegistryKey(HKEY root, std::string subKey, int& needsRepair);


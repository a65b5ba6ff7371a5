// Helpers for the inventory and registry suites: planting registry keys and
// values in the test prefix and putting back what was there, reading and
// setting a key's access rights, files planted in the system directory, and
// running the inventory probe under a chosen Windows version.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// A registry value's type and raw bytes.
struct RegValue {
    DWORD type = REG_NONE;
    std::string bytes;
};
RegValue SzValue(const std::string& text);          // REG_SZ with its NUL
RegValue DwordValue(DWORD value);                   // REG_DWORD
RegValue MultiSzValue(const std::vector<std::string>& strings);
RegValue RawValue(DWORD type, const std::string& bytes);

// Creates `path` under `root` (and its parents) and sets one value; false
// when either fails. An empty name sets the default value.
bool PlantValue(HKEY root, const std::string& path, const std::string& name, const RegValue& value);
bool PlantKey(HKEY root, const std::string& path);
bool KeyExists(HKEY root, const std::string& path);
// Deletes `path` and everything below it, first opening up the access rights
// of keys that refuse it. True when the key is gone afterwards.
bool DeleteKeyTree(HKEY root, const std::string& path);

// Saves a key with all its values and sub-keys and puts it back exactly
// when destroyed; a key that did not exist is removed with every parent
// that did not exist either.
class RegistryBackup {
public:
    RegistryBackup(HKEY root, std::string path);
    ~RegistryBackup();
    RegistryBackup(const RegistryBackup&) = delete;
    RegistryBackup& operator=(const RegistryBackup&) = delete;

    struct Node;

private:
    HKEY m_root;
    std::string m_path;
    std::unique_ptr<Node> m_saved;  // null when the key did not exist
    std::string m_missingFrom;      // then: the top-most key that was missing
};

// One value of a key, put back (or removed, if it did not exist) when
// destroyed.
class ValueBackup {
public:
    ValueBackup(HKEY root, std::string path, std::string name);
    ~ValueBackup();
    ValueBackup(const ValueBackup&) = delete;
    ValueBackup& operator=(const ValueBackup&) = delete;

private:
    HKEY m_root;
    std::string m_path;
    std::string m_name;
    std::string m_missingFrom;
    bool m_keyExisted = false;
    bool m_existed = false;
    RegValue m_value;
};

// HKLM\Software\QuellfixTest\<name>, created fresh and removed with
// everything below it at the end.
class TestKeyTree {
public:
    explicit TestKeyTree(const std::string& name);
    ~TestKeyTree();
    TestKeyTree(const TestKeyTree&) = delete;
    TestKeyTree& operator=(const TestKeyTree&) = delete;
    // The path below HKLM, and a child's path.
    const std::string& Path() const { return m_path; }
    std::string Child(const std::string& relative) const { return m_path + "\\" + relative; }
    // An open handle on the test key (KEY_ALL_ACCESS), for calls relative to it.
    HKEY Handle() const { return m_handle; }

private:
    std::string m_path;
    HKEY m_handle = nullptr;
};

// The key's security descriptor as read for `info` (self-relative bytes);
// empty when it cannot be read.
std::string KeySecurity(HKEY root, const std::string& path,
                        SECURITY_INFORMATION info = DACL_SECURITY_INFORMATION);
// Sets part of a key's security from SDDL text ("D:(A;;RC;;;WD)",
// "O:SY"), opening the key with `access`. False when it fails.
bool SetKeySddl(HKEY root, const std::string& path, const std::string& sddl,
                SECURITY_INFORMATION info, REGSAM access);
// The access-allowed ACEs of a DACL, as (SID text, mask, flags).
struct AceInfo {
    std::string sid;
    DWORD mask;
    BYTE flags;
};
std::vector<AceInfo> DaclEntries(PACL dacl);
std::vector<AceInfo> KeyDaclEntries(HKEY root, const std::string& path);

// Where the build put the inventory fixtures ("...\\tests\\inventory\\name").
std::string InventoryFixture(const std::string& name);
std::string SystemDirectory();
std::string WindowsDirectory();

// A file put at `path` for the test's duration (copied from `source`, or
// with `bytes`); whatever was there before comes back at the end.
class ScopedFile {
public:
    static ScopedFile Copy(const std::string& source, const std::string& path);
    static ScopedFile Write(const std::string& path, const std::string& bytes);
    ScopedFile(ScopedFile&& other) noexcept;
    ~ScopedFile();
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    bool Ok() const { return m_ok; }

private:
    explicit ScopedFile(std::string path);
    std::string m_path;
    bool m_hadOriginal = false;
    std::string m_original;
    bool m_ok = false;
};

// Runs the inventory probe with `arguments` in a process of its own, with
// Wine's Windows version for that program set to `windowsVersion` ("win98",
// "winxp", ...; empty keeps the prefix's version). Returns what it wrote to
// standard output, or "<not started>" / "<timed out>".
std::string RunInventoryProbe(const std::string& windowsVersion, const std::string& arguments);
// `text` split at line feeds, without the line ends.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace testing_support

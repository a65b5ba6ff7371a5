// The key journal on the disk (see KeyJournalFile.h).
#include "registry/KeyJournalFile.h"

#include <cstring>

#include "core/KeyJournal.h"
#include "registry/KeyRepair.h"
#include "registry/RegistryKey.h"
#include "win/Handle.h"
#include "win/Machine.h"
#include "win/WholeFile.h"

namespace {

// A journal is a few hundred bytes a key; a file beyond this is not one the
// program wrote, and it is neither read nor replaced.
constexpr DWORD kJournalFileLimit = 16 * 1024 * 1024;

// The lock is made before main runs and lives as long as the process.
class JournalLock {
public:
    JournalLock() { ::InitializeCriticalSection(&m_section); }
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;
    void Enter() { ::EnterCriticalSection(&m_section); }
    void Leave() { ::LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};
JournalLock g_lock;
std::string g_journalPath;

class Locked {
public:
    Locked() { g_lock.Enter(); }
    ~Locked() { g_lock.Leave(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

struct RootName {
    HKEY key;
    const char* name;
};
const RootName kRootNames[] = {
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"}, {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},   {HKEY_USERS, "HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
};

std::string NameOfRoot(HKEY root) {
    for (const RootName& r : kRootNames)
        if (r.key == root) return r.name;
    return std::string();
}

HKEY RootOfName(const std::string& name) {
    for (const RootName& r : kRootNames)
        if (name == r.name) return r.key;
    return nullptr;
}

std::string TemporaryPath(const std::string& journal) { return journal + ".new"; }

// The records in the file; false when it exists but cannot be read, which
// must not be taken for an empty journal.
bool ReadJournal(const std::string& path, std::vector<KeyJournalEntry>& entries) {
    std::string text;
    const WholeFileRead state = ReadWholeFileAt(path, text, kJournalFileLimit);
    entries = ParseKeyJournal(text);
    return state != WholeFileRead::Unreadable;
}

// Replaces the journal by `entries` in one move (or deletes it when there
// are none); true when the disk holds the new journal.
bool WriteJournal(const std::string& path, const std::vector<KeyJournalEntry>& entries) {
    const std::string temporary = TemporaryPath(path);
    if (entries.empty()) {
        ::DeleteFileA(temporary.c_str());
        return ::DeleteFileA(path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    // The folder (UPDATES) is made with the first record, not before.
    const std::string::size_type slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash > 0) ::CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);

    return ReplaceWholeFile(path, FormatKeyJournal(entries));
}

KeyJournalEntry MakeEntry(HKEY root, const std::string& path, const BYTE* security, DWORD size) {
    return KeyJournalEntry{ComputerName(), NameOfRoot(root), path,
                           std::string(reinterpret_cast<const char*>(security), size)};
}

enum class Settled { Restored, Dropped, Kept };

// Writes one record back (see RestoreJournaledKeys).
Settled RestoreRecord(const KeyJournalEntry& entry) {
    CRegKeyGuard key;
    const LONG opened = ::RegOpenKeyExA(RootOfName(entry.root), entry.path.c_str(), 0,
                                        READ_CONTROL | WRITE_DAC, key.Receive());
    if (opened == ERROR_FILE_NOT_FOUND) return Settled::Dropped;
    if (opened != ERROR_SUCCESS) return Settled::Kept;
    // A copy for the call: the descriptor is read in place, aligned.
    HeapBlock descriptor(static_cast<DWORD>(entry.security.size()));
    if (!descriptor) return Settled::Kept;
    std::memcpy(descriptor.Data(), entry.security.data(), entry.security.size());
    if (!::IsValidSecurityDescriptor(descriptor.Data()) || !HoldsRepairDacl(key.Get()))
        return Settled::Dropped;
    if (::RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, descriptor.Data()) != ERROR_SUCCESS)
        return Settled::Kept;
    // On the disk before its record goes: a power cut must not bring the
    // changed DACL back without its record.
    ::RegFlushKey(key.Get());
    return Settled::Restored;
}

}  // namespace

void SetKeyRepairJournal(const std::string& path) {
    Locked locked;
    g_journalPath = path;
}

std::string KeyRepairJournal() {
    Locked locked;
    return g_journalPath;
}

BOOL JournalKeyChange(HKEY root, const std::string& path, const BYTE* security, DWORD size) {
    Locked locked;
    if (g_journalPath.empty()) return TRUE;
    const KeyJournalEntry entry = MakeEntry(root, path, security, size);
    if (!CanJournalKey(entry)) return FALSE;
    std::vector<KeyJournalEntry> entries;
    if (!ReadJournal(g_journalPath, entries)) return FALSE;
    entries.push_back(entry);
    return WriteJournal(g_journalPath, entries) ? TRUE : FALSE;
}

void JournalKeyRestored(HKEY key, HKEY root, const std::string& path, const BYTE* security,
                        DWORD size) {
    Locked locked;
    if (g_journalPath.empty()) return;
    if (key) ::RegFlushKey(key);
    std::vector<KeyJournalEntry> entries;
    if (!ReadJournal(g_journalPath, entries)) return;
    if (RemoveKeyJournalEntry(entries, MakeEntry(root, path, security, size)))
        WriteJournal(g_journalPath, entries);
}

int RestoreJournaledKeys(std::vector<std::string>& restoredKeys) {
    Locked locked;
    if (g_journalPath.empty() || !IsWindowsNT()) return 0;
    // A new journal whose move a crash cut off: the journal it would have
    // replaced is still whole.
    ::DeleteFileA(TemporaryPath(g_journalPath).c_str());
    std::string text;
    if (ReadWholeFileAt(g_journalPath, text, kJournalFileLimit) != WholeFileRead::Read) return 0;

    const std::vector<KeyJournalEntry> entries = ParseKeyJournal(text);
    std::vector<KeyJournalEntry> left = entries;
    const std::string computer = ComputerName();
    int restored = 0;
    for (size_t i = entries.size(); i-- > 0;) {
        const KeyJournalEntry& entry = entries[i];
        if (entry.computer != computer) continue;
        const Settled settled = RestoreRecord(entry);
        if (settled == Settled::Kept) continue;
        // Each record goes as soon as its key is settled: a cut here only
        // writes the same DACL again next time.
        RemoveKeyJournalEntry(left, entry);
        WriteJournal(g_journalPath, left);
        if (settled == Settled::Restored) {
            restoredKeys.push_back(KeyJournalKeyName(entry));
            ++restored;
        }
    }
    // Damaged lines go too (the file is deleted when nothing is left).
    if (FormatKeyJournal(left) != text) WriteJournal(g_journalPath, left);
    return restored;
}

// Key permission repair (see KeyRepair.h).
#include "registry/KeyRepair.h"

#include <cstring>

#include "registry/KeyJournalFile.h"
#include "registry/RegistryKey.h"
#include "win/SystemLibrary.h"

namespace {

// AddAccessAllowedAceEx does not exist on every system this program starts
// on, so it is looked up once, the library kept for the process's life.
decltype(&::AddAccessAllowedAceEx) AddAceEx() {
    static const SystemLibrary advapi("advapi32.dll");
    static const auto function = QF_OPTIONAL(advapi, AddAccessAllowedAceEx);
    return function;
}

// Room the DACL is given per ACE besides the SID: the ACL header and the
// ACE header with its mask fit in this with room to spare.
constexpr DWORD kDaclBytesPerAce = 24;
constexpr BYTE kInheritToKeysAndValues = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// SYSTEM and Administrators get full control of the keys the program opens up.
const std::vector<AccountAccess>& RepairAccounts() {
    static const std::vector<AccountAccess> accounts = {
        {"SYSTEM", GENERIC_ALL},
        {"Administrators", GENERIC_ALL | KEY_ALL_ACCESS},
    };
    return accounts;
}

// The repair reads each key's DACL before replacing it, so besides the rights
// to change the DACL and owner it needs the right to read the security.
constexpr REGSAM kRepairAccess = READ_CONTROL | WRITE_DAC | WRITE_OWNER;

// The descriptor a key gave, in a block of exactly its size: the journal
// file's record of it is matched byte for byte when it is restored.
HeapBlock ExactCopy(HeapBlock block, DWORD size) {
    if (size >= block.Size()) return block;
    HeapBlock exact(size);
    if (exact) std::memcpy(exact.Data(), block.Data(), size);
    return exact;
}

}  // namespace

AccessDescriptor::AccessDescriptor() {
    std::memset(&m_descriptor, 0, sizeof m_descriptor);
    ::InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION);
}

BOOL GetAccountSid(std::string accountName, LocalBlock& sid) {
    sid.Reset();
    DWORD sidSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use;
    if (!::LookupAccountNameA(nullptr, accountName.c_str(), nullptr, &sidSize, nullptr, &domainSize,
                              &use) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return FALSE;
    }
    if (sidSize == 0) return FALSE;
    LocalBlock newSid(::LocalAlloc(LMEM_FIXED, sidSize));
    LocalBlock domain(::LocalAlloc(LMEM_FIXED, domainSize ? domainSize : 1));
    if (!newSid || !domain) return FALSE;
    if (!::LookupAccountNameA(nullptr, accountName.c_str(), newSid.Get(), &sidSize,
                              static_cast<char*>(domain.Get()), &domainSize, &use)) {
        return FALSE;
    }
    sid = std::move(newSid);
    return TRUE;
}

BOOL BuildAccessDescriptor(AccessDescriptor& descriptor, const std::vector<AccountAccess>& entries) {
    descriptor.m_dacl.Reset();
    std::memset(&descriptor.m_descriptor, 0, sizeof descriptor.m_descriptor);
    ::InitializeSecurityDescriptor(&descriptor.m_descriptor, SECURITY_DESCRIPTOR_REVISION);

    const auto addAce = AddAceEx();
    if (!addAce || entries.empty()) return FALSE;

    std::vector<LocalBlock> sids(entries.size());
    DWORD daclSize = kDaclBytesPerAce * static_cast<DWORD>(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!GetAccountSid(entries[i].account, sids[i])) return FALSE;
        daclSize += ::GetLengthSid(sids[i].Get());
    }

    LocalBlock dacl(::LocalAlloc(LMEM_FIXED, daclSize));
    if (!dacl) return FALSE;
    PACL acl = static_cast<PACL>(dacl.Get());
    if (!::InitializeAcl(acl, daclSize, ACL_REVISION)) return FALSE;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!addAce(acl, ACL_REVISION, kInheritToKeysAndValues, entries[i].accessMask, sids[i].Get())) {
            return FALSE;
        }
    }
    if (!::SetSecurityDescriptorDacl(&descriptor.m_descriptor, TRUE, acl, FALSE)) return FALSE;
    descriptor.m_dacl = std::move(dacl);
    return TRUE;
}

int GrantKeyPathAccess(HKEY root, std::string keyPath, BOOL walkEveryPrefix,
                       std::vector<HKEY>& changedRoots, std::vector<std::string>& changedPaths,
                       std::vector<HeapBlock>& savedSecurity) {
    if (!IsWindowsNT()) return kRepairNotAttempted;
    AccessDescriptor fullControl;
    if (!BuildAccessDescriptor(fullControl, RepairAccounts())) return kRepairNotAttempted;

    bool replaced = false;
    auto stopped = [&replaced] { return replaced ? kRepairStoppedPartway : kRepairStoppedUnchanged; };

    // Parents first: each ancestor below the root is opened up before its
    // child is opened.
    std::string::size_type slash = keyPath.find('\\');
    for (;;) {
        bool lastPass = !(walkEveryPrefix && slash != std::string::npos);
        std::string current = lastPass ? keyPath : keyPath.substr(0, slash);

        CRegKeyGuard key;
        if (::RegOpenKeyExA(root, current.c_str(), 0, kRepairAccess, key.Receive()) != ERROR_SUCCESS) {
            return stopped();
        }
        DWORD size = 0;
        ::RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, nullptr, &size);
        if (size > 0) {
            HeapBlock previous(size);
            if (previous && ::RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, previous.Data(),
                                                &size) == ERROR_SUCCESS) {
                previous = ExactCopy(std::move(previous), size);
                // No change without its record on the disk first: a key the
                // journal file cannot hold is left as it is.
                if (!previous || !JournalKeyChange(root, current, previous.Data(), previous.Size()))
                    return stopped();
                changedRoots.push_back(root);
                changedPaths.push_back(current);
                savedSecurity.push_back(std::move(previous));
                if (::RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, fullControl.Get()) !=
                    ERROR_SUCCESS) {
                    return stopped();
                }
                replaced = true;
            }
        }
        if (lastPass) return kRepairDone;
        slash = keyPath.find('\\', slash + 1);
    }
}

int RestoreKeySecurity(std::vector<HKEY>& changedRoots, std::vector<std::string>& changedPaths,
                       std::vector<HeapBlock>& savedSecurity) {
    size_t count = changedRoots.size();
    if (changedPaths.size() < count) count = changedPaths.size();
    if (savedSecurity.size() < count) count = savedSecurity.size();
    for (size_t i = count; i-- > 0;) {
        CRegKeyGuard key;
        const LONG opened =
            ::RegOpenKeyExA(changedRoots[i], changedPaths[i].c_str(), 0, WRITE_DAC, key.Receive());
        // The record stays in the journal file unless the DACL is back or
        // there is no key to give it back to; the next start tries again.
        if (opened == ERROR_FILE_NOT_FOUND ||
            (opened == ERROR_SUCCESS &&
             ::RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, savedSecurity[i].Data()) ==
                 ERROR_SUCCESS)) {
            JournalKeyRestored(key.Get(), changedRoots[i], changedPaths[i], savedSecurity[i].Data(),
                               savedSecurity[i].Size());
        }
        savedSecurity[i] = HeapBlock();
    }
    changedRoots.clear();
    changedPaths.clear();
    savedSecurity.clear();
    return 1;
}

BOOL HoldsRepairDacl(HKEY key) {
    DWORD size = 0;
    ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    if (size == 0) return FALSE;
    HeapBlock descriptor(size);
    if (!descriptor || ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.Data(), &size) !=
                           ERROR_SUCCESS) {
        return FALSE;
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor.Data(), &present, &dacl, &defaulted) || !present ||
        !dacl || dacl->AceCount == 0) {
        return FALSE;
    }
    const std::vector<AccountAccess>& accounts = RepairAccounts();
    std::vector<LocalBlock> sids(accounts.size());
    for (size_t i = 0; i < accounts.size(); ++i)
        if (!GetAccountSid(accounts[i].account, sids[i])) return FALSE;
    // Windows may store an inheritable entry as two (one for the key, one
    // inherited only), so what is compared is whom the entries allow, not
    // their bytes.
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace) || !ace) return FALSE;
        if (static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) return FALSE;
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        bool known = false;
        for (const LocalBlock& allowed : sids) known = known || ::EqualSid(sid, allowed.Get());
        if (!known) return FALSE;
    }
    return TRUE;
}

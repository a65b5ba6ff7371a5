// Opening up a registry key path that refuses full access, and putting it
// back. On the NT family the access-control list (DACL) of the key and of
// every key above it is replaced by one that gives full control to SYSTEM
// and Administrators; each replaced DACL is saved in a journal first, and
// RestoreKeySecurity writes the journal back, newest (deepest) first.
//
// While a repair is in force the changed DACLs apply to every process on the
// computer, so the journal belongs to an object whose Close or destruction
// always restores it (CRegistryKey). A process that dies first cannot, so
// each record is also kept in the journal file (KeyJournalFile.h), when the
// program has set one, before the key is changed, and leaves it when the
// key is given back.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "win/Handle.h"

// An account name and the access an ACE grants it.
struct AccountAccess {
    std::string account;
    DWORD accessMask;
};

// An absolute security descriptor whose DACL is owned with it. Empty (no
// DACL attached) until BuildAccessDescriptor succeeds on it.
class AccessDescriptor {
public:
    AccessDescriptor();
    AccessDescriptor(const AccessDescriptor&) = delete;
    AccessDescriptor& operator=(const AccessDescriptor&) = delete;
    PSECURITY_DESCRIPTOR Get() { return &m_descriptor; }
    // The attached DACL, null before a successful build.
    PACL Dacl() const { return static_cast<PACL>(m_dacl.Get()); }

private:
    friend BOOL BuildAccessDescriptor(AccessDescriptor&, const std::vector<AccountAccess>&);
    SECURITY_DESCRIPTOR m_descriptor;
    LocalBlock m_dacl;
};

// Replaces `descriptor` with one whose DACL holds one inheritable
// (object and container) access-allowed ACE per entry, in the given order,
// for each account looked up by name on this computer. FALSE, leaving the
// descriptor without a DACL, when an account is unknown, there are no
// entries, or AddAccessAllowedAceEx is missing.
BOOL BuildAccessDescriptor(AccessDescriptor& descriptor, const std::vector<AccountAccess>& entries);

// The SID of an account on this computer. FALSE with `sid` empty when the
// name cannot be looked up.
BOOL GetAccountSid(std::string accountName, LocalBlock& sid);

// Results of GrantKeyPathAccess.
enum KeyRepairResult {
    kRepairDone = 1,
    kRepairNotAttempted = 0,         // not the NT family, or no descriptor could be built
    kRepairStoppedUnchanged = -1,    // stopped before any DACL was replaced
    kRepairStoppedPartway = -2,      // stopped after at least one DACL was replaced
};

// Replaces the DACL of `keyPath` under `root` -- and, with walkEveryPrefix,
// first of every key above it, top-most first -- by full control for SYSTEM
// and Administrators. For each key whose DACL it could read, records the
// previous DACL in the journal file (when one is set; a record that cannot
// be made stops the repair there, that key unchanged) and appends the root,
// the key's path and its previous DACL to the three journal arrays before
// changing it, so a key whose change then fails is still restored.
// Returns a KeyRepairResult.
int GrantKeyPathAccess(HKEY root, std::string keyPath, BOOL walkEveryPrefix,
                       std::vector<HKEY>& changedRoots, std::vector<std::string>& changedPaths,
                       std::vector<HeapBlock>& savedSecurity);

// Writes every journal entry back, last first, releases the saved blocks
// and empties the three arrays. A key that cannot be opened any more keeps
// its new DACL (and its record in the journal file, unless the key is gone).
// Always 1.
int RestoreKeySecurity(std::vector<HKEY>& changedRoots, std::vector<std::string>& changedPaths,
                       std::vector<HeapBlock>& savedSecurity);

// True when every entry of the key's DACL (open with READ_CONTROL) allows
// SYSTEM or Administrators, as the repair's DACL does: the state a repair
// leaves a key in. False for any other DACL, none, or one that cannot be read.
BOOL HoldsRepairDacl(HKEY key);

// Whether one catalog entry applies to this system and whether its update is
// already installed: a pure decision over the entry's keys (looked up on
// demand, in the order the rules need them), the detected system profile and
// two installed-ness probes.
#pragma once
#include <functional>
#include <string>

#include "core/CatalogModel.h"
#include "core/SystemProfile.h"


enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot };

struct InstalledProbes {
    // True when the key `subKey` under `root` exists and can be opened.
    std::function<bool(RegistryRoot root, const std::string& subKey)> registryKey;
    // True when some recorded installed-update name contains `name`.
    std::function<bool(const std::string& name)> installedName;
};

// One catalog entry while it is evaluated.
struct UpdateItem {
    int number = 0;
    std::string title;
    bool installed = false;
};

// The rule that keeps an entry off the list, named by the key it reads
// (the first that fails, in the order the rules are decided); None for a
// listed entry. TYPE APPLICATION is ExcludedBy::Type.
using ExcludedBy = CatalogKeyId;

// Evaluates entry `number`. False when the entry is not listed on this
// system (switched off, a condition fails, or it is an application);
// otherwise true with `item` filled. `excludedBy`, when given, receives the
// rule that decided (ExcludedBy::None for a listed entry).
bool EvaluateEntry(int number, const EntryKeyLookup& key, const SystemProfile& profile,
                   const InstalledProbes& probes, UpdateItem& item,
                   ExcludedBy* excludedBy = nullptr);

// Why the rule of `key` keeps an entry off the list on `profile`, said
// after the key as the entry has it ("IEVER=8 asks for ..."), for the
// catalog checker's explanation. Empty for ExcludedBy::None.
std::string ExclusionReason(ExcludedBy key, const SystemProfile& profile);

// The catalog's [INFO] as list filling reads it: COUNT, then LANGUAGE.
struct CatalogHeader {
    int count = 0;
    int language = 0;
};
CatalogHeader ReadCatalogHeader(const CatalogLookup& lookup);

// Called for each entry evaluated, in order: whether it is listed, its row
// (when listed), and the rule that decided.
using EntryVisitor =
    std::function<void(int number, bool listed, const UpdateItem& item, ExcludedBy rule)>;
// Evaluates entries 1 to EntriesToVisit(count) of the catalog: the one
// evaluation behind the update list and the checker's explanation.
void EvaluateEntries(const CatalogLookup& lookup, int count, const SystemProfile& profile,
                     const InstalledProbes& probes, const EntryVisitor& visit);

// True when the catalog's LANGUAGE number is the system's primary language.
bool CatalogLanguageMatches(int catalogLanguage, unsigned short languageId);
// The message shown when it is not.
std::string LanguageMismatchMessage(int catalogLanguage, unsigned short languageId);

// Cuts `text` at the first `c`: overwrites it with NUL and returns the
// position after it; nullptr (text unchanged) when `c` does not occur.
char* SplitAtChar(char* text, char c);

// The registry form of an installed-ness probe: one of the three root names
// in capitals, one separator character and a sub-key path. False for
// anything else, which is then an update name.
bool ParseRegistryProbe(const std::string& value, RegistryRoot& root, std::string& subKey);

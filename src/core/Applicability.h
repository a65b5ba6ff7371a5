// Whether one catalog entry applies to this system and whether its update is
// already installed: a pure decision over the entry's keys (looked up on
// demand, in the order the rules need them), the detected system profile and
// two installed-ness probes.
#pragma once
#include <functional>
#include <string>

#include "core/Catalog.h"
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

// The rule that keeps an entry off the list: the first that fails, in the
// order the rules are decided.
enum class ExcludedBy {
    Nothing,            // the entry is listed
    Enable,             // ENABLE is 0
    IeVersion,          // IEVER above the system's Internet Explorer
    MediaPlayer,        // WMPVER not the system's Media Player
    ServicePacks,       // SPVER does not hold the system's service pack
    Iis,                // IISVER require, no IIS
    Snmp,               // SNMPVER require, no SNMP service
    DotNet,             // DOTNETVER require without .NET, or not the system's .NET
    DotNetServicePack,  // DOTNETSPVER not the system's .NET service pack
    MediaFormat,        // WMFVER not the system's Media Format
    Application,        // TYPE APPLICATION
};

// Evaluates entry `number`. False when the entry is not listed on this
// system (switched off, a condition fails, or it is an application);
// otherwise true with `item` filled. `excludedBy`, when given, receives the
// rule that decided (ExcludedBy::Nothing for a listed entry).
bool EvaluateEntry(int number, const EntryKeyLookup& key, const SystemProfile& profile,
                   const InstalledProbes& probes, UpdateItem& item,
                   ExcludedBy* excludedBy = nullptr);

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

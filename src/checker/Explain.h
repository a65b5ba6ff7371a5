// Why an entry does or does not show on one PC: the catalog evaluated with
// the program's own EvaluateEntry against a PC described in a small text
// file, the system file.
//
// A system file holds one "key = value" per line; blank lines and lines
// starting with '#' are skipped, keys are taken in any letter case:
//   name        free text naming the PC in the output
//   os          OS code 0-7, or 98, me, 2000, xp, 2003, vista, 2008
//   bits        32 or 64
//   servicepack the Windows service pack number
//   language    the Windows language identifier, decimal or 0x hex (0x0412 Korean)
//   ie          Internet Explorer version (its major number counts: 8 or 8.0.6001.18702)
//   wmp         Windows Media Player version (major number)
//   wmf         Windows Media Format version (major number)
//   dotnet      newest .NET Framework: 3.5, or its code 35; none
//   dotnetsp    its service pack number; none
//   iis         IIS version; none
//   snmp        yes or no
//   installed   a name Windows records an installed update under (repeatable)
//   regkey      a registry key that exists, from HKEY_LOCAL_MACHINE\,
//               HKEY_CURRENT_USER\ or HKEY_CLASSES_ROOT\ (HKLM\, HKCU\,
//               HKCR\ too); its parent keys exist with it (repeatable)
// A key left out keeps the program's value for "absent or unknown" (no
// Internet Explorer, no .NET, no IIS, service pack 0, ...). The file is
// UTF-8 or CP949; names are compared as CP949, as on the PC.
#pragma once
#include <string>
#include <vector>

#include "core/Applicability.h"
#include "core/IniText.h"
#include "core/SystemProfile.h"

struct SystemDescription {
    std::string name;
    SystemProfile profile;
    std::vector<std::string> installedNames;  // CP949
    std::vector<std::string> registryKeys;    // "HKEY_LOCAL_MACHINE\...", CP949
};

// Reads a system file into `system`; false with `problem` ("line 3: ...")
// for a line it cannot take.
bool ParseSystemFile(const std::string& text, SystemDescription& system, std::string& problem);

struct EntryOutcome {
    int number = 0;
    int line = 0;  // of its section; 0 when the catalog has none
    std::string title;
    bool listed = false;
    bool installed = false;
    ExcludedBy rule = ExcludedBy::None;
    std::string why;  // the rule that excluded it, or the probe that found it installed (UTF-8)
};

struct Explanation {
    int language = 0;  // LANGUAGE as read
    int languageLine = 0;
    bool languageMatches = false;
    int count = 0;  // COUNT as read
    int countLine = 0;
    std::vector<EntryOutcome> entries;  // empty when the language does not match
};

Explanation ExplainCatalog(const IniText& catalog, const SystemDescription& system);

// The lines `explain` prints for `file`.
std::vector<std::string> FormatExplanation(const std::string& file, const Explanation& explanation,
                                           const SystemDescription& system);

// The system file and the explanation of a catalog (see Explain.h).
#include "checker/Explain.h"

#include <cstdio>
#include <map>

#include "checker/CatalogReading.h"
#include "checker/Cp949.h"
#include "core/InstalledNames.h"
#include "core/Text.h"

namespace {

const struct {
    const char* shortName;
    const char* name;
} kRoots[] = {{"HKLM", "HKEY_LOCAL_MACHINE"},
              {"HKCU", "HKEY_CURRENT_USER"},
              {"HKCR", "HKEY_CLASSES_ROOT"}};

const char* RootName(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::LocalMachine: return kRoots[0].name;
    case RegistryRoot::CurrentUser: return kRoots[1].name;
    case RegistryRoot::ClassesRoot: return kRoots[2].name;
    }
    return "";
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A whole decimal number, or (`hex`) 0x and hexadecimal digits.
bool WholeNumber(const std::string& text, bool hex, long& value) {
    if (text.empty() || text.size() > 9) return false;
    const bool isHex = hex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = isHex ? text.substr(2) : text;
    if (digits.find_first_not_of(isHex ? "0123456789abcdefABCDEF" : "0123456789") !=
        std::string::npos)
        return false;
    value = std::stol(digits, nullptr, isHex ? 16 : 10);
    return true;
}

// A version: its major number, the rest dotted digits ("8", "8.0.6001").
bool MajorVersion(const std::string& text, long& value) {
    const std::size_t dot = text.find('.');
    if (dot != std::string::npos &&
        text.find_first_not_of("0123456789.", dot) != std::string::npos)
        return false;
    return WholeNumber(text.substr(0, dot), false, value);
}

// Text of the file as CP949: UTF-8 converted, anything else taken as it is.
std::string AsCp949(const std::string& text) {
    std::string converted;
    return Utf8ToCp949(text, converted) ? converted : text;
}

// A registry key written with a root name the program knows, or empty text.
std::string FullKeyName(const std::string& text) {
    for (const auto& root : kRoots) {
        for (const char* prefix : {root.name, root.shortName}) {
            const std::string start = std::string(prefix) + "\\";
            if (Lower(text.substr(0, start.size())) == Lower(start))
                return std::string(root.name) + text.substr(start.size() - 1);
        }
    }
    return std::string();
}

class SystemFileReader {
public:
    explicit SystemFileReader(SystemDescription& system) : m_system(system) {}

    // The problem with one line, or empty text.
    std::string Take(const std::string& key, const std::string& value) {
        long n = 0;
        SystemProfile& p = m_system.profile;
        if (key == "installed") {
            if (value.empty()) return "an empty name";
            m_system.installedNames.push_back(AsCp949(value));
            return std::string();
        }
        if (key == "regkey") {
            const std::string full = FullKeyName(AsCp949(value));
            if (full.empty())
                return "a registry key starts with HKEY_LOCAL_MACHINE\\, HKEY_CURRENT_USER\\ or "
                       "HKEY_CLASSES_ROOT\\";
            m_system.registryKeys.push_back(full);
            return std::string();
        }
        if (!m_given.emplace(key, true).second) return key + " is given twice";
        if (key == "name") {
            m_system.name = value;
        } else if (key == "os") {
            static const char* const kNames[] = {"unknown", "98", "me", "2000",
                                                 "xp", "2003", "vista", "2008"};
            int code = -1;
            for (int c = 0; c < 8; ++c)
                if (Lower(value) == kNames[c]) code = c;
            if (code < 0 && WholeNumber(value, false, n) && n <= 7) code = static_cast<int>(n);
            if (code < 0) return "os is an OS code 0-7 or 98, me, 2000, xp, 2003, vista, 2008";
            p.osCode = code;
        } else if (key == "bits") {
            if (value != "32" && value != "64") return "bits is 32 or 64";
            p.osBits = value == "64" ? 64 : 32;
        } else if (key == "servicepack") {
            if (!WholeNumber(value, false, n)) return "servicepack is a number";
            p.servicePack = static_cast<int>(n);
        } else if (key == "language") {
            if (!WholeNumber(value, true, n) || n > 0xFFFF)
                return "language is a language identifier such as 0x0412";
            p.languageId = static_cast<unsigned short>(n);
        } else if (key == "ie" || key == "wmp" || key == "wmf") {
            if (!MajorVersion(value, n)) return key + " is a version such as 8 or 8.0.6001";
            (key == "ie" ? p.ieVersion : key == "wmp" ? p.wmpMajor : p.wmfMajor) =
                static_cast<int>(n);
        } else if (key == "dotnet") {
            const std::size_t dot = value.find('.');
            long minor = 0;
            if (Lower(value) == "none") {
                p.dotNetVersion = -1;
            } else if (dot != std::string::npos && WholeNumber(value.substr(0, dot), false, n) &&
                       WholeNumber(value.substr(dot + 1), false, minor) && minor < 10) {
                p.dotNetVersion = static_cast<int>(10 * n + minor);
            } else if (dot == std::string::npos && WholeNumber(value, false, n)) {
                p.dotNetVersion = static_cast<int>(n);
            } else {
                return "dotnet is a version such as 3.5, its code 35, or none";
            }
        } else if (key == "dotnetsp" || key == "iis") {
            int& field = key == "iis" ? p.iisVersion : p.dotNetServicePack;
            if (Lower(value) == "none")
                field = -1;
            else if (key == "iis" ? MajorVersion(value, n) : WholeNumber(value, false, n))
                field = static_cast<int>(n);
            else
                return key + " is a number or none";
        } else if (key == "snmp") {
            const std::string v = Lower(value);
            if (v != "yes" && v != "no" && v != "1" && v != "0") return "snmp is yes or no";
            p.snmpInstalled = v == "yes" || v == "1" ? 1 : 0;
        } else {
            m_given.erase(key);
            return "no key " + key + " in a system file";
        }
        return std::string();
    }

private:
    SystemDescription& m_system;
    std::map<std::string, bool> m_given;
};

std::string Shown(const std::string& value) { return ForDisplay(value); }

// "IEVER=8" as the entry has it, or "IEVER missing (6)".
std::string KeyText(const IniText& ini, const std::string& section, const CatalogKey& key) {
    const std::string value = ini.Read(section, key.name, key.missing, kListBuffer);
    if (!ini.FindKey(section, key.name))
        return std::string(key.name) + " missing (" + Shown(value) + ")";
    return std::string(key.name) + "=" + Shown(value);
}

std::string WhyExcluded(ExcludedBy rule, const IniText& ini, const std::string& section,
                        const SystemProfile& p) {
    const CatalogKey* key = FindCatalogKey(rule);
    if (!key) return std::string();
    return KeyText(ini, section, *key) + " " + ExclusionReason(rule, p);
}

}  // namespace

bool ParseSystemFile(const std::string& text, SystemDescription& system, std::string& problem) {
    SystemFileReader reader(system);
    std::size_t start = 0;
    for (int line = 1; start <= text.size(); ++line) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string content = Trim(text.substr(start, end - start));
        start = end + 1;
        if (content.empty() || content[0] == '#') continue;
        const std::size_t equals = content.find('=');
        std::string trouble = equals == std::string::npos
                                  ? "no '=' in the line"
                                  : reader.Take(Lower(Trim(content.substr(0, equals))),
                                                Trim(content.substr(equals + 1)));
        if (!trouble.empty()) {
            problem = "line " + std::to_string(line) + ": " + trouble;
            return false;
        }
    }
    return true;
}

Explanation ExplainCatalog(const IniText& catalog, const SystemDescription& system) {
    Explanation result;
    // The probe last read is the one a successful probe answered for.
    std::string probe;
    const CatalogLookup read = IniLookup(catalog);
    const CatalogLookup lookup = [&](const std::string& section, const char* key, const char* missing) {
        const std::string value = read(section, key, missing);
        if (std::string(key).rfind(kKeyProbe.name, 0) == 0) probe = std::string(key) + "=" + Shown(value);
        return value;
    };
    const CatalogHeader header = ReadCatalogHeader(lookup);
    result.language = header.language;
    result.count = header.count;
    if (const IniKey* key = catalog.FindKey("INFO", kKeyLanguage.name)) result.languageLine = key->line;
    if (const IniKey* key = catalog.FindKey("INFO", kKeyCount.name)) result.countLine = key->line;
    result.languageMatches = CatalogLanguageMatches(result.language, system.profile.languageId);
    if (!result.languageMatches) return result;

    const InstalledNameIndex names(system.installedNames);
    std::vector<std::string> keys;
    for (const std::string& key : system.registryKeys) keys.push_back(LowerCaseAnsi(key));

    std::string why;  // the probe that found the entry being evaluated installed
    InstalledProbes probes;
    probes.registryKey = [&](RegistryRoot root, const std::string& subKey) {
        std::string wanted = LowerCaseAnsi(std::string(RootName(root)) + "\\" + subKey);
        while (!wanted.empty() && wanted.back() == '\\') wanted.pop_back();
        bool exists = subKey.empty();
        for (const std::string& key : keys)
            exists = exists || key == wanted || key.compare(0, wanted.size() + 1, wanted + "\\") == 0;
        if (exists) why = probe + ": the registry key exists";
        return exists;
    };
    probes.installedName = [&](const std::string& name) {
        const bool found = names.Contains(name);
        if (found) why = probe + ": an installed update's name holds it";
        return found;
    };
    EvaluateEntries(lookup, header.count, system.profile, probes,
                    [&](int number, bool listed, const UpdateItem& item, ExcludedBy rule) {
                        const std::string section = EntrySection(number);
                        EntryOutcome outcome;
                        outcome.number = number;
                        if (const IniSection* found = catalog.FindSection(section)) outcome.line = found->line;
                        outcome.listed = listed;
                        outcome.rule = rule;
                        outcome.title = read(section, kKeyTitle.name, kKeyTitle.missing);
                        outcome.installed = listed && item.installed;
                        if (!listed) outcome.why = WhyExcluded(rule, catalog, section, system.profile);
                        else if (outcome.installed) outcome.why = why;
                        why.clear();
                        result.entries.push_back(outcome);
                    });
    return result;
}

std::vector<std::string> FormatExplanation(const std::string& file, const Explanation& explanation,
                                           const SystemDescription& system) {
    std::vector<std::string> lines;
    const SystemProfile& p = system.profile;
    char language[8];
    std::snprintf(language, sizeof language, "0x%04X", p.languageId);
    const std::string fetched = std::to_string(p.osCode) + "_" + std::to_string(p.osBits) + "_" +
                                std::to_string(p.languageId & 0x3FF) + ".ini";
    lines.push_back(file + ": " + (system.name.empty() ? std::string("the system") : system.name) +
                    ": OS code " + std::to_string(p.osCode) + ", " + std::to_string(p.osBits) +
                    "-bit, service pack " + std::to_string(p.servicePack) + ", language " +
                    language + "; it fetches update/v2/" + fetched);

    const auto at = [&](int line) { return file + (line > 0 ? ":" + std::to_string(line) : ""); };
    const std::string primary = std::to_string(p.languageId & 0x3FF);
    if (!explanation.languageMatches) {
        lines.push_back(at(explanation.languageLine) + ": [INFO] nothing is listed: LANGUAGE " +
                        std::to_string(explanation.language) +
                        " is not the system's primary language " + primary +
                        ", so the program tells the user and lists nothing");
        return lines;
    }
    const int visited = EntriesToVisit(explanation.count);
    lines.push_back(at(explanation.countLine) + ": [INFO] LANGUAGE " + primary +
                    " is the system's; COUNT " + std::to_string(explanation.count) + ": " +
                    (visited == 0 ? std::string("no entry is evaluated")
                                  : "entries 1 to " + std::to_string(visited) + " are evaluated"));
    int listed = 0, installed = 0, excluded = 0;
    for (const EntryOutcome& e : explanation.entries) {
        const std::string title = e.title.empty() ? "(no title)" : Shown(e.title);
        std::string text = at(e.line) + ": [" + std::to_string(e.number) + "] ";
        if (!e.listed) {
            text += "not listed: " + title + ": " + e.why;
            ++excluded;
        } else if (e.installed) {
            text += "installed: " + title + " (" + e.why +
                    "); shown only while installed updates are shown";
            ++installed;
        } else {
            text += "listed: " + title + " (not installed, checked)";
            ++listed;
        }
        lines.push_back(text);
    }
    lines.push_back(file + ": " + std::to_string(listed) + " listed, " + std::to_string(installed) +
                    " installed, " + std::to_string(excluded) + " not listed");
    return lines;
}

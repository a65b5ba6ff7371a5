// The applicability rules for one catalog entry (see Applicability.h).
#include "core/Applicability.h"

#include <cstdio>
#include <cstring>

#include "core/SummaryLine.h"
#include "core/Text.h"

namespace {

// A service-pack list such as "1,3": any element equal to the system's
// service pack, or reading as 0 (a "0", an empty element, text), matches.
bool ServicePackListMatches(const std::string& value, int servicePack) {
    if (value == "-1") return true;
    char work[1024] = {};
    std::strncpy(work, value.c_str(), 1023);
    bool noMatch = true;
    char* current = work;
    for (char* next = SplitAtChar(current, ','); next; next = SplitAtChar(current, ',')) {
        int v = CatalogToInt(current);
        if (v == 0 || v == servicePack) noMatch = false;
        current = next;
    }
    int last = CatalogToInt(current);
    return !(last != 0 && last != servicePack && noMatch);
}

}  // namespace

char* SplitAtChar(char* text, char c) {
    char* at = std::strchr(text, c);
    if (!at || c == '\0') return nullptr;
    *at = '\0';
    return at + 1;
}

bool ParseRegistryProbe(const std::string& value, RegistryRoot& root, std::string& subKey) {
    static const struct {
        const char* name;
        RegistryRoot root;
    } roots[] = {{"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
                 {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
                 {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot}};
    for (const auto& r : roots) {
        size_t n = std::strlen(r.name);
        if (value.size() > n && value.compare(0, n, r.name) == 0) {
            root = r.root;
            // The character after the root name is the separator.
            subKey = value.substr(n + 1);
            return true;
        }
    }
    return false;
}

bool CatalogLanguageMatches(int catalogLanguage, unsigned short languageId) {
    return catalogLanguage == (languageId & 0x3FF);
}

std::string LanguageMismatchMessage(int catalogLanguage, unsigned short languageId) {
    return std::string("현재 운영체제(") + GetLanguageName(languageId) + ")에는 이 언어(" +
           GetLanguageName(catalogLanguage) + ")의 업데이트를 설치하실 수 없습니다";
}

namespace {

// The conditions, in the order they are decided. Each reads what it needs
// of the entry and returns the key that keeps the entry off the list, or
// None; its explanation for the catalog checker is in ExclusionReason.
struct ConditionRule {
    ExcludedBy (*check)(const EntryKeyLookup& key, const SystemProfile& p);
};

ExcludedBy When(bool excluded, ExcludedBy key) { return excluded ? key : ExcludedBy::None; }

const ConditionRule kConditions[] = {
    {[](const EntryKeyLookup& key, const SystemProfile&) {
         return When(EqualsIgnoringAsciiCase(ReadKey(key, kKeyEnable), "0"), ExcludedBy::Enable);
     }},
    {[](const EntryKeyLookup& key, const SystemProfile& p) {
         return When(CatalogToInt(ReadKey(key, kKeyIeVersion)) > p.ieVersion, ExcludedBy::IeVersion);
     }},
    {[](const EntryKeyLookup& key, const SystemProfile& p) {
         const int wmp = CatalogToInt(ReadKey(key, kKeyMediaPlayer));
         return When(wmp != 0 && wmp != p.wmpMajor, ExcludedBy::MediaPlayer);
     }},
    {[](const EntryKeyLookup& key, const SystemProfile& p) {
         return When(!ServicePackListMatches(ReadKey(key, kKeyServicePacks), p.servicePack),
                     ExcludedBy::ServicePacks);
     }},
    {[](const EntryKeyLookup& key, const SystemProfile& p) {
         return When(EqualsIgnoringAsciiCase(ReadKey(key, kKeyIis), "require") && p.iisVersion == -1,
                     ExcludedBy::Iis);
     }},
    {[](const EntryKeyLookup& key, const SystemProfile& p) {
         return When(EqualsIgnoringAsciiCase(ReadKey(key, kKeySnmp), "require") && p.snmpInstalled == 0,
                     ExcludedBy::Snmp);
     }},
    // DOTNETSPVER is read only beside a DOTNETVER that names a framework.
    {[](const EntryKeyLookup& key, const SystemProfile& p) {
         const std::string dotNet = ReadKey(key, kKeyDotNet);
         if (EqualsIgnoringAsciiCase(dotNet, "require"))
             return When(p.dotNetVersion == -1, ExcludedBy::DotNet);
         const int v = CatalogToInt(dotNet);
         if (v == -1) return ExcludedBy::None;
         if (v != p.dotNetVersion) return ExcludedBy::DotNet;
         const int sp = CatalogToInt(ReadKey(key, kKeyDotNetServicePack));
         return When(p.dotNetServicePack != -1 && p.dotNetServicePack != sp,
                     ExcludedBy::DotNetServicePack);
     }},
    {[](const EntryKeyLookup& key, const SystemProfile& p) {
         const int wmf = CatalogToInt(ReadKey(key, kKeyMediaFormat));
         return When(wmf != -1 && wmf != p.wmfMajor, ExcludedBy::MediaFormat);
     }},
};

}  // namespace

std::string ExclusionReason(ExcludedBy key, const SystemProfile& p) {
    switch (key) {
    case ExcludedBy::Enable: return "switches it off";
    case ExcludedBy::IeVersion:
        return "asks for Internet Explorer at least that; the system has " + std::to_string(p.ieVersion);
    case ExcludedBy::MediaPlayer:
        return "asks for that Windows Media Player; the system has " + std::to_string(p.wmpMajor);
    case ExcludedBy::ServicePacks:
        return "does not hold the system's service pack " + std::to_string(p.servicePack);
    case ExcludedBy::Iis: return "and the system has no IIS";
    case ExcludedBy::Snmp: return "and the system has no SNMP service";
    case ExcludedBy::DotNet:
        if (p.dotNetVersion == -1) return "and the system has no .NET Framework";
        return "is not the system's .NET Framework code, " + std::to_string(p.dotNetVersion);
    case ExcludedBy::DotNetServicePack:
        return "is not the system's .NET Framework service pack " + std::to_string(p.dotNetServicePack);
    case ExcludedBy::MediaFormat:
        return "asks for that Windows Media Format; the system has " + std::to_string(p.wmfMajor);
    case ExcludedBy::Type: return "is never listed";
    default: return std::string();
    }
}

bool EvaluateEntry(int number, const EntryKeyLookup& key, const SystemProfile& profile,
                   const InstalledProbes& probes, UpdateItem& item, ExcludedBy* excludedBy) {
    // Every road out of the rules says which rule it took.
    auto decided = [excludedBy](ExcludedBy rule) {
        if (excludedBy) *excludedBy = rule;
        return rule == ExcludedBy::None;
    };
    for (const ConditionRule& condition : kConditions) {
        const ExcludedBy rule = condition.check(key, profile);
        if (rule != ExcludedBy::None) return decided(rule);
    }

    item.number = number;
    item.title = ReadKey(key, kKeyTitle);
    item.installed = false;

    // Probes REGKEY, REGKEY2, REGKEY3, ... up to the first missing one.
    for (int k = 1;; ++k) {
        std::string value = key(ProbeKeyName(k).c_str(), kKeyProbe.missing);
        if (value.empty()) break;
        RegistryRoot root;
        std::string subKey;
        bool found = ParseRegistryProbe(value, root, subKey)
                         ? (probes.registryKey && probes.registryKey(root, subKey))
                         : (probes.installedName && probes.installedName(value));
        if (found) {
            item.installed = true;
            break;
        }
    }

    if (EqualsIgnoringAsciiCase(ReadKey(key, kKeyType), "APPLICATION")) return decided(ExcludedBy::Type);
    return decided(ExcludedBy::None);
}

CatalogHeader ReadCatalogHeader(const CatalogLookup& lookup) {
    CatalogHeader header;
    header.count = CatalogToInt(lookup("INFO", kKeyCount.name, kKeyCount.missing));
    header.language = CatalogToInt(lookup("INFO", kKeyLanguage.name, kKeyLanguage.missing));
    return header;
}

void EvaluateEntries(const CatalogLookup& lookup, int count, const SystemProfile& profile,
                     const InstalledProbes& probes, const EntryVisitor& visit) {
    const int visited = EntriesToVisit(count);
    for (int number = 1; number <= visited; ++number) {
        const std::string section = EntrySection(number);
        const EntryKeyLookup key = [&lookup, &section](const char* name, const char* missing) {
            return lookup(section, name, missing);
        };
        UpdateItem item;
        ExcludedBy rule = ExcludedBy::None;
        const bool listed = EvaluateEntry(number, key, profile, probes, item, &rule);
        if (visit) visit(number, listed, item, rule);
    }
}

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

bool EvaluateEntry(int number, const EntryKeyLookup& key, const SystemProfile& profile,
                   const InstalledProbes& probes, UpdateItem& item, ExcludedBy* excludedBy) {
    // Every road out of the rules says which rule it took.
    auto decided = [excludedBy](ExcludedBy rule) {
        if (excludedBy) *excludedBy = rule;
        return rule == ExcludedBy::Nothing;
    };
    if (EqualsIgnoringAsciiCase(ReadKey(key, kKeyEnable), "0")) return decided(ExcludedBy::Enable);
    if (CatalogToInt(ReadKey(key, kKeyIeVersion)) > profile.ieVersion)
        return decided(ExcludedBy::IeVersion);

    int wmp = CatalogToInt(ReadKey(key, kKeyMediaPlayer));
    if (wmp != 0 && wmp != profile.wmpMajor) return decided(ExcludedBy::MediaPlayer);

    if (!ServicePackListMatches(ReadKey(key, kKeyServicePacks), profile.servicePack))
        return decided(ExcludedBy::ServicePacks);

    if (EqualsIgnoringAsciiCase(ReadKey(key, kKeyIis), "require") && profile.iisVersion == -1)
        return decided(ExcludedBy::Iis);
    if (EqualsIgnoringAsciiCase(ReadKey(key, kKeySnmp), "require") && profile.snmpInstalled == 0)
        return decided(ExcludedBy::Snmp);

    std::string dotNet = ReadKey(key, kKeyDotNet);
    if (EqualsIgnoringAsciiCase(dotNet, "require")) {
        if (profile.dotNetVersion == -1) return decided(ExcludedBy::DotNet);
    } else {
        int v = CatalogToInt(dotNet);
        if (v != -1) {
            if (v != profile.dotNetVersion) return decided(ExcludedBy::DotNet);
            int sp = CatalogToInt(ReadKey(key, kKeyDotNetServicePack));
            if (profile.dotNetServicePack != -1 && profile.dotNetServicePack != sp)
                return decided(ExcludedBy::DotNetServicePack);
        }
    }

    int wmf = CatalogToInt(ReadKey(key, kKeyMediaFormat));
    if (wmf != -1 && wmf != profile.wmfMajor) return decided(ExcludedBy::MediaFormat);

    item.number = number;
    item.title = ReadKey(key, kKeyTitle);
    item.installed = false;

    // Probes REGKEY, REGKEY2, REGKEY3, ... up to the first missing one.
    for (int k = 1;; ++k) {
        std::string name = kKeyProbe.name;
        if (k > 1) name += std::to_string(k);
        std::string value = key(name.c_str(), kKeyProbe.missing);
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

    if (EqualsIgnoringAsciiCase(ReadKey(key, kKeyType), "APPLICATION"))
        return decided(ExcludedBy::Application);
    return decided(ExcludedBy::Nothing);
}

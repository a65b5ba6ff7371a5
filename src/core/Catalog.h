// Portable rules of the catalog file: the keys the program reads, with the
// value each takes when it is missing, and how many entries an evaluation
// visits. A new key is added here and read where it is used; nothing else
// names catalog keys.
#pragma once
#include <functional>
#include <string>

struct CatalogKey {
    const char* name;
    const char* missing;  // the value when the key (or its section, or the file) is absent
};

// [INFO]
constexpr CatalogKey kKeyCount{"COUNT", "0"};
constexpr CatalogKey kKeyLanguage{"LANGUAGE", "0"};
// [number]: the conditions, in the order they are decided,
constexpr CatalogKey kKeyEnable{"ENABLE", "1"};
constexpr CatalogKey kKeyIeVersion{"IEVER", "6"};
constexpr CatalogKey kKeyMediaPlayer{"WMPVER", "0"};
constexpr CatalogKey kKeyServicePacks{"SPVER", "-1"};
constexpr CatalogKey kKeyIis{"IISVER", "notrequire"};
constexpr CatalogKey kKeySnmp{"SNMPVER", "notrequire"};
constexpr CatalogKey kKeyDotNet{"DOTNETVER", "-1"};
constexpr CatalogKey kKeyDotNetServicePack{"DOTNETSPVER", "-1"};
constexpr CatalogKey kKeyMediaFormat{"WMFVER", "-1"};
// the listing and the installed-ness probes (REGKEY, then REGKEY2, REGKEY3 ...),
constexpr CatalogKey kKeyTitle{"TITLE", ""};
constexpr CatalogKey kKeyProbe{"REGKEY", ""};
constexpr CatalogKey kKeyType{"TYPE", "PATCH"};
// what a run needs,
constexpr CatalogKey kKeyUrl{"URL", ""};
constexpr CatalogKey kKeyFileName{"FILENAME", ""};
constexpr CatalogKey kKeyCmdLine{"CMDLINE", ""};
constexpr CatalogKey kKeySha256{"SHA256", ""};
// and the item menu.
constexpr CatalogKey kKeyDescription{"DESCRIPTION", ""};
constexpr CatalogKey kKeyArticle{"ARTICLE", ""};

// Looks up one key of one entry, giving `missing` when it is absent. The
// catalog is read afresh at every lookup: nothing is cached.
using EntryKeyLookup = std::function<std::string(const char* key, const char* missing)>;
inline std::string ReadKey(const EntryKeyLookup& lookup, const CatalogKey& key) {
    return lookup(key.name, key.missing);
}

// What the start command hands the run window for one checked entry.
struct RunEntry {
    std::string title;
    std::string fileName;  // as the catalog says; confined to UPDATES by the caller
    std::string url;
    std::string cmdLine;
    std::string sha256;
};
inline RunEntry ReadRunEntry(const EntryKeyLookup& lookup) {
    return RunEntry{ReadKey(lookup, kKeyTitle), ReadKey(lookup, kKeyFileName),
                    ReadKey(lookup, kKeyUrl), ReadKey(lookup, kKeyCmdLine),
                    ReadKey(lookup, kKeySha256)};
}

// The evaluation visits entries 1 to COUNT, and never more than this many:
// a catalog that claims two billion entries must not hold the window back.
constexpr int kCatalogEntryLimit = 10000;

// The number of entries to visit for the COUNT value `count`: 0 for none or
// a negative value, at most kCatalogEntryLimit.
inline int EntriesToVisit(int count) {
    return count < 0 ? 0 : count > kCatalogEntryLimit ? kCatalogEntryLimit : count;
}

// The catalog as the program reads it: every key (core/CatalogKeys.def),
// with the section it belongs to, the value it takes when missing, the kind
// of value, its role and the readers that read it, whose buffer sizes are
// fixed here too; and how many entries an evaluation visits. Nothing else
// names catalog keys.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

enum class CatalogSection { Info, Entry };

// How a value is read.
enum class CatalogValueKind {
    Number,        // the text-to-integer conversion (CatalogToInt)
    Enable,        // "0" switches the entry off, anything else leaves it on
    Type,          // "APPLICATION" (any case) is never listed
    Require,       // "require" (any case) sets the condition, anything else none
    DotNet,        // "require", or a .NET Framework code
    ServicePacks,  // "-1", or a comma-separated list of service packs
    Probe,         // a registry key path or an installed-update name (REGKEY, REGKEY2, ...)
    FileName,      // a file name inside UPDATES
    Digest,        // 64 hexadecimal digits
    Text,          // shown or used as it stands
};

enum class CatalogRole { Info, Condition, Listing, Run, Details };

// The program's readers of the catalog, each with its buffer: list filling
// and the start of a run read into 1024 bytes (at most 1023 characters);
// the catalog retrieval and the details readers pass 1023 (at most 1022).
enum CatalogReader : unsigned {
    kListFilling = 1,
    kRunStart = 2,
    kRetrieval = 4,
    kDetails = 8,
};
constexpr std::size_t kCatalogListBuffer = 1024;
constexpr std::size_t kCatalogDetailsBuffer = 1023;
constexpr std::size_t CatalogReaderBuffer(CatalogReader reader) {
    return reader == kRetrieval || reader == kDetails ? kCatalogDetailsBuffer : kCatalogListBuffer;
}

enum class CatalogKeyId {
    None,  // no key: an entry no rule kept off the list
#define CATALOG_KEY(id, name, section, missing, kind, role, readers) id,
#include "core/CatalogKeys.def"
#undef CATALOG_KEY
};

struct CatalogKey {
    CatalogKeyId id;
    const char* name;
    CatalogSection section;
    const char* missing;  // the value when the key (or its section, or the file) is absent
    CatalogValueKind kind;
    CatalogRole role;
    unsigned readers;  // CatalogReader bits

    // The smallest buffer any of its readers passes.
    constexpr std::size_t Buffer() const {
        return (readers & (kRetrieval | kDetails)) ? kCatalogDetailsBuffer : kCatalogListBuffer;
    }
};

#define CATALOG_KEY(id, name, section, missing, kind, role, readers)                        \
    constexpr CatalogKey kKey##id{CatalogKeyId::id,       name, CatalogSection::section, \
                                  missing, CatalogValueKind::kind, CatalogRole::role, readers};
#include "core/CatalogKeys.def"
#undef CATALOG_KEY

// Every key, in the order of the table: the conditions in the order they
// are decided.
constexpr CatalogKey kCatalogKeys[] = {
#define CATALOG_KEY(id, name, section, missing, kind, role, readers) kKey##id,
#include "core/CatalogKeys.def"
#undef CATALOG_KEY
};

// The key `id` names; null for CatalogKeyId::None.
const CatalogKey* FindCatalogKey(CatalogKeyId id);

// Looks up one key of one entry, giving `missing` when it is absent. The
// catalog is read afresh at every lookup: nothing is cached.
using EntryKeyLookup = std::function<std::string(const char* key, const char* missing)>;
inline std::string ReadKey(const EntryKeyLookup& lookup, const CatalogKey& key) {
    return lookup(key.name, key.missing);
}
// Looks up a key of any section, the same way.
using CatalogLookup =
    std::function<std::string(const std::string& section, const char* key, const char* missing)>;

// The name of probe `k` (1, 2, 3, ...): REGKEY, REGKEY2, REGKEY3, ...
std::string ProbeKeyName(int k);

// What the start command hands the run for one checked entry.
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

// The section name of catalog entry `number` ("%d").
std::string EntrySection(int number);

// The evaluation visits entries 1 to COUNT, and never more than this many:
// a catalog that claims two billion entries must not hold the window back.
constexpr int kCatalogEntryLimit = 10000;

// The number of entries to visit for the COUNT value `count`: 0 for none or
// a negative value, at most kCatalogEntryLimit.
inline int EntriesToVisit(int count) {
    return count < 0 ? 0 : count > kCatalogEntryLimit ? kCatalogEntryLimit : count;
}

// The catalog's keys (see CatalogModel.h).
#include "core/CatalogModel.h"

const CatalogKey* FindCatalogKey(CatalogKeyId id) {
    for (const CatalogKey& key : kCatalogKeys)
        if (key.id == id) return &key;
    return nullptr;
}

std::string ProbeKeyName(int k) {
    return k > 1 ? std::string(kKeyProbe.name) + std::to_string(k) : std::string(kKeyProbe.name);
}

std::string EntrySection(int number) { return std::to_string(number); }

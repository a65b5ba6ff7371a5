// The catalog read as the program reads it, for the checker's commands: the
// buffer sizes of the program's readers and an entry's key lookup over an
// IniText.
#pragma once
#include <cstddef>
#include <string>

#include "core/CatalogModel.h"
#include "core/IniText.h"

// The buffers of the program's readers (core/CatalogModel.h): list filling
// and the start of a run read every value into 1024 bytes; the details
// window and catalog retrieval pass 1023.
constexpr std::size_t kListBuffer = kCatalogListBuffer;
constexpr std::size_t kDetailsBuffer = kCatalogDetailsBuffer;

// The catalog `ini` as `reader` looks its keys up.
inline CatalogLookup IniLookup(const IniText& ini, CatalogReader reader = kListFilling) {
    const std::size_t size = CatalogReaderBuffer(reader);
    return [&ini, size](const std::string& section, const char* key, const char* missing) {
        return ini.Read(section, key, missing, size);
    };
}

// True when `name` is a section name the program forms for an entry ("%d"
// of 1 or more), with that number in `number`.
inline bool IsEntryNumber(const std::string& name, int& number) {
    if (name.empty() || name.size() > 10 || name[0] < '1' || name[0] > '9') return false;
    long long value = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value > 2147483647LL) return false;
    number = static_cast<int>(value);
    return true;
}

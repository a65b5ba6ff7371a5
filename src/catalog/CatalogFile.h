// Reading the update catalog: an INI file beside the program, in CP949,
// read value by value through the Windows profile-string reader. Nothing is
// cached, so a catalog replaced on disk takes effect at the next read.
//
// Layer: catalog/ may use net (the download), trust, registry, win and core; no window code.
#pragma once
#include <windows.h>

#include <string>

#include "core/CatalogModel.h"
#include "core/Text.h"  // CatalogToInt

// One value of the catalog at `path`, with `defaultValue` when the file,
// the section or the key is missing, cut to size - 1 characters. Section
// and key names match in any letter case; surrounding blanks and one pair of
// quotation marks are removed by the reader.
std::string ReadCatalogValue(const std::string& path, const std::string& section,
                             const char* key, const char* defaultValue,
                             std::size_t size = kCatalogListBuffer);
// One of the program's keys, as `reader` reads it: with its missing value,
// into that reader's buffer.
inline std::string ReadCatalogValue(const std::string& path, const std::string& section,
                                    const CatalogKey& key, CatalogReader reader = kListFilling) {
    return ReadCatalogValue(path, section, key.name, key.missing, CatalogReaderBuffer(reader));
}

// Every key of the catalog at `path` as `reader` reads it, for the rules in
// core/ that look keys up by section.
CatalogLookup CatalogFileLookup(const std::string& path, CatalogReader reader = kListFilling);

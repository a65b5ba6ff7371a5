// Reading the update catalog: an INI file beside the program, in CP949,
// read value by value through the Windows profile-string reader. Nothing is
// cached, so a catalog replaced on disk takes effect at the next read.
//
// Layer: catalog/ may use net (the download), trust, registry and core; no window code.
#pragma once
#include <windows.h>

#include <string>

#include "core/Catalog.h"
#include "core/Text.h"  // CatalogToInt

// Buffer sizes of the readers. List filling and the start of a run use a
// 1024-byte buffer (at most 1023 characters); catalog retrieval and the
// details readers pass 1023 (at most 1022 characters).
constexpr DWORD kCatalogListBuffer = 1024;
constexpr DWORD kCatalogDetailsBuffer = 1023;

// The section name of catalog entry `number` ("%d").
std::string EntrySection(int number);

// One value of the catalog at `path`, with `defaultValue` when the file,
// the section or the key is missing, cut to size - 1 characters. Section
// and key names match in any letter case; surrounding blanks and one pair of
// quotation marks are removed by the reader.
std::string ReadCatalogValue(const std::string& path, const std::string& section,
                             const char* key, const char* defaultValue,
                             DWORD size = kCatalogListBuffer);
// The same for one of the program's keys, with the value it takes when missing.
inline std::string ReadCatalogValue(const std::string& path, const std::string& section,
                                    const CatalogKey& key, DWORD size = kCatalogListBuffer) {
    return ReadCatalogValue(path, section, key.name, key.missing, size);
}

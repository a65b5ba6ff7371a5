// Reading the update catalog: an INI file beside the program, in CP949,
// read value by value through the Windows profile-string reader. Nothing is
// cached, so a catalog replaced on disk takes effect at the next read.
#pragma once
#include <windows.h>

#include <string>

// Buffer sizes of the readers. List filling and the start of a run use a
// 1024-byte buffer (at most 1023 characters); catalog retrieval and the
// details readers pass 1023 (at most 1022 characters).
constexpr DWORD kCatalogListBuffer = 1024;
constexpr DWORD kCatalogDetailsBuffer = 1023;

// The catalog beside the program: g_strProgramDir followed by "\\quellfix.ini".
std::string CatalogPath();

// The section name of catalog entry `number` ("%d").
std::string EntrySection(int number);

// One value of the catalog at `path`, with `defaultValue` when the file,
// the section or the key is missing, cut to size - 1 characters. Section
// and key names match in any letter case; surrounding blanks and one pair of
// quotation marks are removed by the reader.
std::string ReadCatalogValue(const std::string& path, const std::string& section,
                             const char* key, const char* defaultValue,
                             DWORD size = kCatalogListBuffer);

// The standard text-to-integer conversion: leading blanks skipped, an
// optional sign, decimal digits up to the first other character; no digits
// give 0. Values beyond the range of int are clamped.
int CatalogToInt(const std::string& text);

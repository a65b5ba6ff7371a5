// Fetching this system's catalog from the update server at start-up.
#pragma once
#include <string>

#include "core/SystemProfile.h"

// "%d_%d_%d.ini" of the OS code, the bit width and the primary language.
std::string CatalogFileName(const SystemProfile& profile);

// Downloads the catalog for `profile` from `serverBase` ("http://.../")
// into `path` + ".new" and, when it carries INFO/LANGUAGE with any value but
// "ERROR", copies it over `path`. Non-zero when the catalog was put in place;
// 0 leaves the catalog at `path` untouched.
int RetrieveCatalog(const std::string& path, const SystemProfile& profile,
                    const std::string& serverBase);

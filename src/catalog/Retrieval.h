// Fetching this system's catalog at start-up, from the update server or a
// repository folder that stands in for it.
#pragma once
#include <string>

#include "core/FetchFailure.h"
#include "core/SystemProfile.h"
#include "net/Source.h"

// "%d_%d_%d.ini" of the OS code, the bit width and the primary language.
std::string CatalogFileName(const SystemProfile& profile);

// Fetches the catalog for `profile` ("update/v2/" and its name) from
// `source` into `path` + ".new" and, when it carries INFO/LANGUAGE with any
// value but "ERROR" (and, in a signed build, the trust key's signature),
// copies it over `path`. Non-zero when the catalog was put in place; 0
// leaves the catalog at `path` untouched, with the cause in `why` when
// given.
int RetrieveCatalog(const std::string& path, const SystemProfile& profile, FileSource& source,
                    FetchFailure* why = nullptr);
// The same from the update server at `serverBase` ("http://.../").
int RetrieveCatalog(const std::string& path, const SystemProfile& profile,
                    const std::string& serverBase);

// The check of one catalog: everything in it that the program reads
// otherwise than its author most likely meant, found by reading the file as
// the program's profile reader reads it (IniText) and deciding with the
// program's own rules (core/CatalogModel.h, core/Applicability.h, core/UpdateFiles.h).
#pragma once
#include <string>
#include <vector>

#include "checker/Findings.h"

class Openssl;

struct CheckOptions {
    std::string tree;    // the served tree (the folder that holds update/); empty: URLs not followed
    std::string base;    // the address the tree is served at; empty: each URL's path below its host
    std::string pubkey;  // the public key a signed build trusts; empty: no signature checks
};

struct CatalogReport {
    std::vector<Finding> findings;  // by line
    std::string toolProblem;        // not empty when openssl could not do its part
};

// The folder a typical installation downloads into; its length decides how
// long a FILENAME may be.
extern const char kTypicalUpdatesFolder[];

// Checks the catalog `bytes` read from `path` (whose name, O_B_L.ini, tells
// the language the catalog must be for).
CatalogReport CheckCatalog(const std::string& path, const std::string& bytes,
                           const CheckOptions& options, Openssl& openssl);

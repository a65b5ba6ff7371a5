// Catalog retrieval (see Retrieval.h).
#include "catalog/Retrieval.h"

#include <windows.h>

#include <cstdio>

#include "catalog/CatalogFile.h"
#include "net/FetchVerified.h"
#include "trust/Verify.h"

std::string CatalogFileName(const SystemProfile& profile) {
    char name[64];
    std::snprintf(name, sizeof name, "%d_%d_%d.ini", profile.osCode, profile.osBits,
                  profile.languageId & 0x3FF);
    return name;
}

int RetrieveCatalog(const std::string& path, const SystemProfile& profile, FileSource& source,
                    FetchFailure* why) {
    FetchFailure ignored;
    FetchFailure& failure = why ? *why : ignored;
    failure = FetchFailure();
    const std::string temporary = path + ".new";
    const Resource catalog = source.ServerFile("update/v2/" + CatalogFileName(profile));
    // A signed build takes only the bytes its key signed: the file is held
    // against writers from the check until it has been copied. The file
    // fetched stays as ".new" whatever comes of it.
    const VerifyRule rule = SignedBuild() ? VerifyRule::Signed() : VerifyRule();
    const TransferResult fetched = source.Fetch(catalog, temporary, TransferProgress());

    // Only a file that looks like a catalog replaces the one in use.
    const std::string language =
        ReadCatalogValue(temporary, "INFO", kKeyLanguage.name, "ERROR", CatalogReaderBuffer(kRetrieval));
    if (fetched.failure.Failed()) {
        failure = fetched.failure;
        return 0;
    }
    if (::lstrcmpiA(language.c_str(), "ERROR") == 0) {
        failure.cause = FetchCause::NotACatalog;
        failure.where = catalog.url.empty() ? catalog.repositoryPath : catalog.url;
        return 0;
    }
    const FetchedFile verified = VerifyInPlace(source, catalog, temporary, rule, false);
    if (!verified.Ok()) {
        failure = verified.failure;
        return 0;
    }
    // A catalog that cannot be put in place is a failed retrieval too: the
    // old one would otherwise be shown as if it were fresh.
    if (!::CopyFileA(temporary.c_str(), path.c_str(), FALSE)) {
        failure = FailureOf(FetchCause::DiskWrite, ::GetLastError(), path);
        return 0;
    }
    return 1;
}

int RetrieveCatalog(const std::string& path, const SystemProfile& profile,
                    const std::string& serverBase) {
    ServerSource server(serverBase);
    return RetrieveCatalog(path, profile, server);
}

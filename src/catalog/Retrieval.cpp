// Catalog retrieval (see Retrieval.h).
#include "catalog/Retrieval.h"

#include <windows.h>

#include <cstdio>

#include "catalog/CatalogFile.h"
#include "net/Download.h"
#include "win/Handle.h"
#include "trust/Verify.h"

std::string CatalogFileName(const SystemProfile& profile) {
    char name[64];
    std::snprintf(name, sizeof name, "%d_%d_%d.ini", profile.osCode, profile.osBits,
                  profile.languageId & 0x3FF);
    return name;
}

int RetrieveCatalog(const std::string& path, const SystemProfile& profile,
                    const std::string& serverBase) {
    const std::string temporary = path + ".new";
    const std::string url = serverBase + "update/v2/" + CatalogFileName(profile);
    int result = DownloadFile(url, temporary, nullptr);

    // Only a file that looks like a catalog replaces the one in use.
    std::string language = ReadCatalogValue(temporary, "INFO", kKeyLanguage.name, "ERROR",
                                            CatalogReaderBuffer(kRetrieval));
    if (::lstrcmpiA(language.c_str(), "ERROR") == 0) return 0;
    if (result == 0) return 0;
    // A signed build takes only the bytes its key signed: the file is held
    // against writers from the check until it has been copied.
    KernelHandle held;
    if (SignedBuild()) {
        const std::string signature = temporary + ".sig";
        const bool fetched = DownloadFile(url + ".sig", signature, nullptr) == 1;
        held.Reset(OpenDenyingWriters(temporary));
        const bool verified = fetched && FileIsSigned(held.Get(), signature);
        ::DeleteFileA(signature.c_str());
        if (!verified) return 0;
    }
    // A catalog that cannot be put in place is a failed retrieval too: the
    // old one would otherwise be shown as if it were fresh.
    if (!::CopyFileA(temporary.c_str(), path.c_str(), FALSE)) return 0;
    return result;
}

// Fuzzes the number readers with catalog, server and version-resource text:
// no input may crash them, and each result stays in its range.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/CatalogModel.h"
#include "core/Text.h"
#include "core/VersionText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int count = CatalogToInt(text);
    const int visited = EntriesToVisit(count);
    if (visited < 0 || visited > kCatalogEntryLimit) std::abort();
    if (ParseContentLength(text.c_str()) < 0) std::abort();
    VersionNumber(text);
    if (LeadingDecimal(text) < 0 || ServicePackFromCsd(text) < 0) std::abort();
    const DottedVersion version = ParseDottedVersion(text);
    for (int part : version.part)
        if (part < 0) std::abort();
    IsVersionAtLeast(version, 6, 0, 2900, 0);
    NumberAfterLastComma(text);
    MajorFromDottedText(text);
    return 0;
}

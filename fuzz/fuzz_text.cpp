// Fuzzes the number readers with catalog, server and version-resource text,
// and the readers of the files runs leave in UPDATES (journal, install
// history, restart chain state) and of a server's Content-Range: no input
// may crash them, and each result stays in its range.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/CatalogModel.h"
#include "core/HttpRange.h"
#include "core/InstallHistory.h"
#include "core/RestartChain.h"
#include "core/RunJournal.h"
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

    for (const JournalStart& start : UnfinishedInstalls(text))
        if (start.entry <= 0 || start.attempt <= 0) std::abort();
    // The history written back reads as itself.
    const InstallHistory history = InstallHistory::Parse(text);
    if (InstallHistory::Parse(history.Text()).Text() != history.Text()) std::abort();
    const int round = ParseChainState(text);
    if (round < 0 || round > kRestartChainRounds) std::abort();
    if (ContentRangeMatches(text, 0, 0)) std::abort();
    ContentRangeMatches(text, 100, 1000);
    return 0;
}

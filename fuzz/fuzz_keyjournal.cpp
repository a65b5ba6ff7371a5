// Fuzzes the key journal's reader with any file contents: every entry it
// returns is one the writer could have written, writing the entries and
// reading them again gives them back unchanged, and removing a record
// removes exactly one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/KeyJournal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<KeyJournalEntry> entries = ParseKeyJournal(text);
    for (const KeyJournalEntry& entry : entries)
        if (!CanJournalKey(entry)) std::abort();
    const std::string written = FormatKeyJournal(entries);
    if (ParseKeyJournal(written) != entries) std::abort();
    // A file the program wrote itself reads back as it is.
    if (FormatKeyJournal(ParseKeyJournal(written)) != written) std::abort();
    if (!entries.empty()) {
        const std::size_t before = entries.size();
        const KeyJournalEntry last = entries.back();
        if (!RemoveKeyJournalEntry(entries, last) || entries.size() != before - 1) std::abort();
    }
    return 0;
}

// The key journal's text (see KeyJournal.h).
#include "core/KeyJournal.h"

#include <algorithm>

#include "core/RunLog.h"
#include "core/Text.h"

namespace {

// The run log's line for each key given back.
const char kKeyRestored[] = "레지스트리 키의 접근 권한을 되돌렸습니다: ";

const char* const kRoots[] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT",
                              "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
const char kSeparator = '\t';

bool HasControlByte(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

// One line without its line end, read as an entry.
bool ParseLine(const std::string& line, KeyJournalEntry& entry) {
    const std::size_t first = line.find(kSeparator);
    if (first == std::string::npos) return false;
    const std::size_t second = line.find(kSeparator, first + 1);
    if (second == std::string::npos) return false;
    const std::size_t third = line.find(kSeparator, second + 1);
    if (third == std::string::npos) return false;
    // A descriptor too long for any DACL is refused before it is decoded.
    if (third - second - 1 > 2 * kKeyJournalMaxSecurity) return false;
    entry.computer = line.substr(0, first);
    entry.root = line.substr(first + 1, second - first - 1);
    entry.path = line.substr(third + 1);
    return DecodeHex(line.substr(second + 1, third - second - 1), entry.security) &&
           CanJournalKey(entry);
}

}  // namespace

bool IsKeyJournalRoot(const std::string& name) {
    for (const char* root : kRoots)
        if (name == root) return true;
    return false;
}

bool CanJournalKey(const KeyJournalEntry& entry) {
    return IsKeyJournalRoot(entry.root) && !entry.path.empty() && !HasControlByte(entry.path) &&
           !HasControlByte(entry.computer) && entry.security.size() >= kKeyJournalMinSecurity &&
           entry.security.size() <= kKeyJournalMaxSecurity;
}

std::string FormatKeyJournal(const std::vector<KeyJournalEntry>& entries) {
    std::string text;
    for (const KeyJournalEntry& entry : entries) {
        if (!CanJournalKey(entry)) continue;
        text += entry.computer + kSeparator + entry.root + kSeparator;
        text += HexText(reinterpret_cast<const unsigned char*>(entry.security.data()), entry.security.size(), true);
        text += kSeparator + entry.path + "\r\n";
    }
    return text;
}

std::vector<KeyJournalEntry> ParseKeyJournal(const std::string& text) {
    std::vector<KeyJournalEntry> entries;
    std::size_t start = 0;
    // Only lines with their line end count: what follows the last one is a
    // line whose write did not finish.
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        std::size_t length = end - start;
        if (length > 0 && text[end - 1] == '\r') --length;
        KeyJournalEntry entry;
        if (ParseLine(text.substr(start, length), entry)) entries.push_back(std::move(entry));
    }
    return entries;
}

bool RemoveKeyJournalEntry(std::vector<KeyJournalEntry>& entries, const KeyJournalEntry& entry) {
    for (std::size_t i = entries.size(); i-- > 0;) {
        if (entries[i] == entry) {
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

std::string KeyJournalKeyName(const KeyJournalEntry& entry) { return entry.root + "\\" + entry.path; }

std::string KeyRestoreLogEntry(const std::string& header, const std::vector<std::string>& restoredKeys) {
    std::vector<std::string> lines;
    for (const std::string& key : restoredKeys) {
        const std::string line = kKeyRestored + key;
        if (std::find(lines.begin(), lines.end(), line) == lines.end()) lines.push_back(line);
    }
    return RunLogEntry(header, std::string(), lines, kExitDone);
}

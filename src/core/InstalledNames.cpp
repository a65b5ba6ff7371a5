// The installed-name rule (see InstalledNames.h).
#include "core/InstalledNames.h"

#include "core/Text.h"

namespace {

constexpr size_t kQfeEntryLength = 6;

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }


}  // namespace

std::string LowerCaseAnsi(const std::string& text) {
    std::string lower = text;
    for (size_t i = 0; i < lower.size(); ++i) {
        if (IsCp949LeadByte(lower[i]) && i + 1 < lower.size()) {
            ++i;  // the trail byte may look like a capital letter; it is not one
            continue;
        }
        lower[i] = AsciiLower(lower[i]);
    }
    return lower;
}

bool ContainsAnsi(const std::string& text, const std::string& part) {
    if (part.size() > text.size()) return false;
    // Only character boundaries count as places to start: a match that
    // begins on the second byte of a double-byte character is none.
    for (size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (text.compare(i, part.size(), part) == 0) return true;
        if (IsCp949LeadByte(text[i]) && i + 1 < text.size()) ++i;
    }
    return false;
}

InstalledNameIndex::InstalledNameIndex(const std::vector<std::string>& names) {
    m_lowered.reserve(names.size());
    for (const std::string& name : names) m_lowered.push_back(LowerCaseAnsi(name));
}

bool InstalledNameIndex::Contains(const std::string& identifier) const {
    const std::string wanted = LowerCaseAnsi(identifier);
    for (const std::string& entry : m_lowered) {
        if (ContainsAnsi(entry, wanted)) return true;
    }
    return false;
}

bool IsNameInstalled(const std::vector<std::string>& list, const std::string& identifier) {
    return InstalledNameIndex(list).Contains(identifier);
}

std::string QfeEntryName(const std::string& fileName) {
    std::string name = fileName;
    if (name.size() >= 2 && AsciiLower(name[0]) == 'k' && AsciiLower(name[1]) == 'b') name.erase(0, 2);
    return name.substr(0, kQfeEntryLength);
}

bool IsFilelistKey(const std::string& name) { return EqualsIgnoringAsciiCase(name, "Filelist"); }

// The profile reader's view of an INI text (see IniText.h).
#include "core/IniText.h"

#include "core/InstalledNames.h"  // IsCp949LeadByte, LowerCaseAnsi

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

std::string Trimmed(const std::string& text, std::size_t begin, std::size_t end) {
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}
std::string Trimmed(const std::string& text) { return Trimmed(text, 0, text.size()); }

// Names and values end at a NUL byte, as C strings do.
std::string UpToNul(std::string text) {
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.erase(nul);
    return text;
}

// The names a caller passes lose their surrounding spaces (spaces only).
std::string LookupName(const std::string& name) {
    std::size_t begin = 0, end = name.size();
    while (begin < end && name[begin] == ' ') ++begin;
    while (end > begin && name[end - 1] == ' ') --end;
    return name.substr(begin, end - begin);
}

// `text` cut to at most `limit` bytes without splitting a double-byte character.
std::string CutAtCharacter(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t at = 0;
    while (at < limit) {
        const std::size_t width = IsCp949LeadByte(text[at]) && at + 1 < text.size() ? 2 : 1;
        if (at + width > limit) break;
        at += width;
    }
    return text.substr(0, at);
}

}  // namespace

bool SameProfileName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && LowerCaseAnsi(a) == LowerCaseAnsi(b);
}

std::string ProfileValue(const std::string& value, std::size_t size) {
    if (size == 0) return std::string();
    std::string text = value;
    if (text.size() >= 2 && (text[0] == '"' || text[0] == '\'') && text.back() == text[0])
        text = text.substr(1, text.size() - 2);
    return CutAtCharacter(text, size - 1);
}

IniText::IniText(const std::string& bytes) {
    IniSection* current = nullptr;
    int line = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        ++line;
        std::size_t end = at;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
        const std::string text = Trimmed(bytes, at, end);
        // CR LF is one line end; a lone CR or LF is one too.
        at = end;
        if (at < bytes.size() && bytes[at] == '\r') ++at;
        if (at < bytes.size() && bytes[at] == '\n' && (at == end || bytes[at - 1] == '\r')) ++at;

        if (text.empty() || text[0] == ';') continue;
        if (text[0] == '[') {
            const std::size_t close = text.find(']');
            IniSection section;
            const std::size_t nameEnd = close == std::string::npos ? text.size() : close;
            section.name = Trimmed(UpToNul(text.substr(1, nameEnd - 1)));
            section.line = line;
            section.closed = close != std::string::npos;
            section.padded = nameEnd > 1 && (IsBlank(text[1]) || IsBlank(text[nameEnd - 1]));
            m_sections.push_back(std::move(section));
            current = &m_sections.back();
            continue;
        }
        const std::size_t equals = text.find('=');
        if (!current || equals == std::string::npos) {
            m_ignored.push_back(IniIgnoredLine{text, line, current == nullptr});
            continue;
        }
        IniKey key;
        key.name = Trimmed(UpToNul(text.substr(0, equals)));
        key.value = Trimmed(UpToNul(text.substr(equals + 1)));
        key.line = line;
        current->keys.push_back(std::move(key));
    }

    m_keyIndex.resize(m_sections.size());
    for (std::size_t i = 0; i < m_sections.size(); ++i) {
        m_sectionIndex.emplace(LowerCaseAnsi(m_sections[i].name), i);
        const std::vector<IniKey>& keys = m_sections[i].keys;
        for (std::size_t k = 0; k < keys.size(); ++k)
            m_keyIndex[i].emplace(LowerCaseAnsi(keys[k].name), k);
    }
}

const IniSection* IniText::FindSection(const std::string& name) const {
    const auto found = m_sectionIndex.find(LowerCaseAnsi(LookupName(name)));
    return found == m_sectionIndex.end() ? nullptr : &m_sections[found->second];
}

const IniKey* IniText::FindKey(const std::string& section, const std::string& key) const {
    const IniSection* found = FindSection(section);
    const std::string wanted = LookupName(key);
    if (!found || wanted.empty()) return nullptr;
    const NameIndex& keys = m_keyIndex[static_cast<std::size_t>(found - m_sections.data())];
    const auto at = keys.find(LowerCaseAnsi(wanted));
    return at == keys.end() ? nullptr : &found->keys[at->second];
}

std::string IniText::Read(const std::string& section, const std::string& key, const char* missing,
                          std::size_t size) const {
    if (const IniKey* found = FindKey(section, key)) return ProfileValue(found->value, size);
    std::string fallback = missing ? missing : "";
    while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
    return size == 0 ? std::string() : CutAtCharacter(fallback, size - 1);
}

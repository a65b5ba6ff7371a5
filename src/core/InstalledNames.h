// The rule by which a catalog identifier counts as installed, over the names
// Windows records installed updates under, and the name forms those records
// take. Text is CP949: a byte from 0x81 to 0xFE starts a two-byte character.
#pragma once
#include <string>
#include <vector>

// True for the first byte of a two-byte CP949 character.
inline bool IsCp949LeadByte(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x81 && u <= 0xFE;
}

// True when `identifier`, lower-cased, occurs inside one entry of `list`,
// lower-cased (a substring test). Text is taken character by character in
// code page 949: lower-casing touches single-byte letters only, and a
// match never starts on the second byte of a double-byte character.
bool IsNameInstalled(const std::vector<std::string>& list, const std::string& identifier);

// The same rule with the names lower-cased once, for the many lookups of one
// evaluation of the catalog.
class InstalledNameIndex {
public:
    explicit InstalledNameIndex(const std::vector<std::string>& names);
    bool Contains(const std::string& identifier) const;

private:
    std::vector<std::string> m_lowered;
};

// The list entry for a file found in a qfe folder.
std::string QfeEntryName(const std::string& fileName);
// True for a key that holds a hotfix's file list rather than an update.
bool IsFilelistKey(const std::string& name);
// `text` with its single-byte letters A-Z lower-cased, double-byte
// characters of code page 949 left whole.
std::string LowerCaseAnsi(const std::string& text);
// True when `part` occurs in `text` starting at a character boundary.
bool ContainsAnsi(const std::string& text, const std::string& part);

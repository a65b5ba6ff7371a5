// The catalog as the Windows profile reader sees it, read from the file's
// bytes with no Windows underneath, so that tools on the publishing side
// answer every lookup the program makes exactly as GetPrivateProfileStringA
// answers it on the PC, and can say on which line each answer stands.
//
// How the reader takes a file (an ANSI file, CP949 here):
// - Lines end at CR LF, LF or a lone CR.
// - Blanks (space, tab, vertical tab) around a line, a name and a value are
//   dropped.
// - A line that starts with ';' is a comment. A ';' anywhere else is text:
//   "[;x]" names the section ";x", and "A=1 ;x" gives A the value "1 ;x".
// - A line that starts with '[' starts a section. Its name runs to the first
//   ']' or, when there is none, to the end of the line; text after the ']'
//   is ignored.
// - Any other line is a key when it holds '=', its name before the first
//   '=' and its value after it. A line without '=' is no key, and keys
//   before the first section belong to no section: the reader skips both.
// - Section and key names match in any letter case (A-Z only; the bytes of
//   a double-byte character are compared as they are). Of two sections of
//   one name only the first is read, keys of the later one included; of two
//   keys of one name in that section, the first.
// - A value enclosed in one pair of equal quotation marks (' or ") loses
//   them, then it is cut to the buffer's size minus one bytes, never inside
//   a double-byte character.
// - Names and values are C strings to the reader: a NUL byte ends them.
//
// The parse is kept and indexed (not redone per lookup as Windows does), so
// a catalog of thousands of entries is looked through quickly; callers that
// care that a replaced file takes effect read it again.
#pragma once
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

struct IniKey {
    std::string name;   // blanks around it dropped
    std::string value;  // after the '=', blanks around it dropped, quotes kept
    int line = 0;       // 1-based
};

struct IniSection {
    std::string name;  // as the reader takes it
    int line = 0;
    bool closed = true;  // the header has its ']'
    bool padded = false;  // blanks inside the brackets, which the reader drops
    std::vector<IniKey> keys;  // in file order, repeated names included
};

// A line the reader passes over although it looks like it means something:
// text without '=' inside a section, or a key before the first section.
struct IniIgnoredLine {
    std::string text;  // blanks around it dropped
    int line = 0;
    bool beforeFirstSection = false;
};

class IniText {
public:
    explicit IniText(const std::string& bytes);

    // What GetPrivateProfileStringA(section, key, missing, buffer, size)
    // leaves in its buffer: the key's value, or `missing` (its trailing
    // spaces dropped) when the section or key is absent; cut to size - 1
    // bytes. Nothing for size 0.
    std::string Read(const std::string& section, const std::string& key, const char* missing,
                     std::size_t size) const;

    // The section the reader takes for `name`, or null.
    const IniSection* FindSection(const std::string& name) const;
    // The key the reader takes for `key` in that section, or null.
    const IniKey* FindKey(const std::string& section, const std::string& key) const;

    // Every section in file order, repeated names included.
    const std::vector<IniSection>& Sections() const { return m_sections; }
    const std::vector<IniIgnoredLine>& IgnoredLines() const { return m_ignored; }

private:
    using NameIndex = std::unordered_map<std::string, std::size_t>;  // lower-cased name -> first

    std::vector<IniSection> m_sections;
    std::vector<IniIgnoredLine> m_ignored;
    NameIndex m_sectionIndex;
    std::vector<NameIndex> m_keyIndex;  // one per section
};

// `value` as the reader hands it out: one pair of enclosing quotation marks
// removed, then cut to size - 1 bytes at a character boundary.
std::string ProfileValue(const std::string& value, std::size_t size);

// True when the reader takes the names `a` and `b` for the same name.
bool SameProfileName(const std::string& a, const std::string& b);

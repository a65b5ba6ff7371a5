// What the catalog checker reports: one finding per line of output, with the
// catalog line it is about, its severity and a tag naming its kind, so that
// scripts (and the tests) can tell the kinds apart without reading prose.
#pragma once
#include <string>
#include <vector>

enum class Severity { Warning, Error };

enum class FindingKind {
    NotCp949,         // bytes that are no CP949 text
    ByteOrderMark,    // a UTF-8 byte-order mark or UTF-16 text
    NoInfo,           // no [INFO] section
    NoLanguage,       // LANGUAGE missing, ERROR, or no language edition
    LanguageName,     // LANGUAGE not the L of the O_B_L.ini file name
    Count,            // COUNT disagrees with the entry sections
    CountLimit,       // COUNT above the entries the program reads
    BeyondCount,      // an entry section above COUNT
    UnknownSection,   // a section the program never reads
    DuplicateSection, // a second section of one name
    DuplicateKey,     // a second key of one name in a section
    IgnoredLine,      // a line the reader passes over
    SectionHeader,    // a header the reader takes otherwise than it looks
    UnknownKey,       // a key the program does not read (there)
    ReadDifferently,  // a value the program reads otherwise than it looks
    ServicePackList,  // an SPVER list read otherwise than it looks
    RegistryRoot,     // a REGKEY that looks like a registry key and is not taken as one
    NeverRead,        // a key the program never gets to
    ValueCut,         // a value longer than the program's reader takes
    MissingKey,       // TITLE, URL or FILENAME missing from an entry that can be listed
    UnsafeFileName,   // a FILENAME the program refuses
    SharedFileName,   // a FILENAME two entries download to
    MalformedSha256,  // a SHA256 that is no digest
    NotInTree,        // a URL that names no file of the served tree
    NoSha256,         // an entry without SHA256
    Sha256Mismatch,   // a SHA256 that is not the served file's
    Signature,        // a catalog without a valid signature
};

// The tag printed after each finding, e.g. "unknown-key".
const char* KindTag(FindingKind kind);

struct Finding {
    int line = 0;         // 0: about the file as a whole
    Severity severity = Severity::Warning;
    FindingKind kind = FindingKind::UnknownKey;
    std::string section;  // "INFO", "3", ...; empty when about no section
    std::string message;  // UTF-8
};

// "FILE:LINE: error: [3] message (tag)".
std::string FormatFinding(const std::string& file, const Finding& finding);

bool HasErrors(const std::vector<Finding>& findings);

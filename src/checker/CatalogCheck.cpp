// The check of one catalog (see CatalogCheck.h).
//
// Every finding compares what the author wrote with what the program's own
// code makes of it: values go through IniText::Read with the program's
// buffer sizes and then through CatalogToInt, ParseRegistryProbe,
// IsSafeUpdateFileName and ParseSha256Hex, never through a second reading
// of the rules written here.
#include "checker/CatalogCheck.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "checker/CatalogReading.h"
#include "checker/Cp949.h"
#include "checker/Publishing.h"
#include "core/Applicability.h"
#include "core/InstalledNames.h"
#include "core/Text.h"
#include "core/UpdateFiles.h"
#include "core/CatalogModel.h"

const char kTypicalUpdatesFolder[] = "C:\\Program Files\\Quellfix\\UPDATES";

namespace {

// How many unreadable bytes are told one by one before they are counted.
constexpr std::size_t kBytesToldOneByOne = 10;

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// A value quoted in a message: converted for the terminal, long ones shortened.
std::string Shown(const std::string& value) {
    const std::size_t kLongest = 80;
    std::string shown = ForDisplay(value.size() > kLongest ? value.substr(0, kLongest) : value);
    return value.size() > kLongest ? shown + "..." : shown;
}

// True when the program reads `text` as the number it looks like: digits
// with at most a sign, within the range of int.
bool IsPlainNumber(const std::string& text) {
    std::size_t at = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (at == text.size()) return false;
    for (std::size_t i = at; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    std::string digits = text.substr(at);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    const std::string looks = (text[0] == '-' && digits != "0" ? "-" : "") + digits;
    return std::to_string(CatalogToInt(text)) == looks;
}

// The REGKEYn probes: true for REGKEY2, REGKEY3, ... as the program names them.
bool IsLaterProbe(const std::string& upperName, int& number) {
    return StartsWith(upperName, kKeyProbe.name) &&
           IsEntryNumber(upperName.substr(std::char_traits<char>::length(kKeyProbe.name)),
                         number) &&
           number >= 2;
}

// The key the program reads under `upperName` in sections of `section`;
// `elsewhere` when it reads that key only in the other kind of section.
const CatalogKey* FindKnown(const std::string& upperName, CatalogSection section, bool& elsewhere) {
    elsewhere = false;
    int number = 0;
    const bool laterProbe = IsLaterProbe(upperName, number);
    for (const CatalogKey& known : kCatalogKeys) {
        if (laterProbe ? known.id != CatalogKeyId::Probe : upperName != known.name) continue;
        if (known.section == section) return &known;
        elsewhere = true;
    }
    return nullptr;
}

std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The known key `upperName` most likely means, or empty text.
std::string LikelyKey(const std::string& upperName, CatalogSection section) {
    std::vector<std::string> candidates;
    for (const CatalogKey& known : kCatalogKeys)
        if (known.section == section) candidates.push_back(known.name);
    if (section == CatalogSection::Entry) candidates.push_back(ProbeKeyName(2));
    std::string best;
    std::size_t bestDistance = 3;
    for (const std::string& candidate : candidates) {
        const std::size_t distance = EditDistance(upperName, candidate);
        if (distance < bestDistance && 2 * distance < std::max(upperName.size(), candidate.size())) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

bool LooksLikeRegistryPath(const std::string& value) {
    const std::string upper = Upper(value);
    return value.find('\\') != std::string::npos || StartsWith(upper, "HKEY") ||
           StartsWith(upper, "HKLM") || StartsWith(upper, "HKCU") || StartsWith(upper, "HKCR");
}

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The L of a catalog named O_B_L.ini, or -1.
int LanguageOfFileName(const std::string& name) {
    int parts[3] = {-1, -1, -1};
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t end = name.find(i < 2 ? '_' : '.', at);
        if (end == std::string::npos || end == at) return -1;
        const std::string digits = name.substr(at, end - at);
        if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9)
            return -1;
        parts[i] = std::stoi(digits);
        at = end + 1;
    }
    return EqualsIgnoringAsciiCase(name.substr(at), "ini") ? parts[2] : -1;
}

class CatalogChecker {
public:
    CatalogChecker(const std::string& path, const std::string& bytes, const CheckOptions& options,
                   Openssl& openssl)
        : m_path(path), m_bytes(bytes), m_options(options), m_openssl(openssl), m_ini(bytes) {}

    CatalogReport Run() {
        if (CheckEncoding()) {
            CheckInfo();
            CheckSections();
            CheckIgnoredLines();
            if (!m_options.pubkey.empty()) CheckSignature();
        }
        std::stable_sort(m_report.findings.begin(), m_report.findings.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
        return m_report;
    }

private:
    void Add(int line, Severity severity, FindingKind kind, const std::string& section,
             const std::string& message) {
        m_report.findings.push_back(Finding{line, severity, kind, section, message});
    }
    void Warn(int line, FindingKind kind, const std::string& section, const std::string& message) {
        Add(line, Severity::Warning, kind, section, message);
    }
    void Fail(int line, FindingKind kind, const std::string& section, const std::string& message) {
        Add(line, Severity::Error, kind, section, message);
    }

    // False when the text is no ANSI text at all, which ends the check.
    bool CheckEncoding() {
        const auto starts = [&](const char* mark) { return StartsWith(m_bytes, mark); };
        if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
            Fail(1, FindingKind::ByteOrderMark, "",
                 "UTF-16 text: catalogs are CP949 text, and the publishing tools read them so");
            return false;
        }
        std::size_t skip = 0;
        if (starts("\xEF\xBB\xBF")) {
            Fail(1, FindingKind::ByteOrderMark, "",
                 "the file starts with a UTF-8 byte-order mark, which Windows reads as part of "
                 "the first line: save it as CP949 without one");
            skip = 3;
        }
        std::size_t total = 0;
        const std::vector<std::size_t> offsets =
            InvalidCp949(m_bytes.substr(skip), kBytesToldOneByOne, total);
        for (std::size_t offset : offsets) {
            offset += skip;
            const int line = LineAtOffset(m_bytes, offset);
            const std::size_t lineEnd =
                offset == 0 ? std::string::npos : m_bytes.find_last_of("\r\n", offset - 1);
            const std::size_t column = lineEnd == std::string::npos ? offset + 1 : offset - lineEnd;
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X",
                          static_cast<unsigned char>(m_bytes[offset]));
            Fail(line, FindingKind::NotCp949, "",
                 std::string("byte ") + byte + " in column " + std::to_string(column) +
                     " starts no CP949 character");
        }
        if (total > offsets.size())
            Fail(0, FindingKind::NotCp949, "",
                 std::to_string(total - offsets.size()) + " more bytes start no CP949 character");
        return true;
    }

    void CheckInfo() {
        const IniSection* info = m_ini.FindSection("INFO");
        if (!info) {
            Fail(0, FindingKind::NoInfo, "",
                 "no [INFO] section: COUNT reads as 0, and without LANGUAGE the program refuses "
                 "the downloaded catalog");
            return;
        }
        CheckKeys(*info, CatalogSection::Info, "INFO");

        // Retrieval refuses a file whose LANGUAGE is missing or "ERROR".
        const IniKey* language = m_ini.FindKey("INFO", kKeyLanguage.name);
        if (!language || EqualsIgnoringAsciiCase(
                             m_ini.Read("INFO", kKeyLanguage.name, "ERROR", CatalogReaderBuffer(kRetrieval)), "ERROR")) {
            Fail(language ? language->line : info->line, FindingKind::NoLanguage, "INFO",
                 "no LANGUAGE: the program refuses the downloaded catalog and keeps the one it "
                 "had");
        } else {
            const std::string value = Read("INFO", kKeyLanguage);
            const int reading = CatalogToInt(value);
            if (reading <= 0 || reading > 0x3FF) {
                Fail(language->line, FindingKind::NoLanguage, "INFO",
                     "LANGUAGE=" + Shown(value) + " is read as " + std::to_string(reading) +
                         ", which is no primary language number (18 Korean, 9 English): every "
                         "PC lists nothing");
            } else {
                CheckNumber("INFO", *language, value);
                const int named = LanguageOfFileName(BaseName(m_path));
                if (named >= 0 && named != reading)
                    Fail(language->line, FindingKind::LanguageName, "INFO",
                         "LANGUAGE is " + std::to_string(reading) + " but the file is the catalog "
                         "for language " + std::to_string(named) + ": the PCs that fetch it list "
                         "nothing");
            }
        }

        const IniKey* count = m_ini.FindKey("INFO", kKeyCount.name);
        if (!count) {
            if (HasEntrySections())
                Fail(info->line, FindingKind::Count, "INFO",
                     "no COUNT: it reads as 0, and no entry is listed");
            return;
        }
        m_countLine = count->line;
        const std::string value = Read("INFO", kKeyCount);
        CheckNumber("INFO", *count, value);
        m_count = CatalogToInt(value);
        m_visited = EntriesToVisit(m_count);
        if (m_count > kCatalogEntryLimit)
            Fail(count->line, FindingKind::CountLimit, "INFO",
                 "COUNT is " + std::to_string(m_count) + ": the program reads only the first " +
                     std::to_string(kCatalogEntryLimit) + " entries");
        if (m_visited == 0 && HasEntrySections())
            Fail(count->line, FindingKind::Count, "INFO",
                 "COUNT is " + std::to_string(m_count) + ": no entry is read");
        CheckMissingEntries();
    }

    bool HasEntrySections() const {
        int number = 0;
        for (const IniSection& section : m_ini.Sections())
            if (IsEntryNumber(section.name, number)) return true;
        return false;
    }

    // Entries 1 to COUNT without a section are read as empty sections.
    void CheckMissingEntries() {
        const auto report = [&](int first, int last) {
            const std::string which =
                first == last ? "no section [" + std::to_string(first) + "]: it is"
                              : "no sections [" + std::to_string(first) + "] to [" +
                                    std::to_string(last) + "]: each is";
            Fail(m_countLine, FindingKind::Count, "INFO",
                 "COUNT is " + std::to_string(m_count) + " but there is " + which +
                     " listed as an update without a title on every PC with Internet Explorer "
                     "6 or later");
        };
        int gapStart = 0;
        for (int number = 1; number <= m_visited; ++number) {
            const bool present = m_ini.FindSection(std::to_string(number)) != nullptr;
            if (!present && gapStart == 0) gapStart = number;
            if (present && gapStart != 0) {
                report(gapStart, number - 1);
                gapStart = 0;
            }
        }
        if (gapStart != 0) report(gapStart, m_visited);
    }

    void CheckSections() {
        std::map<std::string, int> seen;  // lower-cased name -> line of the first
        for (const IniSection& section : m_ini.Sections()) {
            const std::string label = ForDisplay(section.name);
            if (!section.closed)
                Warn(section.line, FindingKind::SectionHeader, label,
                     "the header has no ']': Windows reads the section as [" + label +
                         "], other readers may not");
            else if (section.padded)
                Warn(section.line, FindingKind::SectionHeader, label,
                     "blanks inside the brackets: Windows reads the section as [" + label +
                         "], other readers may not");
            const auto first = seen.emplace(LowerCaseAnsi(section.name), section.line);
            if (!first.second) {
                Warn(section.line, FindingKind::DuplicateSection, label,
                     "a second section [" + label + "]: the reader takes only the first (line " +
                         std::to_string(first.first->second) + "), so no key here is read");
                continue;
            }
            if (SameProfileName(section.name, "INFO")) continue;
            int number = 0;
            if (!IsEntryNumber(section.name, number)) {
                Warn(section.line, FindingKind::UnknownSection, label,
                     "the program never reads this section: entries are [1], [2], [3] ... "
                     "without leading zeros or signs, beside [INFO]");
            } else if (number > m_visited) {
                Warn(section.line, FindingKind::BeyondCount, label,
                     m_visited == kCatalogEntryLimit
                         ? "the program reads only the first " +
                               std::to_string(kCatalogEntryLimit) + " entries: never read"
                         : "above COUNT (" + std::to_string(m_count) + "): never read");
            } else {
                CheckEntry(section, number);
            }
        }
    }

    void CheckIgnoredLines() {
        for (const IniIgnoredLine& ignored : m_ini.IgnoredLines())
            Warn(ignored.line, FindingKind::IgnoredLine, "",
                 "'" + Shown(ignored.text) + "' " +
                     (ignored.beforeFirstSection ? "stands before the first section"
                                                 : "has no '='") +
                     ": the reader ignores the line");
    }

    std::string Read(const std::string& section, const CatalogKey& key) const {
        return m_ini.Read(section, key.name, key.missing, kListBuffer);
    }

    // Repeated, unknown and misplaced keys, and values longer than the
    // program's reader takes.
    void CheckKeys(const IniSection& section, CatalogSection place, const std::string& label) {
        std::set<std::string> seen;
        for (const IniKey& key : section.keys) {
            const std::string name = ForDisplay(key.name);
            const std::string upper = Upper(key.name);
            if (!seen.insert(upper).second) {
                const IniKey* first = m_ini.FindKey(section.name, key.name);
                Warn(key.line, FindingKind::DuplicateKey, label,
                     name + " again: the reader takes the first, on line " +
                         std::to_string(first ? first->line : section.line));
                continue;
            }
            bool elsewhere = false;
            const CatalogKey* known = FindKnown(upper, place, elsewhere);
            if (known) {
                const std::size_t length = ProfileValue(key.value, std::string::npos).size();
                if (length > known->Buffer() - 1)
                    Warn(key.line, FindingKind::ValueCut, label,
                         name + " is " + std::to_string(length) + " bytes long: the program reads "
                         "only the first " + std::to_string(known->Buffer() - 1));
                continue;
            }
            if (key.name.empty()) {
                Warn(key.line, FindingKind::UnknownKey, label,
                     "a value without a key name: it is never read");
            } else if (elsewhere) {
                Warn(key.line, FindingKind::UnknownKey, label,
                     name + (place == CatalogSection::Info ? " is read only in the entry sections"
                                                  : " is read only in [INFO]"));
            } else if (StartsWith(upper, kKeyProbe.name) &&
                       upper.find_first_not_of("0123456789", 6) == std::string::npos) {
                Fail(key.line, FindingKind::UnknownKey, label,
                     name + " is never read: the probes are REGKEY, REGKEY2, REGKEY3 ..., "
                            "numbered without leading zeros");
            } else {
                const std::string likely = LikelyKey(upper, place);
                if (likely.empty())
                    Warn(key.line, FindingKind::UnknownKey, label,
                         name + " is not a key the program reads: it is ignored");
                else
                    Fail(key.line, FindingKind::UnknownKey, label,
                         name + " is not a key the program reads: did you mean " + likely + "?");
            }
        }
    }

    void CheckNumber(const std::string& label, const IniKey& key, const std::string& value) {
        if (IsPlainNumber(value)) return;
        const std::string reading = std::to_string(CatalogToInt(value));
        Warn(key.line, FindingKind::ReadDifferently, label,
             value.empty() ? ForDisplay(key.name) + " is empty, which is read as " + reading
                           : ForDisplay(key.name) + "=" + Shown(value) + " is read as " + reading);
    }

    void CheckEntry(const IniSection& section, int number) {
        const std::string label = std::to_string(number);
        CheckKeys(section, CatalogSection::Entry, label);
        const auto present = [&](const CatalogKey& key) { return m_ini.FindKey(label, key.name); };
        const auto read = [&](const CatalogKey& key) { return Read(label, key); };

        // Each key by the kind of its value, in the order of the program's table.
        for (const CatalogKey& known : kCatalogKeys) {
            if (known.section != CatalogSection::Entry) continue;
            const IniKey* key = present(known);
            const std::string value = read(known);
            switch (known.kind) {
            case CatalogValueKind::Enable:
                if (key && value != "0" && value != "1")
                    Warn(key->line, FindingKind::ReadDifferently, label,
                         ForDisplay(key->name) + "=" + Shown(value) +
                             " leaves the entry on: only 0 switches it off");
                break;
            case CatalogValueKind::Number:
                // DOTNETSPVER counts only beside a DOTNETVER: CheckDotNet.
                if (key && known.id != CatalogKeyId::DotNetServicePack) CheckNumber(label, *key, value);
                break;
            case CatalogValueKind::ServicePacks:
                if (key) CheckServicePacks(label, *key, value);
                break;
            case CatalogValueKind::Require:
                if (key && !EqualsIgnoringAsciiCase(value, "require") &&
                    !EqualsIgnoringAsciiCase(value, "notrequire"))
                    Warn(key->line, FindingKind::ReadDifferently, label,
                         ForDisplay(key->name) + "=" + Shown(value) +
                             " sets no condition: only require does");
                break;
            case CatalogValueKind::DotNet: CheckDotNet(label); break;
            case CatalogValueKind::Type:
                if (key && !EqualsIgnoringAsciiCase(value, "APPLICATION") &&
                    !EqualsIgnoringAsciiCase(value, "PATCH"))
                    Warn(key->line, FindingKind::ReadDifferently, label,
                         ForDisplay(key->name) + "=" + Shown(value) +
                             " is an ordinary update: only APPLICATION keeps an entry off the list");
                break;
            case CatalogValueKind::Probe: CheckProbes(section, label); break;
            default: break;  // the run's keys are checked together below
            }
        }
        CheckRun(section, label);
    }

    void CheckServicePacks(const std::string& label, const IniKey& key, const std::string& value) {
        if (value == "-1") return;
        bool blanks = false, odd = false, minusOne = false, any = false;
        std::string reading;
        std::size_t start = 0;
        while (true) {
            const std::size_t end = std::min(value.find(',', start), value.size());
            const std::string element = value.substr(start, end - start);
            const int number = CatalogToInt(element);
            reading += (start == 0 ? "" : ",") + std::to_string(number);
            const std::size_t first = element.find_first_not_of(" \t\v");
            const std::size_t last = element.find_last_not_of(" \t\v");
            const std::string bare =
                first == std::string::npos ? std::string() : element.substr(first, last - first + 1);
            blanks = blanks || bare != element;
            odd = odd || !IsPlainNumber(bare);
            any = any || number == 0;
            minusOne = minusOne || number == -1;
            if (end == value.size()) break;
            start = end + 1;
        }
        if (!blanks && !odd && !minusOne) return;
        std::string message = ForDisplay(key.name) + "=" + Shown(value) + " is read as " + reading;
        if (blanks) message += " (blanks in the list)";
        if (any)
            message += ": an element that reads as 0 matches every service pack";
        else if (minusOne)
            message += ": -1 means any service pack only alone; in a list it matches none";
        Warn(key.line, FindingKind::ServicePackList, label, message);
    }

    void CheckDotNet(const std::string& label) {
        const IniKey* dotNet = m_ini.FindKey(label, kKeyDotNet.name);
        const std::string value = Read(label, kKeyDotNet);
        const bool require = EqualsIgnoringAsciiCase(value, "require");
        if (dotNet && !require) CheckNumber(label, *dotNet, value);
        if (const IniKey* sp = m_ini.FindKey(label, kKeyDotNetServicePack.name)) {
            if (require || CatalogToInt(value) == -1)
                Warn(sp->line, FindingKind::NeverRead, label,
                     ForDisplay(sp->name) + " is never read: it counts only beside a DOTNETVER "
                                            "that names a .NET Framework");
            else
                CheckNumber(label, *sp, Read(label, kKeyDotNetServicePack));
        }
    }

    void CheckProbes(const IniSection& section, const std::string& label) {
        int stop = 1;
        for (;; ++stop) {
            const std::string name = ProbeKeyName(stop);
            const std::string value = m_ini.Read(label, name, kKeyProbe.missing, kListBuffer);
            if (value.empty()) break;
            CheckProbe(label, *m_ini.FindKey(label, name), value);
        }
        const std::string stopName = ProbeKeyName(stop);
        std::set<int> told;
        for (const IniKey& key : section.keys) {
            int number = 0;
            if (IsLaterProbe(Upper(key.name), number) && number > stop && told.insert(number).second)
                Warn(key.line, FindingKind::NeverRead, label,
                     ForDisplay(key.name) + " is never read: the probes stop at the first missing "
                                            "or empty one, " + stopName);
        }
    }

    void CheckProbe(const std::string& label, const IniKey& key, const std::string& value) {
        const std::string name = ForDisplay(key.name) + "=" + Shown(value);
        RegistryRoot root;
        std::string subKey;
        if (ParseRegistryProbe(value, root, subKey)) {
            const std::size_t separator = value.size() - subKey.size() - 1;
            if (value[separator] != '\\')
                Warn(key.line, FindingKind::RegistryRoot, label,
                     name + ": the character after " + value.substr(0, separator) +
                         " is taken as the separator whatever it is; write a backslash");
            else if (subKey.empty())
                Warn(key.line, FindingKind::RegistryRoot, label,
                     name + " probes the root key itself, which always opens: the entry always "
                            "counts as installed");
        } else if (LooksLikeRegistryPath(value)) {
            Warn(key.line, FindingKind::RegistryRoot, label,
                 name + " is taken as an update name: the program knows only HKEY_LOCAL_MACHINE, "
                        "HKEY_CURRENT_USER and HKEY_CLASSES_ROOT, in capitals, then a backslash");
        }
    }

    // What a run needs of an entry that can be listed, and the pins.
    void CheckRun(const IniSection& section, const std::string& label) {
        const bool listable = !EqualsIgnoringAsciiCase(Read(label, kKeyEnable), "0") &&
                              !EqualsIgnoringAsciiCase(Read(label, kKeyType), "APPLICATION");
        const IniKey* fileNameKey = m_ini.FindKey(label, kKeyFileName.name);
        const IniKey* shaKey = m_ini.FindKey(label, kKeySha256.name);
        const std::string fileName = Read(label, kKeyFileName);
        const std::string url = Read(label, kKeyUrl);
        const std::string sha256 = Read(label, kKeySha256);

        if (listable) {
            const auto need = [&](const CatalogKey& key, const char* why) {
                if (Read(label, key).empty())
                    Fail(section.line, FindingKind::MissingKey, label,
                         std::string("no ") + key.name + ": " + why);
            };
            need(kKeyTitle, "the entry is listed without a name");
            need(kKeyUrl, "the run has nothing to download");
            need(kKeyFileName, "the run has no file to download into");
            if (!fileName.empty()) CheckFileName(label, *fileNameKey, fileName, url);
            if (!m_options.pubkey.empty() && sha256.empty())
                Fail(section.line, FindingKind::NoSha256, label,
                     "no SHA256: a build that trusts this key never installs the entry");
        }
        Sha256Digest digest;
        const bool pinned = ParseSha256Hex(sha256, digest);
        if (!sha256.empty() && !pinned)
            Fail(shaKey->line, FindingKind::MalformedSha256, label,
                 "SHA256=" + Shown(sha256) + " is not 64 hexadecimal digits: the program never "
                 "installs the entry");
        if (!m_options.tree.empty() && !url.empty()) CheckServed(section, label, url, sha256, pinned,
                                                                 listable);
    }

    void CheckFileName(const std::string& label, const IniKey& key, const std::string& fileName,
                       const std::string& url) {
        const std::size_t folder = sizeof kTypicalUpdatesFolder - 1;
        if (!IsSafeUpdateFileName(fileName, folder)) {
            const bool tooLong = IsSafeUpdateFileName(fileName, 0);
            Fail(key.line, FindingKind::UnsafeFileName, label,
                 "FILENAME=" + Shown(fileName) + " is refused, so the download fails: " +
                     (tooLong ? "in " + std::string(kTypicalUpdatesFolder) +
                                    " its path would pass " +
                                    std::to_string(kWindowsPathLimit - 1) + " characters"
                              : std::string("a file name in UPDATES has no folder, drive, stream, "
                                            "wildcard or control character, no trailing dot or "
                                            "blank, and is no device name such as NUL")));
            return;
        }
        // Windows file names match in any letter case.
        const auto first = m_fileNames.emplace(LowerCaseAnsi(fileName), std::make_pair(label, url));
        if (!first.second)
            Fail(key.line, FindingKind::SharedFileName, label,
                 "FILENAME=" + Shown(fileName) + " is also the file of entry [" +
                     first.first->second.first + "]" +
                     (first.first->second.second == url ? "" : ", from another URL") +
                     ": one download lands on the other");
    }

    void CheckServed(const IniSection& section, const std::string& label, const std::string& url,
                     const std::string& sha256, bool pinned, bool listable) {
        const IniKey* urlKey = m_ini.FindKey(label, kKeyUrl.name);
        const std::string file = ServedFile(m_options.tree, url, m_options.base);
        if (file.empty()) {
            Warn(urlKey->line, FindingKind::NotInTree, label,
                 "URL=" + Shown(url) + " names no file in " + m_options.tree +
                     ": its SHA256 is not checked");
            return;
        }
        std::string digest, problem;
        if (!m_openssl.Sha256(file, digest, problem)) {
            m_report.toolProblem = "cannot hash " + file + ": " + problem;
            return;
        }
        if (sha256.empty()) {
            if (m_options.pubkey.empty() || !listable)
                Warn(section.line, FindingKind::NoSha256, label,
                     "no SHA256: the served file's is " + digest + " (sign_tree.py hash writes it)");
        } else if (pinned && Upper(sha256) != Upper(digest)) {
            Fail(m_ini.FindKey(label, kKeySha256.name)->line, FindingKind::Sha256Mismatch, label,
                 "SHA256 is not the SHA-256 of " + file + ", which is " + digest +
                     ": the program refuses the download");
        }
    }

    void CheckSignature() {
        const std::string signature = m_path + ".sig";
        if (!IsRegularFile(signature)) {
            Fail(0, FindingKind::Signature, "",
                 "no signature " + signature + ": a build that trusts the key refuses the catalog");
            return;
        }
        std::string problem;
        if (m_openssl.Verifies(m_options.pubkey, m_path, signature, problem)) return;
        Fail(0, FindingKind::Signature, "",
             signature + " is no signature of this file by " + m_options.pubkey +
                 " (openssl: " + problem + "): a build that trusts the key refuses the catalog");
    }

    const std::string& m_path;
    const std::string& m_bytes;
    const CheckOptions& m_options;
    Openssl& m_openssl;
    IniText m_ini;
    CatalogReport m_report;
    int m_count = 0;
    int m_visited = 0;
    int m_countLine = 0;
    std::map<std::string, std::pair<std::string, std::string>> m_fileNames;  // -> entry, URL
};

}  // namespace

CatalogReport CheckCatalog(const std::string& path, const std::string& bytes,
                           const CheckOptions& options, Openssl& openssl) {
    return CatalogChecker(path, bytes, options, openssl).Run();
}

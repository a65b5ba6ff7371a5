// The catalog checker: the profile reader on odd files, one bad catalog per
// kind of finding, the demo catalogs (clean, and signed and pinned in a
// served tree through the real sign_tree.py and openssl), explain on the
// demo systems, the rule EvaluateEntry names, and the command's exit status
// as a real process.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "checker/CatalogCheck.h"
#include "checker/Command.h"
#include "checker/Explain.h"
#include "checker/Publishing.h"
#include "core/IniText.h"

namespace {

const std::string kSource = QUELLFIX_SOURCE_DIR;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> DemoCatalogs() {
    std::vector<std::string> names;
    for (const char* name : {"1_32_18", "4_32_18", "4_32_9", "6_32_18", "6_32_9", "6_64_18", "6_64_9"})
        names.push_back(kSource + "/server/update/v2/" + name + ".ini");
    return names;
}

// A folder of its own for one test, gone at its end.
class TempFolder {
public:
    TempFolder() {
        char name[] = "/tmp/quellfix-check-XXXXXX";
        m_path = ::mkdtemp(name);
    }
    ~TempFolder() { RunProgram({"rm", "-rf", m_path}); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// ---------------------------------------------------------------------------
// The profile reader

struct ReadCase {
    const char* name;
    std::string text;
    const char* section;
    const char* key;
    std::size_t size;
    std::string expected;
};

class Reader : public ::testing::TestWithParam<ReadCase> {};

TEST_P(Reader, AnswersAsTheWindowsProfileReader) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(IniText(c.text).Read(c.section, c.key, "(missing)  ", c.size), c.expected);
}

const std::string kLong(2000, 'x');

INSTANTIATE_TEST_SUITE_P(
    OddFiles, Reader,
    ::testing::Values(
        ReadCase{"blanks_around_everything", "  [ INFO ]  \r\n \t COUNT \v=  7 \t\r\n", "INFO", "COUNT", 1024, "7"},
        ReadCase{"any_letter_case", "[info]\ncount=3\n", " INFO ", "Count", 1024, "3"},
        ReadCase{"double_quotes_keep_inner_blanks", "[S]\nA= \"  x  \" \n", "S", "A", 1024, "  x  "},
        ReadCase{"single_quotes", "[S]\nA='x'\n", "S", "A", 1024, "x"},
        ReadCase{"unequal_quotes_stay", "[S]\nA=\"x'\n", "S", "A", 1024, "\"x'"},
        ReadCase{"outer_pair_only", "[S]\nA=\"'x'\"\n", "S", "A", 1024, "'x'"},
        ReadCase{"lone_quote_stays", "[S]\nA=\"\n", "S", "A", 1024, "\""},
        ReadCase{"first_key_wins", "[S]\nA=1\na=2\n", "S", "A", 1024, "1"},
        ReadCase{"first_section_only", "[S]\nA=1\n[s]\nB=2\n", "S", "B", 1024, "(missing)"},
        ReadCase{"cut_to_size", "[S]\nA=" + kLong + "\n", "S", "A", 1024, std::string(1023, 'x')},
        ReadCase{"cut_never_splits_a_character", "[S]\nA=" + std::string(1022, 'x') + "\xB0\xA1\n",
                 "S", "A", 1024, std::string(1022, 'x')},
        ReadCase{"quotes_go_before_the_cut", "[S]\nA=\"abcdef\"\n", "S", "A", 4, "abc"},
        ReadCase{"comment_lines", "[S]\n;A=1\n  ;B=2\nC=;3\n", "S", "A", 1024, "(missing)"},
        ReadCase{"indented_comment", "[S]\n  ;B=2\n", "S", "B", 1024, "(missing)"},
        ReadCase{"semicolon_in_value", "[S]\nC=;3 ;x\n", "S", "C", 1024, ";3 ;x"},
        ReadCase{"semicolon_in_section_name", "[;S]\nA=1\n", ";S", "A", 1024, "1"},
        ReadCase{"cr_only_lines", "[S]\rA=1\rB=2", "S", "B", 1024, "2"},
        ReadCase{"mixed_line_ends", "[S]\r\nA=1\nB=2\rC=3\r\n", "S", "C", 1024, "3"},
        ReadCase{"no_final_line_end", "[S]\nA=last", "S", "A", 1024, "last"},
        ReadCase{"empty_file", "", "S", "A", 1024, "(missing)"},
        ReadCase{"header_without_bracket", "[S  \nA=1\n", "S", "A", 1024, "1"},
        ReadCase{"text_after_bracket_ignored", "[S]A=1\nB=2\n", "S", "A", 1024, "(missing)"},
        ReadCase{"name_ends_at_first_bracket", "[S]x]\nA=1\n", "S", "A", 1024, "1"},
        ReadCase{"line_without_equals_is_no_key", "[S]\nA\nA=5\n", "S", "A", 1024, "5"},
        ReadCase{"keys_before_any_section", "A=1\n[S]\n", "", "A", 1024, "(missing)"},
        ReadCase{"empty_value_is_a_value", "[S]\nA=\n", "S", "A", 1024, ""},
        ReadCase{"nul_ends_a_value", std::string("[S]\nA=ab\0cd\n", 12), "S", "A", 1024, "ab"},
        ReadCase{"size_zero", "[S]\nA=1\n", "S", "A", 0, ""},
        ReadCase{"size_one", "[S]\nA=1\n", "S", "A", 1, ""},
        ReadCase{"default_cut_too", "", "S", "A", 4, "(mi"}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(Reader, NumbersLinesAsTheyEnd) {
    const IniText ini("; top\r\n[S]\rA=1\n\nB=2\r\n[T]\r\nC=3");
    ASSERT_NE(ini.FindKey("S", "B"), nullptr);
    EXPECT_EQ(ini.FindSection("S")->line, 2);
    EXPECT_EQ(ini.FindKey("S", "A")->line, 3);
    EXPECT_EQ(ini.FindKey("S", "B")->line, 5);
    EXPECT_EQ(ini.FindKey("T", "C")->line, 7);
    EXPECT_TRUE(ini.FindSection("s") == ini.FindSection("S"));
}

// ---------------------------------------------------------------------------
// The check, one bad catalog per kind of finding

const std::string kInfo = "[INFO]\r\nCOUNT=1\r\nLANGUAGE=18\r\n";  // lines 1-3
const std::string kRun = "TITLE=t\r\nURL=http://h/update/files/a.exe\r\nFILENAME=a.exe\r\n";

// [INFO], then entry [1] on line 4 with `keys` (lines 5 on).
std::string Entry(const std::string& keys, const std::string& run = kRun) {
    return kInfo + "[1]\r\n" + run + keys;
}

CatalogReport Check(const std::string& text, const std::string& name = "catalog.ini",
                    const CheckOptions& options = CheckOptions()) {
    Openssl openssl(QUELLFIX_OPENSSL[0] ? QUELLFIX_OPENSSL : "openssl");
    return CheckCatalog(name, text, options, openssl);
}

std::vector<Finding> OfKind(const CatalogReport& report, FindingKind kind) {
    std::vector<Finding> found;
    for (const Finding& f : report.findings)
        if (f.kind == kind) found.push_back(f);
    return found;
}

std::string Listed(const CatalogReport& report) {
    std::string all;
    for (const Finding& f : report.findings) all += FormatFinding("catalog.ini", f) + "\n";
    return all;
}

// True when `word` stands in `text` as a word or number of its own.
bool Mentions(const std::string& text, const std::string& word) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const auto joins = [&](std::size_t at) {
        const char c = text[at];
        return digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               (c == '.' && at + 1 < text.size() && digit(text[at + 1]));
    };
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || !joins(at - 1)) && (end == text.size() || !joins(end))) return true;
    }
    return false;
}

struct FindingCase {
    const char* name;
    std::string text;
    FindingKind kind;
    Severity severity;
    int line;
    const char* mentions;  // what the message must name, or null
    const char* fileName;
};

class Findings : public ::testing::TestWithParam<FindingCase> {};

TEST_P(Findings, EachFaultIsReportedOnItsLine) {
    const FindingCase& c = GetParam();
    const CatalogReport report = Check(c.text, c.fileName ? c.fileName : "catalog.ini");
    const std::vector<Finding> found = OfKind(report, c.kind);
    ASSERT_FALSE(found.empty()) << Listed(report);
    EXPECT_EQ(found[0].line, c.line) << Listed(report);
    EXPECT_EQ(found[0].severity, c.severity) << Listed(report);
    if (c.mentions) {
        EXPECT_TRUE(Mentions(found[0].message, c.mentions)) << found[0].message;
    }
    if (c.severity == Severity::Error) {
        EXPECT_TRUE(HasErrors(report.findings));
    }
}

const Severity E = Severity::Error;
const Severity W = Severity::Warning;
const std::string kTwoEntries = "[INFO]\r\nCOUNT=2\r\nLANGUAGE=18\r\n[1]\r\n" + kRun;

INSTANTIATE_TEST_SUITE_P(
    BadCatalogs, Findings,
    ::testing::Values(
        FindingCase{"not_cp949", Entry("DESCRIPTION=ok \xB0[\r\n"), FindingKind::NotCp949, E, 8, nullptr, nullptr},
        FindingCase{"nul_byte", Entry(std::string("DESCRIPTION=a\0b\r\n", 17)), FindingKind::NotCp949, E, 8, nullptr, nullptr},
        FindingCase{"utf8_byte_order_mark", "\xEF\xBB\xBF" + Entry(""), FindingKind::ByteOrderMark, E, 1, nullptr, nullptr},
        FindingCase{"utf16", std::string("\xFF\xFE[\0I\0", 6), FindingKind::ByteOrderMark, E, 1, nullptr, nullptr},
        FindingCase{"no_info", "[1]\r\n" + kRun, FindingKind::NoInfo, E, 0, nullptr, nullptr},
        FindingCase{"no_language", "[INFO]\r\nCOUNT=1\r\n[1]\r\n" + kRun, FindingKind::NoLanguage, E, 1, nullptr, nullptr},
        FindingCase{"language_error", "[INFO]\r\nCOUNT=1\r\nLANGUAGE=error\r\n[1]\r\n" + kRun, FindingKind::NoLanguage, E, 3, nullptr, nullptr},
        FindingCase{"language_identifier", "[INFO]\r\nCOUNT=1\r\nLANGUAGE=1042\r\n[1]\r\n" + kRun, FindingKind::NoLanguage, E, 3, nullptr, nullptr},
        FindingCase{"language_not_the_file_names", Entry(""), FindingKind::LanguageName, E, 3, "9", "4_32_9.ini"},
        FindingCase{"count_above_sections", "[INFO]\r\nCOUNT=3\r\nLANGUAGE=18\r\n[1]\r\n" + kRun, FindingKind::Count, E, 2, "2", nullptr},
        FindingCase{"no_count", "[INFO]\r\nLANGUAGE=18\r\n[1]\r\n" + kRun, FindingKind::Count, E, 1, nullptr, nullptr},
        FindingCase{"count_above_limit", "[INFO]\r\nCOUNT=2000000000\r\nLANGUAGE=18\r\n", FindingKind::CountLimit, E, 2, "10000", nullptr},
        FindingCase{"section_above_count", Entry("[2]\r\nTITLE=x\r\n"), FindingKind::BeyondCount, W, 8, "1", nullptr},
        FindingCase{"leading_zero_section", Entry("[01]\r\nTITLE=x\r\n"), FindingKind::UnknownSection, W, 8, nullptr, nullptr},
        FindingCase{"second_section_of_a_name", Entry("[1]\r\nSPVER=3\r\n"), FindingKind::DuplicateSection, W, 8, "4", nullptr},
        FindingCase{"second_key_of_a_name", Entry("title=again\r\n"), FindingKind::DuplicateKey, W, 8, "5", nullptr},
        FindingCase{"line_without_equals", Entry("REGKEY KB1\r\n"), FindingKind::IgnoredLine, W, 8, nullptr, nullptr},
        FindingCase{"key_before_first_section", "COUNT=1\r\n" + Entry(""), FindingKind::IgnoredLine, W, 1, nullptr, nullptr},
        FindingCase{"blanks_in_header", kInfo + "[ 1 ]\r\n" + kRun, FindingKind::SectionHeader, W, 4, nullptr, nullptr},
        FindingCase{"header_without_bracket", kInfo + "[1\r\n" + kRun, FindingKind::SectionHeader, W, 4, nullptr, nullptr},
        FindingCase{"misspelt_key", Entry("SPVERS=2\r\n"), FindingKind::UnknownKey, E, 8, "SPVER", nullptr},
        FindingCase{"no_regkey1", Entry("REGKEY1=KB1\r\n"), FindingKind::UnknownKey, E, 8, nullptr, nullptr},
        FindingCase{"key_of_info_in_entry", Entry("COUNT=1\r\n"), FindingKind::UnknownKey, W, 8, nullptr, nullptr},
        FindingCase{"own_key", Entry("AUTHOR=me\r\n"), FindingKind::UnknownKey, W, 8, nullptr, nullptr},
        FindingCase{"dotted_version", Entry("IEVER=6.0\r\n"), FindingKind::ReadDifferently, W, 8, "6", nullptr},
        FindingCase{"number_with_text", "[INFO]\r\nCOUNT=1 entry\r\nLANGUAGE=18\r\n[1]\r\n" + kRun, FindingKind::ReadDifferently, W, 2, nullptr, nullptr},
        FindingCase{"enable_no", Entry("ENABLE=no\r\n"), FindingKind::ReadDifferently, W, 8, nullptr, nullptr},
        FindingCase{"require_misspelt", Entry("IISVER=required\r\n"), FindingKind::ReadDifferently, W, 8, nullptr, nullptr},
        FindingCase{"type_misspelt", Entry("TYPE=APP\r\n"), FindingKind::ReadDifferently, W, 8, nullptr, nullptr},
        FindingCase{"dotnet_dotted", Entry("DOTNETVER=3.5\r\n"), FindingKind::ReadDifferently, W, 8, "3", nullptr},
        FindingCase{"blanks_in_list", Entry("SPVER=2, 3\r\n"), FindingKind::ServicePackList, W, 8, "2,3", nullptr},
        FindingCase{"text_in_list", Entry("SPVER=2,x\r\n"), FindingKind::ServicePackList, W, 8, "2,0", nullptr},
        FindingCase{"minus_one_in_list", Entry("SPVER=-1,2\r\n"), FindingKind::ServicePackList, W, 8, nullptr, nullptr},
        FindingCase{"short_root", Entry("REGKEY=HKLM\\SOFTWARE\\X\r\n"), FindingKind::RegistryRoot, W, 8, nullptr, nullptr},
        FindingCase{"lower_case_root", Entry("REGKEY=KB1\r\nREGKEY2=hkey_local_machine\\SOFTWARE\\X\r\n"), FindingKind::RegistryRoot, W, 9, nullptr, nullptr},
        FindingCase{"slash_separator", Entry("REGKEY=HKEY_CURRENT_USER/Software\r\n"), FindingKind::RegistryRoot, W, 8, nullptr, nullptr},
        FindingCase{"root_alone", Entry("REGKEY=HKEY_CLASSES_ROOT\\\r\n"), FindingKind::RegistryRoot, W, 8, nullptr, nullptr},
        FindingCase{"probe_after_a_gap", Entry("REGKEY=KB1\r\nREGKEY3=KB3\r\n"), FindingKind::NeverRead, W, 9, nullptr, nullptr},
        FindingCase{"dotnet_sp_without_code", Entry("DOTNETVER=require\r\nDOTNETSPVER=1\r\n"), FindingKind::NeverRead, W, 9, nullptr, nullptr},
        FindingCase{"description_too_long", Entry("DESCRIPTION=" + std::string(1023, 'x') + "\r\n"), FindingKind::ValueCut, W, 8, "1022", nullptr},
        FindingCase{"no_title", kInfo + "[1]\r\nURL=http://h/a.exe\r\nFILENAME=a.exe\r\n", FindingKind::MissingKey, E, 4, nullptr, nullptr},
        FindingCase{"no_url", kInfo + "[1]\r\nTITLE=t\r\nFILENAME=a.exe\r\n", FindingKind::MissingKey, E, 4, nullptr, nullptr},
        FindingCase{"device_name", Entry("", "TITLE=t\r\nURL=http://h/nul.exe\r\nFILENAME=nul.exe\r\n"), FindingKind::UnsafeFileName, E, 7, nullptr, nullptr},
        FindingCase{"path_in_name", Entry("", "TITLE=t\r\nURL=http://h/a.exe\r\nFILENAME=..\\a.exe\r\n"), FindingKind::UnsafeFileName, E, 7, nullptr, nullptr},
        FindingCase{"name_too_long", Entry("", "TITLE=t\r\nURL=http://h/a.exe\r\nFILENAME=" + std::string(240, 'a') + "\r\n"), FindingKind::UnsafeFileName, E, 7, "259", nullptr},
        FindingCase{"shared_file_name", kTwoEntries + "[2]\r\nTITLE=u\r\nURL=http://h/b.exe\r\nFILENAME=A.EXE\r\n", FindingKind::SharedFileName, E, 11, "1", nullptr},
        FindingCase{"malformed_sha256", Entry("SHA256=3f8a0c6e...\r\n"), FindingKind::MalformedSha256, E, 8, nullptr, nullptr}),
    [](const ::testing::TestParamInfo<FindingCase>& info) { return std::string(info.param.name); });

TEST(Findings, WhatIsReadAsWrittenIsNotReported) {
    for (const std::string& text : {
             Entry(""),
             Entry("IEVER=\"7\"\r\nENABLE=1\r\nSPVER=2,3\r\nWMPVER=+9\r\nDOTNETVER=require\r\n"),
             Entry("REGKEY=HKEY_LOCAL_MACHINE\\SOFTWARE\\X\r\nregkey2=KB1\r\nType=application\r\n"),
             Entry("SPVER= -1 \r\nIISVER=Require\r\nSNMPVER=notrequire\r\nDOTNETVER=20\r\nDOTNETSPVER=1\r\n"),
             Entry("SHA256=" + std::string(64, 'A') + "\r\nCMDLINE=none\r\n; a note\r\n"),
             std::string("; made by hand\n[info]\ncount=1\nlanguage=18\n\n[1]\ntitle=t\nurl=http://h/a\nfilename=a"),
             // Entries never listed need nothing for a run.
             kTwoEntries + "[2]\r\nENABLE=0\r\n",
             kTwoEntries + "[2]\r\nTYPE=APPLICATION\r\nFILENAME=a.exe\r\n",
         }) {
        const CatalogReport report = Check(text);
        EXPECT_TRUE(report.findings.empty()) << text << "\n" << Listed(report);
    }
}

TEST(Findings, UnreadableBytesAreToldOneByOneThenCounted) {
    // A good Korean title on line 5, then fifteen bad bytes on lines 6 to 20.
    std::string keys = "TITLE=\xB0\xA1\r\n";
    for (int i = 0; i < 15; ++i) keys += "DESCRIPTION=\x80\r\n";
    const std::vector<Finding> found = OfKind(Check(Entry("", keys + kRun)), FindingKind::NotCp949);
    ASSERT_EQ(found.size(), 11u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(found[i + 1].line, 6 + i);
    EXPECT_EQ(found[0].line, 0);  // the count of the other five, about the whole file
    EXPECT_TRUE(Mentions(found[0].message, "5")) << found[0].message;
}

TEST(Findings, TheDemoCatalogsAreClean) {
    for (const std::string& path : DemoCatalogs()) {
        const std::string bytes = ReadAll(path);
        ASSERT_FALSE(bytes.empty()) << path;
        const CatalogReport report = Check(bytes, path);
        EXPECT_TRUE(report.findings.empty()) << path << "\n" << Listed(report);
    }
}

// ---------------------------------------------------------------------------
// A served tree: pins and signatures through sign_tree.py and openssl

class ServedTree : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QUELLFIX_PYTHON[0] || !QUELLFIX_OPENSSL[0]) GTEST_SKIP() << "python3 or openssl missing";
        m_tree = m_folder.Path() + "/tree";
        ASSERT_EQ(RunProgram({"mkdir", "-p", m_tree + "/update/v2", m_tree + "/update/files"}).exitStatus, 0);
        for (const std::string& path : DemoCatalogs()) {
            const std::string bytes = ReadAll(path);
            WriteAll(m_tree + "/update/v2/" + path.substr(path.find_last_of('/') + 1), bytes);
            // One small installer per file name the catalog downloads.
            const IniText ini(bytes);
            for (const IniSection& section : ini.Sections()) {
                const std::string file = ini.Read(section.name, "FILENAME", "", 1024);
                if (!file.empty()) WriteAll(m_tree + "/update/files/" + file, "installer " + file);
            }
        }
        Publish();
    }

    void Publish() {
        const std::string tool = kSource + "/server/sign_tree.py";
        ASSERT_EQ(RunProgram({QUELLFIX_PYTHON, tool, "hash", m_tree}).exitStatus, 0);
        const ProgramRun sign = RunProgram({QUELLFIX_PYTHON, tool, "sign", m_tree, "--key",
                                            kSource + "/server/demo/trust-demo.pem"});
        ASSERT_EQ(sign.exitStatus, 0) << sign.output;
    }

    int CheckTree(std::string& out) {
        std::ostringstream output, errors;
        const int status = RunChecker({"check", "--tree", m_tree, "--pubkey",
                                       kSource + "/server/demo/trust-demo.pub.pem", "--openssl",
                                       QUELLFIX_OPENSSL},
                                      output, errors);
        out = output.str() + errors.str();
        return status;
    }

    static bool Reports(const std::string& out, const char* tag, const char* where) {
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            if (line.find(std::string("(") + tag + ")") != std::string::npos &&
                line.find(where) != std::string::npos)
                return true;
        return false;
    }

    TempFolder m_folder;
    std::string m_tree;
};

TEST_F(ServedTree, APublishedTreeIsCleanAndEveryChangeAfterSigningShows) {
    std::string out;
    EXPECT_EQ(CheckTree(out), 0) << out;
    EXPECT_EQ(out.find("(sha256-mismatch)"), std::string::npos) << out;

    // An installer replaced after hashing, and a catalog edited after signing.
    WriteAll(m_tree + "/update/files/WindowsXP-KB990001-x86-KOR.exe", "another installer");
    const std::string catalog = m_tree + "/update/v2/6_32_9.ini";
    WriteAll(catalog, ReadAll(catalog) + "; edited\r\n");
    EXPECT_EQ(CheckTree(out), 1) << out;
    EXPECT_TRUE(Reports(out, "sha256-mismatch", "4_32_18.ini")) << out;
    EXPECT_FALSE(Reports(out, "sha256-mismatch", "4_32_9.ini")) << out;
    EXPECT_TRUE(Reports(out, "signature", "6_32_9.ini")) << out;
    EXPECT_FALSE(Reports(out, "signature", "6_64_9.ini")) << out;

    // An unsigned catalog with an entry elsewhere and one without a pin.
    WriteAll(m_tree + "/update/v2/0_32_18.ini",
             "[INFO]\r\nCOUNT=2\r\nLANGUAGE=18\r\n[1]\r\nTITLE=t\r\n"
             "URL=http://other.example/x.exe\r\nFILENAME=x.exe\r\n[2]\r\nTITLE=u\r\n"
             "URL=http://h/update/files/KB990201-W98-KOR.exe\r\nFILENAME=u.exe\r\n");
    EXPECT_EQ(CheckTree(out), 1) << out;
    EXPECT_TRUE(Reports(out, "not-in-tree", "0_32_18.ini:6")) << out;
    EXPECT_TRUE(Reports(out, "no-sha256", "0_32_18.ini:8")) << out;
    EXPECT_TRUE(Reports(out, "signature", "0_32_18.ini")) << out;
}

TEST(Publishing, UrlsNameOnlyFilesInsideTheTree) {
    TempFolder folder;
    const std::string tree = folder.Path();
    ASSERT_EQ(RunProgram({"mkdir", "-p", tree + "/update/files"}).exitStatus, 0);
    WriteAll(tree + "/update/files/a b.exe", "x");
    EXPECT_EQ(ServedFile(tree, "http://h:8/update/files/a%20b.exe?x=1", ""), tree + "/update/files/a b.exe");
    EXPECT_EQ(ServedFile(tree, "http://w/q/update//./files/a%20b.exe", "http://w/q/"),
              tree + "/update/files/a b.exe");
    for (const char* url : {"http://h/update/files/a%2", "http://h/update/files/../../outside",
                            "http://h/update/files/", "update/files/a b.exe", "http://h",
                            "http://h/update/files/a%5cb.exe"})
        EXPECT_EQ(ServedFile(tree, url, ""), "") << url;
    EXPECT_EQ(ServedFile(tree, "http://h/update/files/a%20b.exe", "http://w/q/"), "");
}

// ---------------------------------------------------------------------------
// explain on the demo systems

SystemDescription DemoSystem(const char* name) {
    SystemDescription system;
    std::string problem;
    EXPECT_TRUE(ParseSystemFile(ReadAll(kSource + "/server/demo/systems/" + name), system, problem))
        << name << ": " << problem;
    return system;
}

Explanation ExplainDemo(const char* catalog, const char* system) {
    return ExplainCatalog(IniText(ReadAll(kSource + "/server/update/v2/" + catalog)),
                          DemoSystem(system));
}

TEST(Explain, DemoSystemsSeeTheirCatalogsAsTheProgramDoes) {
    struct Expect {
        const char* catalog;
        const char* system;
        int number;
        bool listed, installed;
        ExcludedBy rule;
        const char* why;  // part of the explanation, or null
    };
    const Expect cases[] = {
        {"4_32_18.ini", "xp-sp3-ko.txt", 1, true, false, ExcludedBy::Nothing, nullptr},
        {"4_32_18.ini", "xp-sp3-ko.txt", 3, true, true, ExcludedBy::Nothing, "REGKEY2=Q990003"},
        {"4_32_18.ini", "xp-sp3-ko.txt", 4, true, true, ExcludedBy::Nothing, "REGKEY=KB990004"},
        {"4_32_18.ini", "xp-sp3-ko.txt", 11, false, false, ExcludedBy::Iis, "IISVER=require"},
        {"4_32_18.ini", "xp-sp3-ko.txt", 15, false, false, ExcludedBy::ServicePacks, "SPVER=2"},
        {"4_32_18.ini", "xp-sp3-ko.txt", 16, false, false, ExcludedBy::Enable, nullptr},
        {"4_32_18.ini", "xp-sp3-ko.txt", 17, false, false, ExcludedBy::Application, nullptr},
        {"4_32_9.ini", "xp-sp2-en.txt", 2, false, false, ExcludedBy::IeVersion, "IEVER=8"},
        {"4_32_9.ini", "xp-sp2-en.txt", 9, false, false, ExcludedBy::MediaPlayer, nullptr},
        {"4_32_9.ini", "xp-sp2-en.txt", 11, true, false, ExcludedBy::Nothing, nullptr},
        {"4_32_9.ini", "xp-sp2-en.txt", 13, true, false, ExcludedBy::Nothing, nullptr},
        {"6_64_18.ini", "vista-sp2-ko-64.txt", 3, true, true, ExcludedBy::Nothing, "KB990103"},
        {"6_64_18.ini", "vista-sp2-ko-64.txt", 6, true, false, ExcludedBy::Nothing, nullptr},
        {"1_32_18.ini", "win98se-ko.txt", 1, true, false, ExcludedBy::Nothing, nullptr},
    };
    for (const Expect& c : cases) {
        const Explanation e = ExplainDemo(c.catalog, c.system);
        ASSERT_TRUE(e.languageMatches) << c.catalog << " " << c.system;
        ASSERT_GE(static_cast<int>(e.entries.size()), c.number);
        const EntryOutcome& entry = e.entries[c.number - 1];
        SCOPED_TRACE(std::string(c.catalog) + " [" + std::to_string(c.number) + "] on " + c.system);
        EXPECT_EQ(entry.listed, c.listed);
        EXPECT_EQ(entry.installed, c.installed);
        EXPECT_EQ(entry.rule, c.rule);
        EXPECT_GT(entry.line, 0);
        if (c.why) {
            EXPECT_NE(entry.why.find(c.why), std::string::npos) << entry.why;
        }
    }
    // The English system gets nothing from the Korean catalog.
    const Explanation mismatch = ExplainDemo("4_32_18.ini", "xp-sp2-en.txt");
    EXPECT_FALSE(mismatch.languageMatches);
    EXPECT_TRUE(mismatch.entries.empty());
    EXPECT_EQ(mismatch.language, 18);
}

TEST(Explain, EvaluateEntryNamesTheFirstRuleThatFails) {
    SystemDescription system;
    std::string problem;
    ASSERT_TRUE(ParseSystemFile("os=xp\nservicepack=2\nlanguage=0x412\nie=6\nwmp=9\nwmf=9\n"
                                "dotnet=2.0\ndotnetsp=1\n",
                                system, problem))
        << problem;
    const std::pair<std::string, ExcludedBy> cases[] = {
        {"TITLE=t\r\n", ExcludedBy::Nothing},
        {"ENABLE=0\r\nIEVER=99\r\n", ExcludedBy::Enable},
        {"IEVER=7\r\nSPVER=3\r\n", ExcludedBy::IeVersion},
        {"WMPVER=10\r\nSPVER=3\r\n", ExcludedBy::MediaPlayer},
        {"SPVER=1,3\r\nIISVER=require\r\n", ExcludedBy::ServicePacks},
        {"IISVER=require\r\nSNMPVER=require\r\n", ExcludedBy::Iis},
        {"SNMPVER=require\r\n", ExcludedBy::Snmp},
        {"DOTNETVER=35\r\n", ExcludedBy::DotNet},
        {"DOTNETVER=20\r\n", ExcludedBy::DotNetServicePack},
        {"DOTNETVER=20\r\nDOTNETSPVER=1\r\nWMFVER=11\r\n", ExcludedBy::MediaFormat},
        {"TYPE=Application\r\nREGKEY=KB1\r\n", ExcludedBy::Application},
    };
    for (const auto& c : cases) {
        const Explanation e = ExplainCatalog(IniText("[INFO]\r\nCOUNT=1\r\nLANGUAGE=18\r\n[1]\r\n" + c.first), system);
        ASSERT_EQ(e.entries.size(), 1u);
        EXPECT_EQ(e.entries[0].rule, c.second) << c.first;
        EXPECT_EQ(e.entries[0].listed, c.second == ExcludedBy::Nothing) << c.first;
    }
}

TEST(Explain, SystemFilesAreReadStrictly) {
    SystemDescription system;
    std::string problem;
    ASSERT_TRUE(ParseSystemFile("# a PC\r\nOS = Vista\r\nie=9.0.8112.16421\r\niis=7.5\r\n"
                                "regkey=hkcu\\Software\\X\r\ninstalled=\xEA\xB0\x80\r\n",
                                system, problem));
    EXPECT_EQ(system.profile.osCode, 6);
    EXPECT_EQ(system.profile.ieVersion, 9);
    EXPECT_EQ(system.profile.iisVersion, 7);
    EXPECT_EQ(system.registryKeys.at(0), "HKEY_CURRENT_USER\\Software\\X");
    EXPECT_EQ(system.installedNames.at(0), "\xB0\xA1");  // UTF-8 taken to CP949
    for (const char* bad : {"os=11", "bits=16", "language=korean", "ie=eight", "snmp=maybe",
                            "dotnet=3.x", "regkey=HKU\\S", "colour=blue", "just text",
                            "name=twice"}) {
        SystemDescription ignored;
        EXPECT_FALSE(ParseSystemFile(std::string("name=x\n") + bad, ignored, problem)) << bad;
        EXPECT_EQ(problem.rfind("line 2", 0), 0u) << bad << ": " << problem;
    }
}

// ---------------------------------------------------------------------------
// The command

TEST(Command, ExitStatusTellsCleanErrorsAndUnusable) {
    TempFolder folder;
    const std::string bad = folder.Path() + "/4_32_18.ini";
    WriteAll(bad, Entry("SPVERS=2\r\n"));
    const std::string system = kSource + "/server/demo/systems/xp-sp3-ko.txt";
    const struct {
        std::vector<std::string> arguments;
        int status;
    } cases[] = {
        {{"check", DemoCatalogs()[1], DemoCatalogs()[2]}, 0},
        {{"check", DemoCatalogs()[1], bad}, 1},
        {{"check", folder.Path() + "/missing.ini", DemoCatalogs()[1]}, 2},
        {{"check", folder.Path()}, 2},
        {{"check"}, 2},
        {{"check", "--frobnicate", bad}, 2},
        {{"check", "--tree", folder.Path() + "/none", bad}, 2},
        {{"check", "--pubkey", bad, bad}, 2},
        {{"check", "--pubkey", kSource + "/server/demo/trust-demo.pub.pem", "--openssl",
          folder.Path() + "/no-openssl", bad}, 2},
        {{"explain", DemoCatalogs()[1], "--system", system}, 0},
        {{"explain", DemoCatalogs()[1]}, 2},
        {{"explain", DemoCatalogs()[1], "--system", bad}, 2},
        {{"lint", bad}, 2},
        {{"--help"}, 0},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        std::string line;
        for (const std::string& a : c.arguments) line += a + " ";
        EXPECT_EQ(RunChecker(c.arguments, out, err), c.status) << line << "\n" << out.str() << err.str();
    }
}

TEST(Command, TheProgramPrintsOneLinePerFinding) {
    TempFolder folder;
    const std::string bad = folder.Path() + "/4_32_18.ini";
    WriteAll(bad, Entry("SPVERS=2\r\nIEVER=6.0\r\n"));
    const ProgramRun run = RunProgram({QUELLFIX_CHECK, "check", bad});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitStatus, 1) << run.output;
    EXPECT_NE(run.output.find(bad + ":8: error: [1] "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(bad + ":9: warning: [1] "), std::string::npos) << run.output;
}

}  // namespace

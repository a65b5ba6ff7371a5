// The catalog checker: the profile reader on odd files, one bad catalog per kind of finding, the
// demo catalogs (clean, and pinned and signed in a served tree through the real sign_tree.py and
// openssl), explain on the demo systems, and the command's exit status, once as a real process.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <tuple>

#include "checker/CatalogCheck.h"
#include "checker/Command.h"
#include "checker/Explain.h"
#include "checker/Publishing.h"
#include "core/IniText.h"

namespace {

const std::string kSource = QUELLFIX_SOURCE_DIR;
const std::string kDemo = kSource + "/server/demo/";
const std::string kServed = kSource + "/server/update/v2/";
const char* const kDemoCatalogs[] = {"1_32_18.ini", "4_32_18.ini", "4_32_9.ini", "6_32_18.ini",
                                     "6_32_9.ini",  "6_64_18.ini", "6_64_9.ini"};

std::string ReadAll(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

void WriteAll(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// A folder of its own for one test, gone at its end.
struct TempFolder {
    std::string path = [] { char name[] = "/tmp/quellfix-check-XXXXXX"; return std::string(::mkdtemp(name)); }();
    ~TempFolder() { RunProgram({"rm", "-rf", path}); }
};

// The profile reader: what it answers, and on which line the answer stands

TEST(Reader, AnswersOddFilesAsTheWindowsProfileReader) {
    const std::string lineEnds = "; top\r\n[S]\rA=1\n\nB=2\r\n[T]\r\nC=3";  // no final line end
    const struct {
        const char *name; std::string text; const char *section, *key; std::string expected;
        int line; std::size_t size = 1024;  // line: of the key read, 0 for none
    } cases[] = {
        {"blanks_around_everything", "  [ INFO ]  \r\n \t COUNT \v=  7 \t\r\n", "INFO", "COUNT", "7", 2},
        {"any_letter_case", "[info]\ncount=3\n", " INFO ", "Count", "3", 2},
        {"double_quotes_keep_inner_blanks", "[S]\nA= \"  x  \" \n", "S", "A", "  x  ", 2},
        {"single_quotes", "[S]\nA='x'\n", "S", "A", "x", 2},
        {"unequal_quotes_stay", "[S]\nA=\"x'\n", "S", "A", "\"x'", 2},
        {"outer_pair_only", "[S]\nA=\"'x'\"\n", "S", "A", "'x'", 2},
        {"lone_quote_stays", "[S]\nA=\"\n", "S", "A", "\"", 2},
        {"first_key_wins", "[S]\nA=1\na=2\n", "S", "A", "1", 2},
        {"first_section_only", "[S]\nA=1\n[s]\nB=2\n", "S", "B", "(missing)", 0},
        {"cut_to_size", "[S]\nA=" + std::string(2000, 'x') + "\n", "S", "A", std::string(1023, 'x'), 2},
        {"cut_never_splits_a_character", "[S]\nA=" + std::string(1022, 'x') + "\xB0\xA1\n", "S", "A", std::string(1022, 'x'), 2},
        {"quotes_go_before_the_cut", "[S]\nA=\"abcdef\"\n", "S", "A", "abc", 2, 4},
        {"quoted_value_filling_the_buffer_whole", "[S]\nA=\"abc\"\n", "S", "A", "abc", 2, 4},
        {"header_without_bracket_names_a_section", "[ S \nA=1\n", "S", "A", "1", 2},
        {"comment_lines", "[S]\n;A=1\n  ;B=2\n", "S", "B", "(missing)", 0},
        {"semicolon_and_equals_in_value", "[S]\nC=;3 ;x=y\n", "S", "C", ";3 ;x=y", 2},
        {"cr_lf_and_blank_lines", lineEnds, "S", "B", "2", 5},
        {"no_final_line_end", lineEnds, "T", "C", "3", 7},
        {"text_after_bracket_ignored", "[S]A=1\nB=2\n", "S", "A", "(missing)", 0},
        {"name_ends_at_first_bracket", "[S]x]\nA=1\n", "S", "A", "1", 2},
        {"empty_value_is_a_value", "[S]\nA=\n", "S", "A", "", 2},
        {"nul_ends_a_value", std::string("[S]\nA=ab\0cd\n", 12), "S", "A", "ab", 2},
        {"size_zero", "[S]\nA=1\n", "S", "A", "", 2, 0},
        {"empty_file_default_cut_too", "", "S", "A", "(mi", 0, 4},
    };
    for (const auto& c : cases) {
        const IniText ini(c.text);
        EXPECT_EQ(ini.Read(c.section, c.key, "(missing)  ", c.size), c.expected) << c.name;
        const IniKey* key = ini.FindKey(c.section, c.key);
        EXPECT_EQ(key ? key->line : 0, c.line) << c.name;
    }
}

// The check of one catalog

// [INFO] for `count` entries, on lines 1 to 3.
std::string Info(int count) { return "[INFO]\r\nCOUNT=" + std::to_string(count) + "\r\nLANGUAGE=18\r\n"; }

// Entry [n] with what a run needs (four lines, downloading `file`), then `keys`.
std::string Entry(int n, const std::string& keys = "", std::string file = "") {
    if (file.empty()) file = "a" + std::to_string(n) + ".exe";
    return "[" + std::to_string(n) + "]\r\nTITLE=t\r\nURL=http://h/update/files/" + file +
           "\r\nFILENAME=" + file + "\r\n" + keys;
}

// A catalog of one entry, `keys` on lines 8 on.
std::string One(const std::string& keys) { return Info(1) + Entry(1, keys); }

CatalogReport Check(const std::string& text) {
    Openssl openssl(QUELLFIX_OPENSSL[0] ? QUELLFIX_OPENSSL : "openssl");
    return CheckCatalog("4_32_18.ini", text, CheckOptions(), openssl);
}

// "E unknown-key 8 9, W read-differently 10": severity, tag and lines, in line order.
std::string Summary(const CatalogReport& report) {
    std::string all, last;
    for (const Finding& f : report.findings) {
        const std::string kind = (f.severity == Severity::Error ? "E " : "W ") + std::string(KindTag(f.kind));
        all += (kind == last ? " " : (all.empty() ? "" : ", ") + kind + " ") + std::to_string(f.line);
        last = kind;
    }
    return all;
}

std::string Listed(const CatalogReport& report) {
    std::string all;
    for (const Finding& f : report.findings) all += FormatFinding("catalog", f) + "\n";
    return all;
}

// True when a message names `word` as a word or number of its own ("6" is not in "6.0").
bool Names(const CatalogReport& report, const std::string& word) {
    for (const Finding& f : report.findings)
        if (std::regex_search(f.message, std::regex("\\b" + word + "\\b(?!\\.[0-9])"))) return true;
    return false;
}

TEST(Check, EachFaultIsReportedOnItsLineAndNothingElse) {
    // `expected` the Summary() of its findings, `names` what a message must name (or null).
    const struct { const char* name; std::string text; std::string expected; const char* names; } cases[] = {
        {"not_cp949", One("DESCRIPTION=ok \xB0[\r\nARTICLE=a" + std::string(1, '\0') + "b\r\n"), "E not-cp949 8 9", nullptr},
        {"not_cp949_counted_after_ten", One("ARTICLE=" + std::string(15, '\x80') + "\r\n"), "E not-cp949 0 8 8 8 8 8 8 8 8 8 8", "5"},
        // Windows takes the mark for part of the first line: no [INFO].
        {"utf8_byte_order_mark", "\xEF\xBB\xBF" + One(""), "E no-info 0, E byte-order-mark 1, W ignored-line 1 2 3, W beyond-count 4", nullptr},
        {"utf16", std::string("\xFF\xFE[\0I\0", 6), "E byte-order-mark 1", nullptr},
        {"no_info", Entry(1), "E no-info 0, W beyond-count 1", nullptr},
        {"no_language", "[INFO]\r\nCOUNT=1\r\n" + Entry(1), "E no-language 1", nullptr},
        {"language_identifier", "[INFO]\r\nCOUNT=1\r\nLANGUAGE=1042\r\n" + Entry(1), "E no-language 3", nullptr},
        {"language_not_the_file_names", "[INFO]\r\nCOUNT=1\r\nLANGUAGE=9\r\n" + Entry(1), "E language-name 3", "18"},
        {"count_above_sections", Info(3) + Entry(1), "E count 2", nullptr},
        {"no_count", "[INFO]\r\nLANGUAGE=18\r\n" + Entry(1), "E count 1, W beyond-count 3", nullptr},
        {"count_above_limit", Info(2000000000), "E count-limit 2, E count 2", nullptr},
        {"sections_never_read", One("[2]\r\nTITLE=x\r\n[01]\r\n[1]\r\nSPVER=3\r\n"),
         "W beyond-count 8, W unknown-section 10, W duplicate-section 11", nullptr},
        {"second_key_of_a_name", One("title=again\r\n"), "W duplicate-key 8", nullptr},
        {"ignored_lines", "COUNT=1\r\n" + One("REGKEY KB1\r\n"), "W ignored-line 1 9", nullptr},
        {"section_headers", Info(2) + "[ 1 ]" + Entry(1).substr(3) + "[2" + Entry(2).substr(3), "W section-header 4 8", nullptr},
        {"unknown_keys", One("SPVERS=2\r\nREGKEY1=KB1\r\nCOUNT=1\r\nAUTHOR=me\r\n"), "E unknown-key 8 9, W unknown-key 10 11", "SPVER"},
        {"read_differently", "[INFO]\r\nCOUNT=1 entry\r\nLANGUAGE=18\r\n" +
             Entry(1, "IEVER=6.0\r\nENABLE=no\r\nIISVER=required\r\nTYPE=APP\r\nDOTNETVER=3.5\r\n"),
         "W read-differently 2 8 9 10 11 12", "6"},
        {"service_pack_lists", Info(3) + Entry(1, "SPVER=2, 3\r\n") + Entry(2, "SPVER=2,x\r\n") + Entry(3, "SPVER=-1,2\r\n"),
         "W service-pack-list 8 13 18", "2,0"},
        {"registry_roots", One("REGKEY=HKLM\\SOFTWARE\\X\r\nREGKEY2=hkey_local_machine\\SOFTWARE\\X\r\n"
                               "REGKEY3=HKEY_CURRENT_USER/Software\r\nREGKEY4=HKEY_CLASSES_ROOT\\\r\n"),
         "W registry-root 8 9 10 11", nullptr},
        {"never_read", One("REGKEY=KB1\r\nREGKEY3=KB3\r\nDOTNETVER=require\r\nDOTNETSPVER=1\r\n"), "W never-read 9 11", nullptr},
        {"value_cut", One("DESCRIPTION=" + std::string(1023, 'x') + "\r\n"), "W value-cut 8", nullptr},
        {"missing_keys", Info(3) + "[1]\r\nURL=http://h/a\r\nFILENAME=a1.exe\r\n[2]\r\nTITLE=t\r\nFILENAME=a2.exe\r\n"
                                   "[3]\r\nTITLE=t\r\nURL=http://h/a\r\n", "E missing-key 4 7 10", nullptr},
        {"unsafe_file_names", Info(2) + Entry(1, "", "nul.exe") + Entry(2, "", std::string(240, 'a')), "E unsafe-filename 7 11", nullptr},
        {"shared_file_name", Info(2) + Entry(1) + Entry(2, "", "A1.EXE"), "E shared-filename 11", "1"},
        {"malformed_sha256", One("SHA256=3f8a0c6e...\r\n"), "E malformed-sha256 8", nullptr},
        // What is read as it is written is not reported.
        {"read_as_written", Info(4) + Entry(1, "IEVER=\"7\"\r\nENABLE=1\r\nSPVER=2,3\r\nWMPVER=+9\r\nDOTNETVER=require\r\n") +
             Entry(2, "REGKEY=HKEY_LOCAL_MACHINE\\SOFTWARE\\X\r\nregkey2=KB1\r\nType=patch\r\n") +
             Entry(3, "SPVER= -1 \r\nIISVER=Require\r\nSNMPVER=notrequire\r\nDOTNETVER=20\r\nDOTNETSPVER=1\r\n") +
             Entry(4, "SHA256=" + std::string(64, 'A') + "\r\nCMDLINE=none\r\n; a note\r\n"), "", nullptr},
        {"lower_case_lf", "; by hand\n[info]\ncount=1\nlanguage=18\n\n[1]\ntitle=t\nurl=http://h/a\nfilename=a", "", nullptr},
        {"unlisted_entries_need_nothing", Info(3) + Entry(1) + "[2]\r\nENABLE=0\r\n[3]\r\nTYPE=APPLICATION\r\nFILENAME=a1.exe\r\n", "", nullptr},
    };
    for (const auto& c : cases) {
        const CatalogReport report = Check(c.text);
        EXPECT_EQ(Summary(report), c.expected) << c.name << "\n" << Listed(report);
        if (c.names) EXPECT_TRUE(Names(report, c.names)) << c.name << ": no " << c.names << "\n" << Listed(report);
    }
}

// A served tree: the demo catalogs pinned and signed with the demo key by
// sign_tree.py, then checked with --tree and --pubkey through openssl

TEST(ServedTree, IsCleanWhenPublishedAndShowsEveryChangeAfterSigning) {
    TempFolder folder;
    const std::string tree = folder.path + "/tree", v2 = tree + "/update/v2/", files = tree + "/update/files/";
    ASSERT_EQ(RunProgram({"mkdir", "-p", v2, files}).exitStatus, 0);

    // The files URLs name: the path below the host or the base, decoded, never outside the tree.
    WriteAll(files + "a b.exe", "x");
    WriteAll(folder.path + "/outside", "x");
    for (const auto& [url, base, served] : std::vector<std::tuple<std::string, std::string, bool>>{
             {"http://h:8/update/files/a%20b.exe?x=1", "", true}, {"http://w/q/update//./files/a%20b.exe", "http://w/q/", true},
             {"http://h/update/files/a%20b.exe", "http://w/q/", false}, {"http://h/update/../../outside", "", false},
             {"http://h/update/files/a%5cb.exe", "", false}, {"http://h/update/files/a%2", "", false}})
        EXPECT_EQ(ServedFile(tree, url, base), served ? files + "a b.exe" : "") << url << " below " << base;

    if (!QUELLFIX_PYTHON[0] || !QUELLFIX_OPENSSL[0]) GTEST_SKIP() << "python3 or openssl missing";
    for (const char* name : kDemoCatalogs) {
        const std::string bytes = ReadAll(kServed + name);
        WriteAll(v2 + name, bytes);
        const IniText ini(bytes);  // a small installer of its own for each file the catalog downloads
        for (const IniSection& section : ini.Sections())
            if (const IniKey* file = ini.FindKey(section.name, "FILENAME")) WriteAll(files + file->value, file->value);
    }
    const std::string tool = kSource + "/server/sign_tree.py";
    ASSERT_EQ(RunProgram({QUELLFIX_PYTHON, tool, "hash", tree}).exitStatus, 0);
    const ProgramRun sign = RunProgram({QUELLFIX_PYTHON, tool, "sign", tree, "--key", kDemo + "trust-demo.pem"});
    ASSERT_EQ(sign.exitStatus, 0) << sign.output;

    std::string out;
    const auto check = [&] {
        std::ostringstream output;
        const int status = RunChecker({"check", "--tree", tree, "--pubkey", kDemo + "trust-demo.pub.pem",
                                       "--openssl", QUELLFIX_OPENSSL}, output, output);
        out = output.str();
        return status;
    };
    // True when a finding of `tag` is printed for `where`, "FILE" or "FILE:LINE".
    const auto reports = [&](const std::string& tag, const std::string& where) {
        return std::regex_search(out, std::regex("(^|\n)" + v2 + where + ":[^\n]*\\(" + tag + "\\)"));
    };
    EXPECT_EQ(check(), 0) << out;
    EXPECT_EQ(out.find(v2), std::string::npos) << "a finding in the published tree\n" << out;

    // An installer replaced after hashing, a catalog edited after signing, and an
    // unsigned catalog with an entry served elsewhere and one without a pin.
    WriteAll(files + "WindowsXP-KB990001-x86-KOR.exe", "another installer");
    WriteAll(v2 + "6_32_9.ini", ReadAll(v2 + "6_32_9.ini") + "; edited\r\n");
    WriteAll(v2 + "0_32_18.ini", Info(2) + "[1]\r\nTITLE=t\r\nURL=http://other.example/x.exe\r\nFILENAME=x.exe\r\n"
                                 "[2]\r\nTITLE=u\r\nURL=http://h/update/files/KB990201-W98-KOR.exe\r\nFILENAME=u.exe\r\n");
    EXPECT_EQ(check(), 1) << out;
    for (const auto& [tag, where, shown] : std::vector<std::tuple<std::string, std::string, bool>>{
             {"sha256-mismatch", "4_32_18.ini", true}, {"sha256-mismatch", "4_32_9.ini", false},
             {"signature", "6_32_9.ini", true}, {"signature", "6_64_9.ini", false}, {"signature", "0_32_18.ini", true},
             {"not-in-tree", "0_32_18.ini:6", true}, {"no-sha256", "0_32_18.ini:8", true}})
        EXPECT_EQ(reports(tag, where), shown) << tag << " for " << where << "\n" << out;
}

TEST(Explain, EachEntryIsListedOrNamesTheFirstRuleThatExcludesIt) {
    using R = ExcludedBy;
    // `catalog` a demo catalog, or null for one of `keys` in entry [1]; `number` 0: nothing is
    // evaluated, the language not being the system's; `why` part of the explanation, or null.
    const struct {
        const char *catalog, *keys, *system; int number; ExcludedBy rule; bool installed; const char* why;
    } cases[] = {
        {"4_32_18.ini", nullptr, "xp-sp3-ko", 1, R::None, false, nullptr},
        {"4_32_18.ini", nullptr, "xp-sp3-ko", 3, R::None, true, "REGKEY2=Q990003"},
        {"4_32_9.ini", nullptr, "xp-sp2-en", 2, R::IeVersion, false, "IEVER=8"},
        {"6_64_18.ini", nullptr, "vista-sp2-ko-64", 3, R::None, true, "KB990103"},
        {"1_32_18.ini", nullptr, "win98se-ko", 1, R::None, false, nullptr},
        {"4_32_18.ini", nullptr, "xp-sp2-en", 0, R::None, false, nullptr},
        // Of two rules that exclude an entry, the one the program applies first is named.
        {nullptr, "ENABLE=0\r\nIEVER=99\r\n", "xp-sp3-ko", 1, R::Enable, false, "ENABLE=0"},
        {nullptr, "IEVER=99\r\nWMPVER=10\r\n", "xp-sp3-ko", 1, R::IeVersion, false, nullptr},
        {nullptr, "WMPVER=10\r\nSPVER=2\r\n", "xp-sp3-ko", 1, R::MediaPlayer, false, nullptr},
        {nullptr, "SPVER=2\r\nIISVER=require\r\n", "xp-sp3-ko", 1, R::ServicePacks, false, "SPVER=2"},
        {nullptr, "IISVER=require\r\nSNMPVER=require\r\n", "xp-sp3-ko", 1, R::Iis, false, "IISVER=require"},
        {nullptr, "SNMPVER=require\r\nDOTNETVER=require\r\n", "xp-sp3-ko", 1, R::Snmp, false, nullptr},
        {nullptr, "DOTNETVER=require\r\nWMFVER=9\r\n", "xp-sp3-ko", 1, R::DotNet, false, nullptr},
        {nullptr, "DOTNETVER=35\r\nDOTNETSPVER=2\r\nWMFVER=9\r\n", "vista-sp2-ko-64", 1, R::DotNetServicePack, false, nullptr},
        {nullptr, "WMFVER=9\r\nTYPE=Application\r\n", "xp-sp3-ko", 1, R::MediaFormat, false, nullptr},
        {nullptr, "TYPE=Application\r\nREGKEY=KB990004\r\n", "xp-sp3-ko", 1, R::Type, false, nullptr},
    };
    for (const auto& c : cases) {
        const std::string text = c.catalog ? ReadAll(kServed + c.catalog) : Info(1) + "[1]\r\n" + c.keys;
        SystemDescription system;
        std::string problem;
        ASSERT_TRUE(ParseSystemFile(ReadAll(kDemo + "systems/" + c.system + ".txt"), system, problem)) << c.system << ": " << problem;
        const Explanation e = ExplainCatalog(IniText(text), system);
        const std::string which = std::string(c.catalog ? c.catalog : c.keys) + " [" + std::to_string(c.number) + "] on " + c.system;
        EXPECT_EQ(e.languageMatches, c.number > 0) << which;
        EXPECT_EQ(e.entries.empty(), c.number == 0) << which;
        if (c.number == 0) continue;
        ASSERT_GE(e.entries.size(), static_cast<std::size_t>(c.number)) << which;
        const EntryOutcome& entry = e.entries[c.number - 1];
        EXPECT_EQ(entry.rule, c.rule) << which;
        EXPECT_EQ(entry.listed, c.rule == R::None) << which;
        EXPECT_EQ(entry.installed, c.installed) << which;
        EXPECT_GT(entry.line, 0) << which;
        if (c.why) EXPECT_NE(entry.why.find(c.why), std::string::npos) << which << ": " << entry.why;
    }
    // System files beside the demo ones: short root names, UTF-8 names, and what is refused.
    SystemDescription system;
    std::string problem;
    ASSERT_TRUE(ParseSystemFile("# a PC\r\nOS = Vista\r\niis=7.5\r\nregkey=hkcu\\Software\\X\r\ninstalled=\xEA\xB0\x80\r\n",
                                system, problem)) << problem;
    EXPECT_EQ(system.profile.osCode, 6);
    EXPECT_EQ(system.profile.iisVersion, 7);
    EXPECT_EQ(system.registryKeys.at(0), "HKEY_CURRENT_USER\\Software\\X");
    EXPECT_EQ(system.installedNames.at(0), "\xB0\xA1");  // UTF-8 taken to CP949
    for (const char* bad : {"os=11", "bits=16", "language=korean", "ie=eight", "snmp=maybe",
                            "dotnet=3.x", "regkey=HKU\\S", "colour=blue", "just text", "name=twice"}) {
        SystemDescription ignored;
        EXPECT_FALSE(ParseSystemFile(std::string("name=x\n") + bad, ignored, problem)) << bad;
        EXPECT_EQ(problem.rfind("line 2", 0), 0u) << bad << ": " << problem;
    }
}

// The command: 0 clean, 1 errors found, 2 a usage error or what cannot be read or run

TEST(Command, ExitStatusTellsCleanErrorsAndUnusable) {
    TempFolder folder;
    const std::string bad = folder.path + "/4_32_18.ini", good = kServed + "4_32_18.ini";
    WriteAll(bad, One("SPVERS=2\r\nIEVER=6.0\r\n"));
    const std::string system = kDemo + "systems/xp-sp3-ko.txt", pubkey = kDemo + "trust-demo.pub.pem";
    const struct { std::vector<std::string> arguments; int status; } cases[] = {
        {{"check", good, kServed + "4_32_9.ini"}, 0},
        {{"check", folder.path + "/missing.ini", good}, 2},
        {{"check", folder.path}, 2},
        {{"check", "--frobnicate", bad}, 2},
        {{"check", "--tree", folder.path + "/none", bad}, 2},
        {{"check", "--pubkey", pubkey, "--openssl", folder.path + "/no-openssl", bad}, 2},
        {{"explain", good, "--system", system}, 0},
        {{"explain", good}, 2},
        {{"explain", good, "--system", bad}, 2},
        {{"--help"}, 0},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        EXPECT_EQ(RunChecker(c.arguments, out, out), c.status) << ::testing::PrintToString(c.arguments) << "\n" << out.str();
    }
    // The program itself, a clean file first: one line per finding, FILE:LINE: severity: [SECTION] ...
    const ProgramRun run = RunProgram({QUELLFIX_CHECK, "check", good, bad});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitStatus, 1) << run.output;
    EXPECT_NE(run.output.find(bad + ":8: error: [1] "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(bad + ":9: warning: [1] "), std::string::npos) << run.output;
}

}  // namespace

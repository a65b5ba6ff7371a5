// The installed-name rule, OS identification from version facts, the choice
// of a version resource's string table and the system summary line: tables
// over plain values.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "core/InstalledNames.h"
#include "core/SilentSwitches.h"
#include "core/OsIdentity.h"
#include "core/SummaryLine.h"

namespace {

// CP949 bytes are written out: this program is built with UTF-8 literals.
TEST(InstalledLookup, LowerCasedSubstringOfAnEntryCharacterByCharacter) {
    const std::vector<std::string> entries = {"windows xp", "KB900000-IE7"};
    const struct { std::vector<std::string> list; const char* identifier; bool installed; } cases[] = {
        {entries, "KB90000", true}, {entries, "Windows XP", true}, {entries, "KB900000-IE7-SP1", false},
        {{}, "KB900000", false},
        // 0x81 to 0xFE start a character whose second byte may look like 'A';
        // 0x80 and 0xFF start none.
        {{"\x81\x41"}, "\x81\x61", false}, {{"\xFE\x41"}, "\xFE\x61", false},
        {{"\x80" "A"}, "\x80" "a", true}, {{"\xFF" "A"}, "\xFF" "a", true}, {{"\xC7\xD1" "A"}, "\xC7\xD1" "a", true},
        // The second byte of one character and the first of the next are no character.
        {{"\xB0\xA1\xB0\xA1"}, "\xA1\xB0", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsNameInstalled(c.list, c.identifier), c.installed) << c.identifier;
}

TEST(TranslationOrder, PicksTheFirstMatchOfTheSearchOrder) {
    // Entries are code page << 16 | language; the user's language is 0x0412.
    const struct { const char* name; std::vector<uint32_t> translations; uint32_t expected; } cases[] = {
        {"empty", {}, 0},
        {"user_language", {0x04E40409, 0x04B00000, 0x03B50812, 0x03B50412}, 0x03B50412},
        {"same_low_byte", {0x04E40409, 0x04B00000, 0x03B50812}, 0x03B50812},
        {"neutral_before_low_byte_0", {0x04E40409, 0x04B00400, 0x04B00000}, 0x04B00000},
        {"english_before_low_byte_9", {0x04E40409, 0x04E40009}, 0x04E40009},
        {"code_page_is_not_a_language", {0x04120407, 0x04120409}, 0x04120409},
        {"otherwise_the_first", {0x04E40407, 0x04E4040C}, 0x04E40407},
    };
    for (const auto& c : cases) EXPECT_EQ(PickTranslation(c.translations, 0x0412), c.expected) << c.name;
}

// The facts in OsVersionFacts order: versionOk, major, minor, build, platformId, csd,
// suiteMask, productType, processorArchitecture, hasProductInfo, productValue, serverR2.
OsVersionFacts Nt(unsigned long major, unsigned long minor, unsigned long build, const char* csd = "",
                  unsigned productType = 1, unsigned suite = 0, unsigned arch = 0) {
    return OsVersionFacts{true, major, minor, build, 2, csd, suite, productType, arch};
}
OsVersionFacts Vista(unsigned productType, unsigned long productValue, unsigned arch, const char* csd = "") {
    return OsVersionFacts{true, 6, 0, 6000, 2, csd, 0, productType, arch, true, productValue};
}
OsVersionFacts Server2003(unsigned productType, unsigned suite, unsigned arch, int r2 = 0, const char* csd = "") {
    return OsVersionFacts{true, 5, 2, 3790, 2, csd, suite, productType, arch, false, 0, r2};
}
// Windows 9x packs the version into the build number.
OsVersionFacts Win9x(unsigned long minor, const char* csd, unsigned long major = 4) {
    return OsVersionFacts{true, major, minor, (major << 24) | (minor << 16) | 2222, 1, csd};
}

TEST(OsIdentification, NameCodeBitsAndServicePack) {
    const std::string w = "Microsoft Windows ", xp = w + "XP Professional ", longCsd = std::string(290, 'x') + " 7";
    const struct { const char* label; OsVersionFacts facts; int osCode, osBits, sp; std::string name; } cases[] = {
        {"vista_x64", Vista(1, 1, 9, "SP 1"), 6, 64, 1, w + "Vista Ultimate Edition, 64-bit SP 1 (build 6000)"},
        {"vista_no_product_info", OsVersionFacts{true, 6, 0, 6000, 2, "", 0, 1, 0, false, 1}, 6, 32, 0,
         w + "Vista , 32-bit (build 6000)"},
        {"vista_itanium", Vista(1, 6, 6), 6, 32, 0, w + "Vista Business Edition (build 6000)"},
        {"server2008_x64", Vista(3, 8, 9), 7, 64, 0, w + "Server 2008 Datacenter Edition, 64-bit (build 6000)"},
        // The Server 2003 family's tests, in order.
        {"r2_first", Server2003(3, 0x2000, 0, 1), 5, 32, 0, w + "Server 2003 R2, Standard Edition (build 3790)"},
        {"storage_server", Server2003(3, 0x2000, 0), 5, 32, 0, w + "Storage Server 2003Standard Edition (build 3790)"},
        {"not_storage", Server2003(3, 0x2002, 0), 5, 32, 0, w + "Server 2003, Enterprise Edition (build 3790)"},
        {"xp_x64", Server2003(1, 0, 9, 0, "SP 2"), 4, 64, 2, w + "XP Professional x64 Edition SP 2 (build 3790)"},
        {"workstation_on_itanium", Server2003(1, 0, 6), 5, 32, 0, w + "Server 2003,  (build 3790)"},
        {"xp_professional", Nt(5, 1, 2600, "Service Pack 3", 1, 0x100), 4, 32, 3, xp + "Service Pack 3 (build 2600)"},
        {"xp_home", Nt(5, 1, 2600, "", 1, 0x300), 4, 32, 0, w + "XP Home Edition (build 2600)"},
        {"2000_professional", Nt(5, 0, 2195), 3, 32, 0, w + "2000 Professional (build 2195)"},
        {"2000_datacenter", Nt(5, 0, 2195, "", 3, 0x82), 3, 32, 0, w + "2000 Datacenter Server (build 2195)"},
        {"2000_advanced", Nt(5, 0, 2195, "", 2, 0x2), 3, 32, 0, w + "2000 Advanced Server (build 2195)"},
        {"2000_server", Nt(5, 0, 2195, "", 3, 0x400), 3, 32, 0, w + "2000 Server (build 2195)"},
        {"windows7", Nt(6, 1, 7601, "Service Pack 1", 1, 0, 9), 0, 32, 1, "Microsoft  Service Pack 1 (build 7601)"},
        // The service pack is the number after the last space of the CSD text, if any.
        {"csd_last_word_text", Nt(5, 1, 2600, "SP 2, v.3311"), 4, 32, 0, xp + "SP 2, v.3311 (build 2600)"},
        {"csd_only_digits", Nt(5, 1, 2600, "3"), 4, 32, 3, xp + "3 (build 2600)"},
        {"csd_beyond_int", Nt(5, 1, 2600, "SP 99999999999"), 4, 32, 2147483647, xp + "SP 99999999999 (build 2600)"},
        {"name_cut_at_255", Nt(5, 1, 2600, longCsd.c_str()), 4, 32, 7, (xp + longCsd).substr(0, 255)},
        // Windows 95, 98 and Millennium: the second CSD character marks the later releases.
        {"win95", Win9x(0, ""), 0, 32, 0, "Microsoft Windows95 "},
        {"win95_osr2_b", Win9x(0, " B"), 0, 32, 1, "Microsoft Windows95 OSR2 "},
        {"win95_osr2_c", Win9x(0, " C"), 0, 32, 1, "Microsoft Windows95 OSR2 "},
        {"win98_se", Win9x(10, " A "), 1, 32, 1, "Microsoft Windows98 SE "},
        {"win98_mark_in_first_place", Win9x(10, "A"), 1, 32, 0, "Microsoft Windows98 "},
        {"millennium", Win9x(90, " "), 2, 32, 0, w + "Millennium Edition"},
        {"9x_unknown_minor", Win9x(50, ""), 0, 32, 0, "Microsoft "},
        {"9x_unknown_major", Win9x(0, "", 5), 0, 32, 0, "Microsoft "},
    };
    for (const auto& c : cases) {
        OsIdentity id = IdentifyFromFacts(c.facts);
        EXPECT_EQ(std::make_tuple(id.name, id.osCode, id.osBits, id.servicePack, id.unsupported),
                  std::make_tuple(c.name, c.osCode, c.osBits, c.sp, false)) << c.label;
    }
    // NT 4, an unknown platform and a failed query keep the caller's values, but not the bits.
    const struct { const char* label; OsVersionFacts facts; bool unsupported; } kept[] = {
        {"nt4", Nt(4, 0, 1381, "Service Pack 6a"), true},
        {"win32s", OsVersionFacts{true, 5, 1, 2600, 0, ""}, true},
        {"no_version", OsVersionFacts{false, 5, 1, 2600, 2, "SP3"}, false}};
    for (const auto& c : kept) {
        OsIdentity id = IdentifyFromFacts(c.facts, OsIdentity{"before", 9, 64, 5});
        EXPECT_EQ(std::make_tuple(id.name, id.osCode, id.osBits, id.servicePack, id.unsupported),
                  std::make_tuple(std::string("before"), 9, 32, 5, c.unsupported)) << c.label;
    }
}

TEST(OsIdentification, EditionTexts) {
    // Server 2003 by architecture and suite; a 64-bit server still counts as 32 bits.
    const struct { unsigned arch, suite; const char* edition; } servers[] = {
        {6, 0x82, "Datacenter Edition for Itanium-based Systems"}, {6, 0x2, "Enterprise Edition for Itanium-based Systems"},
        {6, 0x400, ""}, {9, 0x82, "Datacenter x64 Edition"}, {9, 0x2, "Enterprise x64 Edition"},
        {9, 0, "Standard x64 Edition"}, {0, 0x4082, "Compute Cluster Edition"}, {0, 0x482, "Datacenter Edition"},
        {0, 0x402, "Enterprise Edition"}, {0, 0x400, "Web Edition"}, {0, 0x100, "Standard Edition"}};
    for (const auto& c : servers) {
        OsIdentity id = IdentifyFromFacts(Server2003(3, c.suite, c.arch));
        EXPECT_EQ(id.name, std::string("Microsoft Windows Server 2003, ") + c.edition + " (build 3790)") << c.edition;
        EXPECT_EQ(id.osBits, 32) << c.edition;
    }
    // Vista by the product value, at the ends of its table and beyond them, where values add nothing.
    const struct { unsigned long value; const char* edition; } vistas[] = {
        {0, ""}, {25, "Small Business Server Premium Edition"}, {26, ""}, {0xABCD0001, ""}};
    for (const auto& c : vistas)
        EXPECT_EQ(IdentifyFromFacts(Vista(1, c.value, 0)).name,
                  std::string("Microsoft Windows Vista ") + c.edition + ", 32-bit (build 6000)") << c.value;
}

TEST(Summary, TextsOfMissingComponentsAndAnIisOfVersion0) {
    // IE 8 on OS code 6, 64 bits, SP 1, WMP 0, IIS 7, .NET 3.5, WMF 11, English.
    SystemProfile p{8, 6, 64, 1, 0, 7, 35, -1, 11, 0, 0, 0, 0x0409};
    // The detections' results decide the texts, not what the profile holds.
    EXPECT_EQ(FormatSummaryLine(p, "0", false, false, -1, false),
              "운영체제 코드 : 6 (64 비트, 영문판(9)), 서비스 팩 1, 인터넷 익스플로러 8, "
              "윈도우즈 미디어 플레이어 0, IIS 가 설치되지 않음, SNMP 설치되지 않음, "
              "닷넷 프레임워크 설치되지 않음, 윈도우즈 미디어 포맷 설치되지 않음");
    p.iisVersion = 0;
    EXPECT_NE(FormatSummaryLine(p, "0", true, true, 35, true)
                  .find(", IIS 버전 : 0, SNMP 설치됨, 닷넷 프레임워크 3.5 설치됨, 윈도우즈 미디어 포맷 11 설치됨"),
              std::string::npos);
}

}  // namespace

// The installed-name rule, OS identification from version facts, and the
// choice of a version resource's string table: tables over plain values.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/InstalledNames.h"
#include "core/InstallerRules.h"
#include "core/OsIdentity.h"

namespace {

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// CP949 bytes are written out: this program is built with UTF-8 literals.
TEST(InstalledLookup, LowerCasedSubstringOfAnEntryCharacterByCharacter) {
    const std::vector<std::string> entries = {"Windows XP", "KB900000-IE7"};
    struct {
        std::vector<std::string> list;
        const char* identifier;
        bool installed;
    } cases[] = {
        {entries, "kb90000", true},
        {entries, "windows xp", true},
        {entries, "KB900000-IE7-SP1", false},
        {{}, "KB900000", false},
        // 0x81 0x41 is one character whose second byte looks like 'A'.
        {{"\x81\x41"}, "\x81\x61", false},
        {{"\xC7\xD1" "A"}, "\xC7\xD1" "a", true},
        // The second byte of one character and the first of the next are no character.
        {{"\xB0\xA1\xB0\xA1"}, "\xA1\xB0", false},
        {{"\xBA\xB8\xBE\xC8 \xBE\xF7\xB5\xA5\xC0\xCC\xC6\xAE KB123"}, "\xBE\xF7\xB5\xA5\xC0\xCC\xC6\xAE kb", true},
    };
    for (const auto& c : cases) EXPECT_EQ(IsNameInstalled(c.list, c.identifier), c.installed) << c.identifier;
}

struct TranslationCase {
    const char* name;
    std::vector<uint32_t> translations;  // code page << 16 | language
    uint32_t expected;                 // for a Korean user, 0x0412
};

class TranslationOrder : public ::testing::TestWithParam<TranslationCase> {};

TEST_P(TranslationOrder, PicksTheFirstMatchOfTheSearchOrder) {
    EXPECT_EQ(PickTranslation(GetParam().translations, 0x0412), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, TranslationOrder,
    ::testing::Values(
        TranslationCase{"empty", {}, 0},
        TranslationCase{"user_language", {0x04E40409, 0x03B50812, 0x03B50412}, 0x03B50412},
        TranslationCase{"same_low_byte", {0x04E40409, 0x03B50812}, 0x03B50812},
        TranslationCase{"neutral_before_low_byte_0", {0x04B00400, 0x04B00000}, 0x04B00000},
        TranslationCase{"english_before_low_byte_9", {0x04E40409, 0x04E40009}, 0x04E40009},
        TranslationCase{"code_page_is_not_a_language", {0x04120407, 0x04120409}, 0x04120409},
        TranslationCase{"otherwise_the_first", {0x04E40407, 0x04E4040C}, 0x04E40407}),
    CaseName<TranslationCase>);

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

template <class Change>
OsVersionFacts Edit(OsVersionFacts f, Change change) {
    change(f);
    return f;
}

struct OsCase {
    const char* label;
    OsVersionFacts facts;
    int osCode, osBits, servicePack;
    bool unsupported;
    std::string name;
};

class OsIdentification : public ::testing::TestWithParam<OsCase> {};

TEST_P(OsIdentification, NameCodeBitsAndServicePack) {
    const OsCase& c = GetParam();
    OsIdentity id = IdentifyFromFacts(c.facts);
    EXPECT_EQ(id.name, c.name);
    EXPECT_EQ(id.osCode, c.osCode);
    EXPECT_EQ(id.osBits, c.osBits);
    EXPECT_EQ(id.servicePack, c.servicePack);
    EXPECT_EQ(id.unsupported, c.unsupported);
}

const std::string kLongCsd = std::string(290, 'x') + " 7";
const char kXp[] = "Microsoft Windows XP Professional ";

INSTANTIATE_TEST_SUITE_P(
    Roads, OsIdentification,
    ::testing::Values(
        OsCase{"vista_ultimate_x64", Vista(1, 1, 9, "Service Pack 1"), 6, 64, 1, false,
               "Microsoft Windows Vista Ultimate Edition, 64-bit Service Pack 1 (build 6000)"},
        OsCase{"vista_without_product_info", Edit(Vista(1, 1, 0), [](OsVersionFacts& f) { f.hasProductInfo = false; }),
               6, 32, 0, false, "Microsoft Windows Vista , 32-bit (build 6000)"},
        OsCase{"vista_itanium_has_no_bit_text", Vista(1, 6, 6), 6, 32, 0, false,
               "Microsoft Windows Vista Business Edition (build 6000)"},
        OsCase{"server2008_datacenter_x64", Vista(3, 8, 9), 7, 64, 0, false,
               "Microsoft Windows Server 2008 Datacenter Edition, 64-bit (build 6000)"},
        // The Server 2003 family's tests, in order.
        OsCase{"r2", Server2003(3, 0x2, 0, 1, "Service Pack 2"), 5, 32, 2, false,
               "Microsoft Windows Server 2003 R2, Enterprise Edition Service Pack 2 (build 3790)"},
        OsCase{"r2_wins_over_storage", Server2003(3, 0x2000, 0, 1), 5, 32, 0, false,
               "Microsoft Windows Server 2003 R2, Standard Edition (build 3790)"},
        OsCase{"storage_server_exact_suite", Server2003(3, 0x2000, 0), 5, 32, 0, false,
               "Microsoft Windows Storage Server 2003Standard Edition (build 3790)"},
        OsCase{"storage_bit_with_others", Server2003(3, 0x2002, 0), 5, 32, 0, false,
               "Microsoft Windows Server 2003, Enterprise Edition (build 3790)"},
        OsCase{"xp_professional_x64", Server2003(1, 0, 9, 0, "Service Pack 2"), 4, 64, 2, false,
               "Microsoft Windows XP Professional x64 Edition Service Pack 2 (build 3790)"},
        OsCase{"workstation_on_itanium", Server2003(1, 0, 6), 5, 32, 0, false,
               "Microsoft Windows Server 2003,  (build 3790)"},
        OsCase{"xp_professional", Nt(5, 1, 2600, "Service Pack 3", 1, 0x100), 4, 32, 3, false,
               "Microsoft Windows XP Professional Service Pack 3 (build 2600)"},
        OsCase{"xp_home", Nt(5, 1, 2600, "", 1, 0x300), 4, 32, 0, false,
               "Microsoft Windows XP Home Edition (build 2600)"},
        OsCase{"2000_professional", Nt(5, 0, 2195, "Service Pack 4"), 3, 32, 4, false,
               "Microsoft Windows 2000 Professional Service Pack 4 (build 2195)"},
        OsCase{"2000_datacenter", Nt(5, 0, 2195, "", 3, 0x82), 3, 32, 0, false,
               "Microsoft Windows 2000 Datacenter Server (build 2195)"},
        OsCase{"2000_advanced", Nt(5, 0, 2195, "", 2, 0x2), 3, 32, 0, false,
               "Microsoft Windows 2000 Advanced Server (build 2195)"},
        OsCase{"2000_server", Nt(5, 0, 2195, "", 3, 0x400), 3, 32, 0, false,
               "Microsoft Windows 2000 Server (build 2195)"},
        OsCase{"windows7_unnamed", Nt(6, 1, 7601, "Service Pack 1", 1, 0, 9), 0, 32, 1, false,
               "Microsoft  Service Pack 1 (build 7601)"},
        // Service-pack texts: the number after the last space, if any.
        OsCase{"csd_last_word_not_a_number", Nt(5, 1, 2600, "Service Pack 2, v.3311"), 4, 32, 0, false,
               std::string(kXp) + "Service Pack 2, v.3311 (build 2600)"},
        OsCase{"csd_without_digits", Nt(5, 1, 2600, "SP3"), 4, 32, 0, false, std::string(kXp) + "SP3 (build 2600)"},
        OsCase{"csd_only_digits", Nt(5, 1, 2600, "3"), 4, 32, 3, false, std::string(kXp) + "3 (build 2600)"},
        OsCase{"csd_number_beyond_int", Nt(5, 1, 2600, "Service Pack 99999999999"), 4, 32, 2147483647, false,
               std::string(kXp) + "Service Pack 99999999999 (build 2600)"},
        OsCase{"name_cut_at_255", Nt(5, 1, 2600, kLongCsd.c_str()), 4, 32, 7, false, (kXp + kLongCsd).substr(0, 255)},
        // Unsupported and failing.
        OsCase{"nt4", Nt(4, 0, 1381, "Service Pack 6a"), 0, 32, 0, true, ""},
        OsCase{"win32s_platform", Edit(Nt(5, 1, 2600), [](OsVersionFacts& f) { f.platformId = 0; }), 0, 32, 0, true, ""},
        OsCase{"version_unavailable", Edit(Nt(5, 1, 2600, "SP3"), [](OsVersionFacts& f) { f.versionOk = false; }), 0,
               32, 0, false, ""},
        // Windows 95, 98 and Millennium: the second CSD character marks the later releases.
        OsCase{"win95", Win9x(0, ""), 0, 32, 0, false, "Microsoft Windows95 "},
        OsCase{"win95_osr2_b", Win9x(0, " B"), 0, 32, 1, false, "Microsoft Windows95 OSR2 "},
        OsCase{"win95_osr2_c", Win9x(0, " C"), 0, 32, 1, false, "Microsoft Windows95 OSR2 "},
        OsCase{"win98", Win9x(10, ""), 1, 32, 0, false, "Microsoft Windows98 "},
        OsCase{"win98_se", Win9x(10, " A "), 1, 32, 1, false, "Microsoft Windows98 SE "},
        OsCase{"win98_mark_in_first_place", Win9x(10, "A"), 1, 32, 0, false, "Microsoft Windows98 "},
        OsCase{"millennium", Win9x(90, " "), 2, 32, 0, false, "Microsoft Windows Millennium Edition"},
        OsCase{"9x_unknown_minor", Win9x(50, ""), 0, 32, 0, false, "Microsoft "},
        OsCase{"9x_unknown_major", Win9x(0, "", 5), 0, 32, 0, false, "Microsoft "}),
    [](const ::testing::TestParamInfo<OsCase>& info) { return std::string(info.param.label); });

TEST(OsIdentification, Server2003EditionsByArchitectureAndSuite) {
    struct {
        unsigned arch, suite;
        const char* edition;
    } cases[] = {{6, 0x82, "Datacenter Edition for Itanium-based Systems"},
                 {6, 0x2, "Enterprise Edition for Itanium-based Systems"},
                 {6, 0x400, ""},
                 {9, 0x82, "Datacenter x64 Edition"},
                 {9, 0x2, "Enterprise x64 Edition"},
                 {9, 0, "Standard x64 Edition"},
                 {0, 0x4082, "Compute Cluster Edition"},
                 {0, 0x482, "Datacenter Edition"},
                 {0, 0x402, "Enterprise Edition"},
                 {0, 0x400, "Web Edition"},
                 {0, 0x100, "Standard Edition"}};
    for (const auto& c : cases) {
        OsIdentity id = IdentifyFromFacts(Server2003(3, c.suite, c.arch));
        EXPECT_EQ(id.name, std::string("Microsoft Windows Server 2003, ") + c.edition + " (build 3790)");
        EXPECT_EQ(id.osBits, 32) << c.edition;  // a 64-bit server still counts as 32 bits
    }
}

TEST(OsIdentification, VistaEditionFromTheProductValue) {
    struct {
        unsigned long value;
        const char* edition;
    } cases[] = {{0, ""}, {1, "Ultimate Edition"}, {5, ""}, {12, "Datacenter Edition (core installation)"},
                 {15, "Enterprise Edition for Itanium-based Systems"}, {16, ""}, {17, "Web Server Edition"},
                 {25, "Small Business Server Premium Edition"}, {28, ""}, {0xABCDABCD, ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(IdentifyFromFacts(Vista(1, c.value, 0)).name,
                  std::string("Microsoft Windows Vista ") + c.edition + ", 32-bit (build 6000)");
    }
}

TEST(OsIdentification, UnsupportedSystemKeepsTheCallersValuesButNotTheBits) {
    OsIdentity id = IdentifyFromFacts(Nt(4, 0, 1381, "Service Pack 6a"), OsIdentity{"before", 9, 64, 5});
    EXPECT_EQ(id.name, "before");
    EXPECT_EQ(id.osCode, 9);
    EXPECT_EQ(id.osBits, 32);
    EXPECT_EQ(id.servicePack, 5);
}

}  // namespace

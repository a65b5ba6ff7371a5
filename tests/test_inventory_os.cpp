// Operating-system identification: every road of the identification driven
// from a table of version facts, and the same code live under Wine's
// emulation of each Windows version the program knows.
#include <gtest/gtest.h>

#include <cstring>

#include "inventory/OsIdentify.h"
#include "support/InventorySupport.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

OsVersionFacts Nt(unsigned long major, unsigned long minor, unsigned long build, const char* csd,
                  unsigned productType = 1, unsigned suite = 0, unsigned arch = 0) {
    OsVersionFacts f;
    f.versionOk = true;
    f.platformId = 2;
    f.major = major;
    f.minor = minor;
    f.build = build;
    f.csd = csd;
    f.productType = productType;
    f.suiteMask = suite;
    f.processorArchitecture = arch;
    return f;
}

OsVersionFacts Vista(unsigned productType, unsigned long productValue, unsigned arch,
                     unsigned long build = 6000, const char* csd = "") {
    OsVersionFacts f = Nt(6, 0, build, csd, productType, 0, arch);
    f.hasProductInfo = true;
    f.productValue = productValue;
    return f;
}

OsVersionFacts Server2003(unsigned productType, unsigned suite, unsigned arch, int r2 = 0,
                          const char* csd = "") {
    OsVersionFacts f = Nt(5, 2, 3790, csd, productType, suite, arch);
    f.serverR2 = r2;
    return f;
}

OsVersionFacts Win9x(unsigned long major, unsigned long minor, const char* csd) {
    OsVersionFacts f;
    f.versionOk = true;
    f.platformId = 1;
    f.major = major;
    f.minor = minor;
    f.build = (major << 24) | (minor << 16) | 2222;  // 9x packs the version into the build
    f.csd = csd;
    return f;
}

OsVersionFacts Platform(unsigned long platformId) {
    OsVersionFacts f = Nt(5, 1, 2600, "");
    f.platformId = platformId;
    return f;
}

OsVersionFacts NoVersion() {
    OsVersionFacts f = Nt(5, 1, 2600, "Service Pack 3");
    f.versionOk = false;
    return f;
}

OsVersionFacts WithNoProductInfo(OsVersionFacts f) {
    f.hasProductInfo = false;
    return f;
}

struct OsCase {
    const char* label;
    OsVersionFacts facts;
    std::string name;
    int osCode;
    int osBits;
    int servicePack;
    bool unsupported;
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
    EXPECT_LE(id.name.size(), 255u);
}

const std::string kLongCsd = std::string(290, 'x') + " 7";

INSTANTIATE_TEST_SUITE_P(
    Roads, OsIdentification,
    ::testing::Values(
        // Windows Vista and Server 2008
        OsCase{"vista_ultimate_x64", Vista(1, 1, 9, 6001, "Service Pack 1"),
               "Microsoft Windows Vista Ultimate Edition, 64-bit Service Pack 1 (build 6001)", 6, 64, 1, false},
        OsCase{"vista_value_without_edition", Vista(1, 5, 0),
               "Microsoft Windows Vista , 32-bit (build 6000)", 6, 32, 0, false},
        OsCase{"vista_value_16_without_edition", Vista(1, 16, 0),
               "Microsoft Windows Vista , 32-bit (build 6000)", 6, 32, 0, false},
        OsCase{"vista_without_product_info", WithNoProductInfo(Vista(1, 1, 0)),
               "Microsoft Windows Vista , 32-bit (build 6000)", 6, 32, 0, false},
        OsCase{"vista_itanium_has_no_bit_text", Vista(1, 6, 6),
               "Microsoft Windows Vista Business Edition (build 6000)", 6, 32, 0, false},
        OsCase{"server2008_datacenter_x64", Vista(3, 8, 9, 6002, "Service Pack 2"),
               "Microsoft Windows Server 2008 Datacenter Edition, 64-bit Service Pack 2 (build 6002)", 7, 64, 2, false},
        OsCase{"server2008_domain_controller", Vista(2, 7, 0),
               "Microsoft Windows Server 2008 Standard Edition, 32-bit (build 6000)", 7, 32, 0, false},
        // Windows Server 2003 family, in the order of its tests
        OsCase{"r2_enterprise", Server2003(3, 0x2, 0, 1, "Service Pack 2"),
               "Microsoft Windows Server 2003 R2, Enterprise Edition Service Pack 2 (build 3790)", 5, 32, 2, false},
        OsCase{"r2_wins_over_storage", Server2003(3, 0x2000, 0, 1),
               "Microsoft Windows Server 2003 R2, Standard Edition (build 3790)", 5, 32, 0, false},
        OsCase{"r2_wins_over_xp_x64", Server2003(1, 0, 9, 1),
               "Microsoft Windows Server 2003 R2,  (build 3790)", 5, 32, 0, false},
        OsCase{"storage_server_exact_suite", Server2003(3, 0x2000, 0),
               "Microsoft Windows Storage Server 2003Standard Edition (build 3790)", 5, 32, 0, false},
        OsCase{"storage_bit_with_others_is_plain_server", Server2003(3, 0x2002, 0),
               "Microsoft Windows Server 2003, Enterprise Edition (build 3790)", 5, 32, 0, false},
        OsCase{"xp_professional_x64", Server2003(1, 0, 9, 0, "Service Pack 2"),
               "Microsoft Windows XP Professional x64 Edition Service Pack 2 (build 3790)", 4, 64, 2, false},
        OsCase{"workstation_on_itanium_is_server_without_edition", Server2003(1, 0, 6),
               "Microsoft Windows Server 2003,  (build 3790)", 5, 32, 0, false},
        OsCase{"enterprise_x64_stays_32_bits", Server2003(3, 0x2, 9, 0, "Service Pack 1"),
               "Microsoft Windows Server 2003, Enterprise x64 Edition Service Pack 1 (build 3790)", 5, 32, 1, false},
        OsCase{"datacenter_x64", Server2003(3, 0x82, 9),
               "Microsoft Windows Server 2003, Datacenter x64 Edition (build 3790)", 5, 32, 0, false},
        OsCase{"standard_x64", Server2003(3, 0, 9),
               "Microsoft Windows Server 2003, Standard x64 Edition (build 3790)", 5, 32, 0, false},
        OsCase{"datacenter_itanium", Server2003(3, 0x82, 6),
               "Microsoft Windows Server 2003, Datacenter Edition for Itanium-based Systems (build 3790)", 5, 32, 0, false},
        OsCase{"enterprise_itanium", Server2003(3, 0x2, 6),
               "Microsoft Windows Server 2003, Enterprise Edition for Itanium-based Systems (build 3790)", 5, 32, 0, false},
        OsCase{"plain_itanium_has_no_edition", Server2003(3, 0x400, 6),
               "Microsoft Windows Server 2003,  (build 3790)", 5, 32, 0, false},
        OsCase{"compute_cluster", Server2003(3, 0x4082, 0),
               "Microsoft Windows Server 2003, Compute Cluster Edition (build 3790)", 5, 32, 0, false},
        OsCase{"datacenter", Server2003(3, 0x482, 0),
               "Microsoft Windows Server 2003, Datacenter Edition (build 3790)", 5, 32, 0, false},
        OsCase{"enterprise_before_web", Server2003(3, 0x402, 0),
               "Microsoft Windows Server 2003, Enterprise Edition (build 3790)", 5, 32, 0, false},
        OsCase{"web", Server2003(2, 0x400, 0),
               "Microsoft Windows Server 2003, Web Edition (build 3790)", 5, 32, 0, false},
        OsCase{"standard", Server2003(3, 0x100, 0, 0, "Service Pack 2"),
               "Microsoft Windows Server 2003, Standard Edition Service Pack 2 (build 3790)", 5, 32, 2, false},
        // Windows XP and 2000
        OsCase{"xp_professional", Nt(5, 1, 2600, "Service Pack 3", 1, 0x100),
               "Microsoft Windows XP Professional Service Pack 3 (build 2600)", 4, 32, 3, false},
        OsCase{"xp_home", Nt(5, 1, 2600, "Service Pack 2", 1, 0x300),
               "Microsoft Windows XP Home Edition Service Pack 2 (build 2600)", 4, 32, 2, false},
        OsCase{"xp_on_x64_hardware_stays_32_bits", Nt(5, 1, 2600, "", 1, 0, 9),
               "Microsoft Windows XP Professional (build 2600)", 4, 32, 0, false},
        OsCase{"2000_professional", Nt(5, 0, 2195, "Service Pack 4", 1),
               "Microsoft Windows 2000 Professional Service Pack 4 (build 2195)", 3, 32, 4, false},
        OsCase{"2000_datacenter", Nt(5, 0, 2195, "", 3, 0x82),
               "Microsoft Windows 2000 Datacenter Server (build 2195)", 3, 32, 0, false},
        OsCase{"2000_advanced", Nt(5, 0, 2195, "", 2, 0x2),
               "Microsoft Windows 2000 Advanced Server (build 2195)", 3, 32, 0, false},
        OsCase{"2000_server", Nt(5, 0, 2195, "Service Pack 6a", 3, 0x400),
               "Microsoft Windows 2000 Server Service Pack 6a (build 2195)", 3, 32, 6, false},
        // Versions the program does not name
        OsCase{"nt_5_3", Nt(5, 3, 3800, ""), "Microsoft  (build 3800)", 0, 32, 0, false},
        OsCase{"windows7_sp1", Nt(6, 1, 7601, "Service Pack 1", 1, 0, 9),
               "Microsoft  Service Pack 1 (build 7601)", 0, 32, 1, false},
        OsCase{"windows7", Nt(6, 1, 7600, ""), "Microsoft  (build 7600)", 0, 32, 0, false},
        OsCase{"windows10", Nt(10, 0, 19045, ""), "Microsoft  (build 19045)", 0, 32, 0, false},
        // Service-pack texts
        OsCase{"csd_last_word_starts_with_letter", Nt(5, 1, 2600, "Service Pack 2, v.3311"),
               "Microsoft Windows XP Professional Service Pack 2, v.3311 (build 2600)", 4, 32, 0, false},
        OsCase{"csd_without_space_or_digits", Nt(5, 1, 2600, "SP3"),
               "Microsoft Windows XP Professional SP3 (build 2600)", 4, 32, 0, false},
        OsCase{"csd_only_digits", Nt(5, 1, 2600, "3"),
               "Microsoft Windows XP Professional 3 (build 2600)", 4, 32, 3, false},
        OsCase{"csd_single_space", Nt(5, 1, 2600, " "),
               "Microsoft Windows XP Professional   (build 2600)", 4, 32, 0, false},
        OsCase{"csd_long_number", Nt(5, 1, 2600, "Service Pack 99999999999"),
               "Microsoft Windows XP Professional Service Pack 99999999999 (build 2600)", 4, 32, 2147483647, false},
        OsCase{"name_cut_at_255", Nt(5, 1, 2600, kLongCsd.c_str()),
               ("Microsoft Windows XP Professional " + kLongCsd).substr(0, 255), 4, 32, 7, false},
        // Unsupported and failing
        OsCase{"nt4", Nt(4, 0, 1381, "Service Pack 6a"), "", 0, 32, 0, true},
        OsCase{"nt351", Nt(3, 51, 1057, ""), "", 0, 32, 0, true},
        OsCase{"win32s_platform", Platform(0), "", 0, 32, 0, true},
        OsCase{"ce_platform", Platform(3), "", 0, 32, 0, true},
        OsCase{"version_unavailable", NoVersion(), "", 0, 32, 0, false},
        // Windows 95, 98 and Millennium
        OsCase{"win95", Win9x(4, 0, ""), "Microsoft Windows95 ", 0, 32, 0, false},
        OsCase{"win95_osr2_b", Win9x(4, 0, " B"), "Microsoft Windows95 OSR2 ", 0, 32, 1, false},
        OsCase{"win95_osr2_c", Win9x(4, 0, " C"), "Microsoft Windows95 OSR2 ", 0, 32, 1, false},
        OsCase{"win95_lower_case_mark", Win9x(4, 0, " b"), "Microsoft Windows95 ", 0, 32, 0, false},
        OsCase{"win98", Win9x(4, 10, ""), "Microsoft Windows98 ", 1, 32, 0, false},
        OsCase{"win98_se", Win9x(4, 10, " A "), "Microsoft Windows98 SE ", 1, 32, 1, false},
        OsCase{"win98_mark_in_first_place", Win9x(4, 10, "A"), "Microsoft Windows98 ", 1, 32, 0, false},
        OsCase{"millennium", Win9x(4, 90, " "), "Microsoft Windows Millennium Edition", 2, 32, 0, false},
        OsCase{"9x_unknown_minor", Win9x(4, 50, ""), "Microsoft ", 0, 32, 0, false},
        OsCase{"9x_unknown_major", Win9x(5, 0, ""), "Microsoft ", 0, 32, 0, false}),
    [](const ::testing::TestParamInfo<OsCase>& info) { return std::string(info.param.label); });

struct EditionCase {
    unsigned long value;
    const char* edition;
};

class ProductEditions : public ::testing::TestWithParam<EditionCase> {};

TEST_P(ProductEditions, VistaNameCarriesTheEditionOfTheProductValue) {
    OsIdentity id = IdentifyFromFacts(Vista(1, GetParam().value, 0));
    EXPECT_EQ(id.name, std::string("Microsoft Windows Vista ") + GetParam().edition + ", 32-bit (build 6000)");
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProductEditions,
    ::testing::Values(EditionCase{0, ""}, EditionCase{1, "Ultimate Edition"},
                      EditionCase{2, "Home Basic Edition"}, EditionCase{3, "Home Premium Edition"},
                      EditionCase{4, "Enterprise Edition"}, EditionCase{5, ""},
                      EditionCase{6, "Business Edition"}, EditionCase{7, "Standard Edition"},
                      EditionCase{8, "Datacenter Edition"}, EditionCase{9, "Small Business Server"},
                      EditionCase{10, "Enterprise Edition"}, EditionCase{11, "Starter Edition"},
                      EditionCase{12, "Datacenter Edition (core installation)"},
                      EditionCase{13, "Standard Edition (core installation)"},
                      EditionCase{14, "Enterprise Edition (core installation)"},
                      EditionCase{15, "Enterprise Edition for Itanium-based Systems"},
                      EditionCase{16, ""}, EditionCase{17, "Web Server Edition"},
                      EditionCase{18, "Cluster Server Edition"}, EditionCase{19, ""},
                      EditionCase{22, ""}, EditionCase{24, ""},
                      EditionCase{25, "Small Business Server Premium Edition"},
                      EditionCase{26, ""}, EditionCase{28, ""}, EditionCase{0xABCDABCD, ""}));

TEST(OsIdentificationStart, UnsupportedSystemsLeaveTheCallersValuesButResetTheBits) {
    OsIdentity start;
    start.name = "before";
    start.osCode = 9;
    start.osBits = 64;
    start.servicePack = 5;
    OsIdentity id = IdentifyFromFacts(Nt(4, 0, 1381, "Service Pack 6a"), start);
    EXPECT_TRUE(id.unsupported);
    EXPECT_EQ(id.name, "before");
    EXPECT_EQ(id.osCode, 9);
    EXPECT_EQ(id.osBits, 32);
    EXPECT_EQ(id.servicePack, 5);

    // Windows 95 replaces the name but has no OS code or service pack of its own.
    id = IdentifyFromFacts(Win9x(4, 0, ""), start);
    EXPECT_EQ(id.name, "Microsoft Windows95 ");
    EXPECT_EQ(id.osCode, 9);
    EXPECT_EQ(id.servicePack, 5);
    // Windows 98 always sets its service pack.
    id = IdentifyFromFacts(Win9x(4, 10, ""), start);
    EXPECT_EQ(id.osCode, 1);
    EXPECT_EQ(id.servicePack, 0);
}

TEST(OsIdentificationLive, UsesOnlyTheFirst256BytesOfTheNameBuffer) {
    char buffer[1024];
    std::memset(buffer, '#', sizeof buffer);
    buffer[0] = '\0';
    int osCode = 0, osBits = 64, servicePack = 0;
    IdentifyOperatingSystem(buffer, osCode, osBits, servicePack);
    size_t length = strnlen(buffer, sizeof buffer);
    ASSERT_LT(length, 256u);
    EXPECT_EQ(std::string(buffer, 10), "Microsoft ");
    for (size_t i = length + 1; i < sizeof buffer; ++i) {
        ASSERT_EQ(buffer[i], '#') << "byte " << i << " was written";
    }
    EXPECT_EQ(osBits, 32);
}

TEST(OsIdentificationLive, AgreesWithThePureIdentificationOfTheGatheredFacts) {
    OsVersionFacts facts = GatherOsFacts();
    ASSERT_TRUE(facts.versionOk);
    char name[1024] = {};
    int osCode = 0, osBits = 0, servicePack = 0;
    IdentifyOperatingSystem(name, osCode, osBits, servicePack);
    OsIdentity id = IdentifyFromFacts(facts);
    EXPECT_EQ(name, id.name);
    EXPECT_EQ(osCode, id.osCode);
    EXPECT_EQ(servicePack, id.servicePack);
    EXPECT_TRUE(IsWindowsNT());
    EXPECT_FALSE(IsWindows98());
}

// What Wine reports as each Windows version, as the probe program sees it.
struct WineCase {
    const char* version;
    std::string output;
};

class OsIdentificationUnderWine : public ::testing::TestWithParam<WineCase> {};

TEST_P(OsIdentificationUnderWine, NamesTheEmulatedSystem) {
    std::string output = RunInventoryProbe(GetParam().version, "os");
    // The probe writes in text mode: line ends come out as CR LF.
    std::string lines;
    for (const std::string& line : SplitLines(output)) lines += line + "\n";
    EXPECT_EQ(lines, GetParam().output);
}

// Lines: name, OS code, bits, service pack, IsWindows98, IsWindowsNT.
INSTANTIATE_TEST_SUITE_P(
    Versions, OsIdentificationUnderWine,
    ::testing::Values(
        WineCase{"win98", "Microsoft Windows98 SE \n1\n32\n1\n1\n0\n"},
        WineCase{"winme", "Microsoft Windows Millennium Edition\n2\n32\n0\n0\n0\n"},
        WineCase{"win2k", "Microsoft Windows 2000 Professional Service Pack 4 (build 2195)\n3\n32\n4\n0\n1\n"},
        WineCase{"winxp", "Microsoft Windows XP Professional Service Pack 3 (build 2600)\n4\n32\n3\n0\n1\n"},
        WineCase{"win2003",
                 "Microsoft Windows Server 2003, Standard Edition Service Pack 2 (build 3790)\n5\n32\n2\n0\n1\n"},
        // Wine answers GetProductInfo with 28, which has no edition text.
        WineCase{"vista", "Microsoft Windows Vista , 32-bit Service Pack 2 (build 6002)\n6\n32\n2\n0\n1\n"},
        WineCase{"win2008",
                 "Microsoft Windows Server 2008 Standard Edition, 32-bit Service Pack 2 (build 6002)\n7\n32\n2\n0\n1\n"},
        WineCase{"win7", "Microsoft  Service Pack 1 (build 7601)\n0\n32\n1\n0\n1\n"},
        WineCase{"win95", "Microsoft Windows95 \n0\n32\n0\n0\n0\n"},
        // Windows NT 4.0: the message once for the identification and once
        // for IsWindows98, and an empty name.
        WineCase{"nt40",
                 "This program does not support this version of Windows.\n"
                 "This program does not support this version of Windows.\n"
                 "\n0\n32\n0\n0\n1\n"}),
    [](const ::testing::TestParamInfo<WineCase>& info) { return std::string(info.param.version); });

}  // namespace

// The version texts the component detection reads, and the system summary
// line for a system without the components.
#include <gtest/gtest.h>

#include "core/SummaryLine.h"
#include "core/VersionText.h"

namespace {

TEST(VersionTexts, MinimumVersionsAndMajors) {
    // .NET 3.0 counts from 3.0.4506.26: the first part that differs decides.
    const struct {
        const char* text;
        bool atLeast;
    } versions[] = {{"3.0.4506.26", true}, {"3.0.4506.25", false}, {"3.0.4507", true},
                    {"3.1.0.0", true},     {"2.9.9999.99", false}, {"", false}};
    for (const auto& c : versions)
        EXPECT_EQ(IsVersionAtLeast(ParseDottedVersion(c.text), 3, 0, 4506, 26), c.atLeast) << c.text;
    // Internet Explorer's "Version" without a dot has no major version.
    EXPECT_EQ(MajorFromDottedText("8"), 0);
}

TEST(Summary, TextsOfMissingComponentsAndAnIisOfVersion0) {
    SystemProfile p;
    p.osCode = 6;
    p.osBits = 64;
    p.servicePack = 1;
    p.languageId = 0x0409;
    p.ieVersion = 8;
    p.iisVersion = 7;
    p.dotNetVersion = 35;
    p.wmfMajor = 11;
    // The detections' results decide the texts, not what the profile holds.
    EXPECT_EQ(FormatSummaryLine(p, "0", false, false, -1, false),
              "운영체제 코드 : 6 (64 비트, 영문판(9)), 서비스 팩 1, 인터넷 익스플로러 8, "
              "윈도우즈 미디어 플레이어 0, IIS 가 설치되지 않음, SNMP 설치되지 않음, "
              "닷넷 프레임워크 설치되지 않음, 윈도우즈 미디어 포맷 설치되지 않음");
    p.iisVersion = 0;
    EXPECT_NE(FormatSummaryLine(p, "0", true, true, 35, true).find(", IIS 버전 : 0, SNMP 설치됨, 닷넷 프레임워크 3.5 "),
              std::string::npos);
}

}  // namespace

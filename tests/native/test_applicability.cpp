// The rules that decide whether a catalog entry is listed and whether its
// update counts as installed, driven by tables of entries and profiles.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/Applicability.h"
#include "core/InstalledNames.h"

namespace {

using Keys = std::map<std::string, std::string>;

// A Korean XP SP2 with IE 6, WMP 9, WMF 9, no IIS, SNMP, or .NET.
SystemProfile BaseProfile() {
    SystemProfile p;
    p.ieVersion = 6;
    p.osCode = 4;
    p.servicePack = 2;
    p.wmpMajor = 9;
    p.wmfMajor = 9;
    p.languageId = 0x0412;
    return p;
}

struct Outcome {
    bool listed;
    bool installed;
    std::string title;
};

Outcome Evaluate(const Keys& keys, const SystemProfile& profile) {
    static const std::set<std::string> registry = {"LM|SOFTWARE\\Present", "CU|Software\\Mine",
                                                   "CR|CLSID\\{ABC}"};
    static const std::vector<std::string> names = {"KB900000-IE7", "Windows XP", "SP3",
                                                   "{89820200-ECBD-11CF-8B85-00AA005B4383}"};
    Outcome out{};
    EntryKeyLookup lookup = [&](const char* key, const char* def) {
        auto it = keys.find(key);
        return it == keys.end() ? std::string(def) : it->second;
    };
    InstalledProbes probes;
    probes.registryKey = [](RegistryRoot root, const std::string& sub) {
        const char* prefix = root == RegistryRoot::LocalMachine  ? "LM|"
                             : root == RegistryRoot::CurrentUser ? "CU|"
                                                                 : "CR|";
        return registry.count(prefix + sub) != 0;
    };
    probes.installedName = [](const std::string& n) { return IsNameInstalled(names, n); };
    UpdateItem item;
    out.listed = EvaluateEntry(7, lookup, profile, probes, item);
    if (out.listed) {
        EXPECT_EQ(item.number, 7);
        out.installed = item.installed;
        out.title = item.title;
    }
    return out;
}

struct RuleCase {
    const char* name;
    Keys keys;
    std::function<void(SystemProfile&)> adjust;
    bool listed;
    bool installed;
};

void NoChange(SystemProfile&) {}

class Rules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(Rules, DecideListingAndInstalledState) {
    const RuleCase& c = GetParam();
    SystemProfile profile = BaseProfile();
    c.adjust(profile);
    Outcome out = Evaluate(c.keys, profile);
    EXPECT_EQ(out.listed, c.listed);
    if (c.listed && out.listed) {
        EXPECT_EQ(out.installed, c.installed);
    }
}

auto IE = [](int v) { return [v](SystemProfile& p) { p.ieVersion = v; }; };
auto SP = [](int v) { return [v](SystemProfile& p) { p.servicePack = v; }; };
auto DotNet = [](int v, int sp) {
    return [v, sp](SystemProfile& p) {
        p.dotNetVersion = v;
        p.dotNetServicePack = sp;
    };
};

std::string Long1023List() {
    // 1023 characters: "5,5,5,...", none matching SP2 and none zero, so skipped.
    std::string s;
    while (s.size() < 1021) s += "5,";
    s += "5";
    return s.substr(0, 1023);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Rules,
    ::testing::Values(
        // An entry with only a title: every default is "no condition", IE 6 minimum.
        RuleCase{"title_only_listed", {{"TITLE", "t"}}, NoChange, true, false},
        RuleCase{"title_only_needs_ie6", {{"TITLE", "t"}}, IE(5), false, false},
        RuleCase{"title_only_ie_unknown", {{"TITLE", "t"}}, IE(0), false, false},
        RuleCase{"ie7_on_ie7", {{"IEVER", "7"}}, IE(7), true, false},
        RuleCase{"ie7_on_ie6", {{"IEVER", "7"}}, NoChange, false, false},
        RuleCase{"ie0_on_unknown_ie", {{"IEVER", "0"}}, IE(0), true, false},
        RuleCase{"ie_negative_on_unknown_ie", {{"IEVER", "-1"}}, IE(0), true, false},
        RuleCase{"ie5_on_ie5", {{"IEVER", "5"}}, IE(5), true, false},
        // ENABLE: only "0" switches off.
        RuleCase{"enable_0", {{"ENABLE", "0"}}, NoChange, false, false},
        RuleCase{"enable_00", {{"ENABLE", "00"}}, NoChange, true, false},
        RuleCase{"enable_no", {{"ENABLE", "no"}}, NoChange, true, false},
        RuleCase{"enable_empty", {{"ENABLE", ""}}, NoChange, true, false},
        // WMPVER: 0 or text means any; otherwise must equal.
        RuleCase{"wmp_equal", {{"WMPVER", "9"}}, NoChange, true, false},
        RuleCase{"wmp_other", {{"WMPVER", "10"}}, NoChange, false, false},
        RuleCase{"wmp_text", {{"WMPVER", "any"}}, NoChange, true, false},
        // SPVER lists.
        RuleCase{"sp_minus1", {{"SPVER", "-1"}}, SP(3), true, false},
        RuleCase{"sp_zero", {{"SPVER", "0"}}, SP(3), true, false},
        RuleCase{"sp_1_3_on_2", {{"SPVER", "1,3"}}, SP(2), false, false},
        RuleCase{"sp_1_3_on_3", {{"SPVER", "1,3"}}, SP(3), true, false},
        RuleCase{"sp_1_3_on_1", {{"SPVER", "1,3"}}, SP(1), true, false},
        RuleCase{"sp_0_2_any", {{"SPVER", "0,2"}}, SP(1), true, false},
        RuleCase{"sp_2_x_any", {{"SPVER", "2,x"}}, SP(1), true, false},
        RuleCase{"sp_empty_element", {{"SPVER", "1,,3"}}, SP(2), true, false},
        RuleCase{"sp_trailing_comma", {{"SPVER", "1,"}}, SP(2), true, false},
        RuleCase{"sp_single_2_on_2", {{"SPVER", "2"}}, SP(2), true, false},
        RuleCase{"sp_single_2_on_3", {{"SPVER", "2"}}, SP(3), false, false},
        RuleCase{"sp_minus1_with_text", {{"SPVER", "-1x"}}, SP(3), false, false},
        RuleCase{"sp_1023_chars", {{"SPVER", Long1023List()}}, SP(2), false, false},
        RuleCase{"sp_1023_then_match", {{"SPVER", Long1023List() + ",2"}}, SP(2), false, false},
        // IIS and SNMP.
        RuleCase{"iis_require_absent", {{"IISVER", "REQUIRE"}}, NoChange, false, false},
        RuleCase{"iis_require_present", {{"IISVER", "require"}},
                 [](SystemProfile& p) { p.iisVersion = 0; }, true, false},
        RuleCase{"iis_other_text", {{"IISVER", "required"}}, NoChange, true, false},
        RuleCase{"snmp_require_absent", {{"SNMPVER", "Require"}}, NoChange, false, false},
        RuleCase{"snmp_require_present", {{"SNMPVER", "require"}},
                 [](SystemProfile& p) { p.snmpInstalled = 1; }, true, false},
        // .NET Framework.
        RuleCase{"dotnet_require_none", {{"DOTNETVER", "require"}}, NoChange, false, false},
        RuleCase{"dotnet_require_any", {{"DOTNETVER", "REQUIRE"}}, DotNet(11, -1), true, false},
        RuleCase{"dotnet_minus1", {{"DOTNETVER", "-1"}}, NoChange, true, false},
        RuleCase{"dotnet_20_on_none", {{"DOTNETVER", "20"}}, NoChange, false, false},
        RuleCase{"dotnet_20_on_35", {{"DOTNETVER", "20"}}, DotNet(35, -1), false, false},
        RuleCase{"dotnet_20_no_sp_on_sp1", {{"DOTNETVER", "20"}}, DotNet(20, 1), false, false},
        RuleCase{"dotnet_20_no_sp_on_undetermined", {{"DOTNETVER", "20"}}, DotNet(20, -1), true,
                 false},
        RuleCase{"dotnet_20_sp1_on_sp1", {{"DOTNETVER", "20"}, {"DOTNETSPVER", "1"}},
                 DotNet(20, 1), true, false},
        RuleCase{"dotnet_20_sp2_on_sp1", {{"DOTNETVER", "20"}, {"DOTNETSPVER", "2"}},
                 DotNet(20, 1), false, false},
        RuleCase{"dotnet_20_sp2_on_undetermined", {{"DOTNETVER", "20"}, {"DOTNETSPVER", "2"}},
                 DotNet(20, -1), true, false},
        // WMFVER.
        RuleCase{"wmf_equal", {{"WMFVER", "9"}}, NoChange, true, false},
        RuleCase{"wmf_other", {{"WMFVER", "11"}}, NoChange, false, false},
        RuleCase{"wmf_minus1", {{"WMFVER", "-1"}}, NoChange, true, false},
        // Installed-ness probes.
        RuleCase{"no_probe_not_installed", {{"TITLE", "t"}}, NoChange, true, false},
        RuleCase{"registry_key_present", {{"REGKEY", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Present"}},
                 NoChange, true, true},
        RuleCase{"registry_current_user", {{"REGKEY", "HKEY_CURRENT_USER\\Software\\Mine"}},
                 NoChange, true, true},
        RuleCase{"registry_classes_root", {{"REGKEY", "HKEY_CLASSES_ROOT\\CLSID\\{ABC}"}},
                 NoChange, true, true},
        // A missing key is not searched for as a name, even though a name contains it.
        RuleCase{"registry_missing_not_a_name", {{"REGKEY", "HKEY_LOCAL_MACHINE\\Windows XP"}},
                 NoChange, true, false},
        RuleCase{"registry_missing_then_name",
                 {{"REGKEY", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Absent"}, {"REGKEY2", "kb900000"}},
                 NoChange, true, true},
        RuleCase{"regkey2_missing_stops_chain", {{"REGKEY", "KB111111"}, {"REGKEY3", "KB900000"}},
                 NoChange, true, false},
        RuleCase{"regkey2_empty_stops_chain",
                 {{"REGKEY", "KB111111"}, {"REGKEY2", ""}, {"REGKEY3", "KB900000"}}, NoChange,
                 true, false},
        RuleCase{"regkey3_reached", {{"REGKEY", "KB1"}, {"REGKEY2", "KB2"}, {"REGKEY3", "SP3"}},
                 NoChange, true, true},
        RuleCase{"root_in_lower_case_is_a_name",
                 {{"REGKEY", "hkey_local_machine\\SOFTWARE\\Present"}}, NoChange, true, false},
        RuleCase{"root_alone_is_a_name", {{"REGKEY", "HKEY_LOCAL_MACHINE"}}, NoChange, true,
                 false},
        RuleCase{"name_substring_any_case", {{"REGKEY", "kb90000"}}, NoChange, true, true},
        RuleCase{"name_longer_than_entries", {{"REGKEY", "KB900000-IE7-extra"}}, NoChange, true,
                 false},
        RuleCase{"component_braces_lower_case",
                 {{"REGKEY", "{89820200-ecbd-11cf-8b85-00aa005b4383}"}}, NoChange, true, true},
        // TYPE application in any case is never listed.
        RuleCase{"type_application", {{"TYPE", "APPLICATION"}}, NoChange, false, false},
        RuleCase{"type_application_lower", {{"TYPE", "application"}}, NoChange, false, false},
        RuleCase{"type_application_installed",
                 {{"TYPE", "Application"}, {"REGKEY", "SP3"}}, NoChange, false, false},
        RuleCase{"type_patch", {{"TYPE", "PATCH"}}, NoChange, true, false},
        RuleCase{"type_other", {{"TYPE", "driver"}}, NoChange, true, false}),
    [](const ::testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.name); });

TEST(SplitAtChar, CutsAtTheFirstOccurrenceOnly) {
    char text[] = "1,2,3";
    char* rest = SplitAtChar(text, ',');
    ASSERT_NE(rest, nullptr);
    EXPECT_STREQ(text, "1");
    EXPECT_STREQ(rest, "2,3");
    char none[] = "abc";
    EXPECT_EQ(SplitAtChar(none, ','), nullptr);
    EXPECT_STREQ(none, "abc");
    char trailing[] = "1,";
    rest = SplitAtChar(trailing, ',');
    ASSERT_NE(rest, nullptr);
    EXPECT_STREQ(rest, "");
}

TEST(Language, MatchesThePrimaryLanguageOnly) {
    EXPECT_TRUE(CatalogLanguageMatches(18, 0x0412));
    EXPECT_TRUE(CatalogLanguageMatches(18, 0x0812));
    EXPECT_FALSE(CatalogLanguageMatches(9, 0x0412));
    EXPECT_TRUE(CatalogLanguageMatches(165, 0x80A5));
    EXPECT_FALSE(CatalogLanguageMatches(0, 0x0412));
    EXPECT_TRUE(CatalogLanguageMatches(0, 0));
}

TEST(Language, MismatchMessageNamesBothEditions) {
    EXPECT_EQ(LanguageMismatchMessage(9, 0x0412),
              "현재 운영체제(한글판)에는 이 언어(영문판)의 업데이트를 설치하실 수 없습니다");
    EXPECT_EQ(LanguageMismatchMessage(0, 0x0409),
              "현재 운영체제(영문판)에는 이 언어(알 수 없음)의 업데이트를 설치하실 수 없습니다");
    // 1042 is not 18, yet its primary language names the Korean edition.
    EXPECT_FALSE(CatalogLanguageMatches(1042, 0x0412));
    EXPECT_EQ(LanguageMismatchMessage(1042, 0x0412),
              "현재 운영체제(한글판)에는 이 언어(한글판)의 업데이트를 설치하실 수 없습니다");
}

}  // namespace

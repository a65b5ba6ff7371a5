// The rules that decide whether a catalog entry is listed and whether its
// update counts as installed, driven by one table of entries and systems,
// and the check of the catalog's language. Each rule's plain exclusion, and
// the order of the rules, is in the checker's Explain table; here their edges.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/Applicability.h"
#include "core/InstalledNames.h"

namespace {

using Keys = std::map<std::string, std::string>;

// An XP with Media Player 9 and Media Format 9; the arguments are what a row changes.
SystemProfile Sys(int ie = 6, int sp = 2, int dotNet = -1, int dotNetSp = -1, int iis = -1, int snmp = 0) {
    return SystemProfile{ie, 4, 32, sp, 9, iis, dotNet, dotNetSp, 9, 0, 0, 0, 0x0412, snmp};
}

// 'x' not listed, 'n' listed as not installed, 'i' listed as installed.
char Evaluate(const Keys& keys, const SystemProfile& p) {
    static const std::set<std::pair<RegistryRoot, std::string>> registry = {
        {RegistryRoot::LocalMachine, "SOFTWARE\\Present"},
        {RegistryRoot::CurrentUser, "Software\\Mine"},
        {RegistryRoot::ClassesRoot, "CLSID\\{ABC}"}};
    // The last name looks like a key path: a missing key must not find it as a name.
    static const std::vector<std::string> names = {"KB900000-IE7", "Windows XP", "SP3", "HKEY_LOCAL_MACHINE\\Gone"};
    auto lookup = [&](const char* key, const char* def) {
        auto it = keys.find(key);
        return it == keys.end() ? std::string(def) : it->second;
    };
    InstalledProbes probes;
    probes.registryKey = [](RegistryRoot root, const std::string& sub) { return registry.count({root, sub}) != 0; };
    probes.installedName = [](const std::string& n) { return IsNameInstalled(names, n); };
    UpdateItem item;
    if (!EvaluateEntry(7, lookup, p, probes, item)) return 'x';
    EXPECT_EQ(item.number, 7);
    EXPECT_EQ(item.title, lookup("TITLE", ""));
    return item.installed ? 'i' : 'n';
}

TEST(Applicability, ListingAndInstalledState) {
    // 1025 characters of which 1023 are read, ending in a 5: one more or one
    // fewer would end the list in a comma, whose empty element matches.
    std::string longList;
    while (longList.size() < 1023) longList += "5,";
    longList = longList.substr(0, 1023) + ",2";
    const struct { const char* name; Keys keys; SystemProfile sys; char expected; } cases[] = {
        // Every default sets no condition except IEVER, which is 6.
        {"defaults", {{"TITLE", "t"}}, Sys(), 'n'},
        {"defaults_need_ie6", {{"TITLE", "t"}}, Sys(5), 'x'},
        {"ie_equal", {{"IEVER", "7"}}, Sys(7), 'n'},
        {"ie_negative_on_unknown_ie", {{"IEVER", "-1"}}, Sys(0), 'n'},
        // ENABLE switches off only with the text "0".
        {"enable_00", {{"ENABLE", "00"}}, Sys(), 'n'},
        {"wmp_equal", {{"WMPVER", "9"}}, Sys(), 'n'},
        // SPVER: "-1" exactly, or any element equal to the service pack or reading as 0.
        {"sp_minus1", {{"SPVER", "-1"}}, Sys(6, 3), 'n'},
        {"sp_minus1_with_text", {{"SPVER", "-1x"}}, Sys(6, 3), 'x'},
        {"sp_1_3_on_1", {{"SPVER", "1,3"}}, Sys(6, 1), 'n'},
        {"sp_1_3_on_2", {{"SPVER", "1,3"}}, Sys(6, 2), 'x'},
        {"sp_1_3_on_3", {{"SPVER", "1,3"}}, Sys(6, 3), 'n'},
        {"sp_empty_element", {{"SPVER", "1,,3"}}, Sys(6, 2), 'n'},
        {"sp_trailing_comma", {{"SPVER", "1,"}}, Sys(6, 2), 'n'},
        {"sp_cut_at_1023", {{"SPVER", longList}}, Sys(6, 2), 'x'},
        // IISVER and SNMPVER: "require" in any case, nothing else.
        {"iis_require_absent", {{"IISVER", "REQUIRE"}}, Sys(), 'x'},
        {"iis_require_version_0", {{"IISVER", "require"}}, Sys(6, 2, -1, -1, 0), 'n'},
        {"iis_other_text", {{"IISVER", "required"}}, Sys(), 'n'},
        {"snmp_require_absent", {{"SNMPVER", "Require"}}, Sys(), 'x'},
        {"snmp_require_present", {{"SNMPVER", "require"}}, Sys(6, 2, -1, -1, -1, 1), 'n'},
        // DOTNETVER: "require" asks for any version and no service pack.
        {"dotnet_require_any", {{"DOTNETVER", "REQUIRE"}}, Sys(6, 2, 35, 1), 'n'},
        {"dotnet_not_a_minimum", {{"DOTNETVER", "20"}}, Sys(6, 2, 35), 'x'},
        {"dotnet_no_sp_on_sp1", {{"DOTNETVER", "20"}}, Sys(6, 2, 20, 1), 'x'},
        {"dotnet_sp1_on_sp1", {{"DOTNETVER", "20"}, {"DOTNETSPVER", "1"}}, Sys(6, 2, 20, 1), 'n'},
        {"dotnet_sp2_on_no_sp", {{"DOTNETVER", "20"}, {"DOTNETSPVER", "2"}}, Sys(6, 2, 20), 'n'},
        {"wmf_equal", {{"WMFVER", "9"}}, Sys(), 'n'},
        // Probes: a root name in capitals is a registry key, anything else a name.
        {"local_machine", {{"REGKEY", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Present"}}, Sys(), 'i'},
        {"current_user", {{"REGKEY", "HKEY_CURRENT_USER\\Software\\Mine"}}, Sys(), 'i'},
        {"classes_root", {{"REGKEY", "HKEY_CLASSES_ROOT\\CLSID\\{ABC}"}}, Sys(), 'i'},
        {"missing_key_not_a_name", {{"REGKEY", "HKEY_LOCAL_MACHINE\\Gone"}}, Sys(), 'n'},
        {"missing_key_then_name",
         {{"REGKEY", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Absent"}, {"REGKEY2", "kb900000"}}, Sys(), 'i'},
        {"regkey3_reached", {{"REGKEY", "KB1"}, {"REGKEY2", "KB2"}, {"REGKEY3", "SP3"}}, Sys(), 'i'},
        {"missing_regkey2_ends_probes", {{"REGKEY", "KB1"}, {"REGKEY3", "SP3"}}, Sys(), 'n'},
        {"root_in_lower_case", {{"REGKEY", "hkey_local_machine\\SOFTWARE\\Present"}}, Sys(), 'n'},
        {"root_alone_is_a_name", {{"REGKEY", "HKEY_LOCAL_MACHINE"}}, Sys(), 'i'},
        // TYPE APPLICATION in any case is never listed, installed or not.
        {"application", {{"TYPE", "APPLICATION"}}, Sys(), 'x'},
        {"other_type", {{"TYPE", "driver"}}, Sys(), 'n'},
    };
    for (const auto& c : cases) EXPECT_EQ(Evaluate(c.keys, c.sys), c.expected) << c.name;
}

TEST(Language, PrimaryLanguageOnlyAndAMessageNamingBothEditions) {
    // The primary language has ten bits; a missing catalog reads as 0.
    const struct { int catalog; unsigned short system; bool matches; } cases[] = {
        {18, 0x0412, true}, {18, 0x0812, true}, {18, 0x0612, false}, {9, 0x0412, false},
        {1042, 0x0412, false}, {0, 0x0412, false}, {0, 0, true}};
    for (const auto& c : cases)
        EXPECT_EQ(CatalogLanguageMatches(c.catalog, c.system), c.matches) << c.catalog << " on " << c.system;
    EXPECT_NE(LanguageMismatchMessage(0, 0x0409).find("(영문판)에는 이 언어(알 수 없음)"), std::string::npos);
    // 1042 is not 18, yet named by its primary language.
    EXPECT_NE(LanguageMismatchMessage(1042, 0x0412).find("이 언어(한글판)"), std::string::npos);
}

}  // namespace

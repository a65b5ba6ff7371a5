// Fuzzes the decisions that take catalog and version-resource text: an
// entry's values (service-pack lists, probes, versions), the installed-name
// lookup and the installer switch choice. The input is split at NUL bytes
// into values; no input may crash a rule, and each answer keeps its shape.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/Applicability.h"
#include "core/InstalledNames.h"
#include "core/SilentSwitches.h"

namespace {

std::vector<std::string> Values(const uint8_t* data, size_t size) {
    std::vector<std::string> values(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) values.emplace_back();
        else values.back() += static_cast<char>(data[i]);
    }
    while (values.size() < 6) values.emplace_back();
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> v = Values(data, size);

    // Every key of the entry gets one of the values; the probes answer from the text.
    SystemProfile profile;
    profile.osCode = 4;
    profile.servicePack = 2;
    profile.ieVersion = 6;
    size_t next = 0;
    // A catalog holds a finite number of keys: after a few dozen lookups
    // every further key (REGKEY40, say) is missing.
    EntryKeyLookup key = [&](const char*, const char* missing) {
        return next < 48 ? v[next++ % v.size()] : std::string(missing);
    };
    InstalledProbes probes;
    probes.registryKey = [&](RegistryRoot, const std::string& subKey) { return subKey.size() % 2 == 0; };
    probes.installedName = [&](const std::string& name) { return IsNameInstalled({v[1], v[2]}, name); };
    UpdateItem item;
    if (EvaluateEntry(3, key, profile, probes, item) && item.number != 3) std::abort();

    RegistryRoot root;
    std::string subKey;
    if (ParseRegistryProbe(v[0], root, subKey) && subKey.size() >= v[0].size()) std::abort();
    if (LowerCaseAnsi(v[0]).size() != v[0].size()) std::abort();
    if (IsNameInstalled({v[0]}, v[0]) != true) std::abort();
    QfeEntryName(v[1]);

    InstallerInfo info;
    info.description = v[1];
    info.company = v[2];
    info.orgName = v[3];
    info.engine = v[4];
    info.hasEngine = !v[4].empty();
    const SwitchChoice choice = ChooseSwitches(v[0], info, v[5], v[5].size() % 2 == 1);
    if (!choice.switches.empty() && choice.switches[0] != ' ') std::abort();
    if (choice.commandLine.find("\"" + v[5] + "\"") == std::string::npos) std::abort();

    std::vector<uint32_t> translations;
    for (size_t i = 0; i + 4 <= size && translations.size() < 16; i += 4)
        translations.push_back(uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 |
                               uint32_t(data[i + 2]) << 16 | uint32_t(data[i + 3]) << 24);
    const uint32_t picked = PickTranslation(translations, 0x0412);
    if (!translations.empty()) {
        bool listed = false;
        for (uint32_t t : translations) listed = listed || t == picked;
        if (!listed) std::abort();
    }
    return 0;
}

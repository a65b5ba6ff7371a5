// The demo update server's tree as the build lays it out (server-root): every
// demo installer records itself where the catalog entries that download it
// look, as Quellfix evaluates them, so that a demo run turns its updates
// from not installed to installed; and its uninstall takes the record away.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <sstream>

#include "catalog/CatalogFile.h"
#include "core/Applicability.h"
#include "core/InstalledNames.h"
#include "inventory/InstalledUpdates.h"
#include "registry/RegistryKey.h"
#include "run/Launch.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

struct Entry { std::string catalog, filename; int number; };

// Whether Quellfix takes the entry as installed now: its REGKEY probes only,
// every other condition met.
bool Installed(const Entry& entry) {
    std::vector<std::string> names;
    CollectInstalledUpdates(names);
    InstalledProbes probes;
    probes.registryKey = [](RegistryRoot, const std::string& subKey) {
        int needsRepair = 0;
        return ProbeRegistryKey(HKEY_LOCAL_MACHINE, subKey, needsRepair) != FALSE;
    };
    probes.installedName = [&](const std::string& name) { return IsNameInstalled(names, name); };
    auto key = [&](const char* name, const char* fallback) {
        return std::string(name).rfind("REGKEY", 0) == 0
                   ? ReadCatalogValue(entry.catalog, EntrySection(entry.number), name, fallback)
                   : std::string(fallback);
    };
    SystemProfile profile;
    profile.ieVersion = 99;
    UpdateItem item;
    return EvaluateEntry(entry.number, key, profile, probes, item) && item.installed;
}

TEST(DemoInstallers, RecordThemselvesWhereTheCatalogsLook) {
    std::vector<Entry> entries;
    const std::string folder = BinaryDir() + "\\server-root\\update\\v2\\";
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "*.ini").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        const std::string path = folder + data.cFileName;
        int count = CatalogToInt(ReadCatalogValue(path, "INFO", "COUNT", "0"));
        for (int n = 1; n <= count; ++n)
            entries.push_back({path, ReadCatalogValue(path, EntrySection(n), "FILENAME", ""), n});
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);

    // Lines of installers.txt: KB, kind, the file names of one program.
    std::istringstream lines(ReadBytes(SourceDir() + "\\server\\demo\\installers.txt"));
    int installers = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string kb, kind, file;
        std::vector<std::string> files;
        fields >> kb >> kind;
        while (fields >> file) files.push_back(file);
        if (kb.empty() || kb[0] == '#' || files.empty()) continue;
        SCOPED_TRACE(kb);
        ++installers;
        std::vector<const Entry*> listing;
        for (const Entry& entry : entries)
            if (std::find(files.begin(), files.end(), entry.filename) != files.end()) listing.push_back(&entry);
        EXPECT_FALSE(listing.empty()) << "built but listed in no catalog";
        const std::string program = "\"" + BinaryDir() + "\\server-root\\update\\files\\" + files[0] + "\" ";
        for (const char* action : {"/quiet /norestart", "/uninstall"}) {
            bool installing = action[1] == 'q';
            for (const Entry* entry : listing)
                EXPECT_NE(Installed(*entry), installing) << entry->catalog << " [" << entry->number << "] before " << action;
            RunResult run = RunAndWait(program + action);
            ASSERT_TRUE(run.started);
            ASSERT_EQ(run.exitCode, 0u);
            for (const Entry* entry : listing)
                EXPECT_EQ(Installed(*entry), installing) << entry->catalog << " [" << entry->number << "] after " << action;
        }
    }
    EXPECT_GT(installers, 0);
}

}  // namespace

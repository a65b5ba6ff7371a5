// The demo update server's tree as the build lays it out (server-root): the
// catalogs are what Quellfix reads, every installer they list is served,
// looks like the kind of package it stands for, and records itself under
// the name the catalog's probes look for, so that a demo run turns its
// updates from not installed to installed.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/Catalog.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kFilesUrl[] = "http://127.0.0.1:47100/update/files/";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string ServedTree() { return BinaryDir() + "\\server-root"; }

std::vector<std::string> FilesIn(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// One demo installer as the build makes it (server/demo/installers.txt).
struct DemoInstaller {
    std::string kb;
    std::string kind;
    std::vector<std::string> files;
};

std::vector<DemoInstaller> DemoInstallers() {
    std::vector<DemoInstaller> installers;
    std::istringstream lines(ReadBytes(SourceDir() + "\\server\\demo\\installers.txt"));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        DemoInstaller installer;
        fields >> installer.kb >> installer.kind;
        std::string file;
        while (fields >> file) installer.files.push_back(file);
        installers.push_back(installer);
    }
    return installers;
}

// One catalog entry that names an installer.
struct ListedUpdate {
    std::string catalog;
    int number;
    std::string filename;
    std::string url;
    std::string cmdline;
    std::vector<std::string> probes;
};

std::vector<ListedUpdate> ListedUpdates() {
    std::vector<ListedUpdate> listed;
    const std::string folder = ServedTree() + "\\update\\v2\\";
    for (const std::string& name : FilesIn(folder + "*.ini")) {
        const std::string path = folder + name;
        int count = CatalogToInt(ReadCatalogValue(path, "INFO", "COUNT", "0"));
        for (int number = 1; number <= count; ++number) {
            const std::string section = EntrySection(number);
            ListedUpdate update{name, number, ReadCatalogValue(path, section, "FILENAME", ""),
                                ReadCatalogValue(path, section, "URL", ""),
                                ReadCatalogValue(path, section, "CMDLINE", ""), {}};
            for (int k = 1;; ++k) {
                std::string key = k == 1 ? "REGKEY" : "REGKEY" + std::to_string(k);
                std::string probe = ReadCatalogValue(path, section, key.c_str(), "");
                if (probe.empty()) break;
                update.probes.push_back(probe);
            }
            listed.push_back(update);
        }
    }
    return listed;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(key);
    return true;
}

// Whether a catalog probe finds its update the way Quellfix looks: a
// HKEY_LOCAL_MACHINE key path must open; any other text must occur, in any
// letter case, in the name of a key below the Uninstall key.
bool ProbeFinds(const std::string& probe) {
    const std::string root = "HKEY_LOCAL_MACHINE\\";
    if (probe.compare(0, root.size(), root) == 0) return KeyExists(probe.substr(root.size()));
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstall, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    bool found = false;
    char name[256];
    for (DWORD i = 0; !found; ++i) {
        DWORD size = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        found = Lower(name).find(Lower(probe)) != std::string::npos;
    }
    ::RegCloseKey(key);
    return found;
}

std::string RecordValue(const std::string& kb, const char* name) {
    HKEY key = nullptr;
    std::string path = std::string(kUninstall) + "\\" + kb;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "<no record>";
    }
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    LONG result = ::RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                                     &size);
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS ? value : "<no value>";
}

// Runs `path` with `switches`: its exit code, or -1 when it did not run.
long RunInstaller(const std::string& path, const std::string& switches) {
    std::string commandLine = "\"" + path + "\"" + (switches.empty() ? "" : " " + switches);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
        return -1;
    }
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(pi.hProcess, &code);
    } else {
        ::TerminateProcess(pi.hProcess, 1);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<long>(code);
}

// The strings of a file's version resource, in its first translation.
std::string VersionString(const std::string& path, const char* name) {
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return "<no version resource>";
    std::vector<char> block(size);
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return "<unreadable>";
    WORD* translation = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                          reinterpret_cast<void**>(&translation), &length) ||
        length < 4) {
        return "<no translation>";
    }
    char sub[128];
    std::snprintf(sub, sizeof sub, "\\StringFileInfo\\%04X%04X\\%s", translation[0],
                  translation[1], name);
    char* value = nullptr;
    if (!::VerQueryValueA(block.data(), sub, reinterpret_cast<void**>(&value), &length)) return "";
    return value;
}

TEST(DemoCatalogs, ServeOneCatalogPerSystemWithItsLanguage) {
    const std::vector<std::string> names = FilesIn(ServedTree() + "\\update\\v2\\*.ini");
    for (const char* expected : {"4_32_18.ini", "4_32_9.ini", "6_32_18.ini", "6_64_18.ini",
                                 "6_32_9.ini"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    }
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string path = ServedTree() + "\\update\\v2\\" + name;
        // The language number is the file name's third part.
        std::string language = name.substr(name.rfind('_') + 1);
        language = language.substr(0, language.find('.'));
        EXPECT_EQ(ReadCatalogValue(path, "INFO", "LANGUAGE", "ERROR"), language);
        EXPECT_GT(CatalogToInt(ReadCatalogValue(path, "INFO", "COUNT", "0")), 0);
    }
    EXPECT_EQ(ReadBytes(ServedTree() + "\\update\\version.inf").substr(0, 5), "2.000");
    EXPECT_TRUE(FileExists(ServedTree() + "\\update\\setup.exe"));
}

TEST(DemoCatalogs, EveryListedInstallerIsServedUnderItsFileName) {
    const std::vector<ListedUpdate> listed = ListedUpdates();
    ASSERT_FALSE(listed.empty());
    for (const ListedUpdate& update : listed) {
        SCOPED_TRACE(update.catalog + " [" + std::to_string(update.number) + "]");
        EXPECT_EQ(update.url, kFilesUrl + update.filename);
        EXPECT_TRUE(FileExists(ServedTree() + "\\update\\files\\" + update.filename));
        EXPECT_FALSE(update.probes.empty()) << "no way to tell it is installed";
    }
}

TEST(DemoInstallers, LookLikeThePackageKindTheyStandFor) {
    // Quellfix picks silent switches from these strings.
    struct Look {
        const char* description;
        const char* originalName;
        const char* engine;
    };
    const std::map<std::string, Look> looks = {
        {"hotfix", {"Hotfix Package", "demo_update.exe", ""}},
        {"security", {"Security Update", "demo_update.exe", ""}},
        {"iexpress", {"IExpress Setup", "demo_update.exe", ""}},
        {"sfxcab", {"Windows 업데이트 패키지", "SFXCAB.EXE", ""}},
        {"updateexe", {"Windows 업데이트 패키지", "demo_update.exe", "update.exe"}},
        {"cabsfx", {"Win32 Cabinet Self-Extractor", "demo_update.exe", ""}},
        {"gdiplus", {"Microsoft GDI+ Detection Tool", "demo_update.exe", ""}},
        {"plain", {"Quellfix 데모 설치 프로그램", "demo_update.exe", ""}},
    };
    const std::vector<DemoInstaller> installers = DemoInstallers();
    ASSERT_FALSE(installers.empty());
    for (const DemoInstaller& installer : installers) {
        SCOPED_TRACE(installer.kb);
        auto look = looks.find(installer.kind);
        ASSERT_NE(look, looks.end()) << "unknown kind " << installer.kind;
        ASSERT_FALSE(installer.files.empty());
        const std::string path = ServedTree() + "\\update\\files\\" + installer.files[0];
        EXPECT_EQ(VersionString(path, "FileDescription"), look->second.description);
        EXPECT_EQ(VersionString(path, "OriginalFilename"), look->second.originalName);
        EXPECT_EQ(VersionString(path, "Installer Engine"), look->second.engine);
        // Copies under other names are the same program.
        for (const std::string& file : installer.files) {
            EXPECT_EQ(ReadBytes(ServedTree() + "\\update\\files\\" + file), ReadBytes(path))
                << file;
        }
    }
}

TEST(DemoInstallers, RecordThemselvesWhereTheCatalogLooksAndRemoveTheRecord) {
    const std::vector<ListedUpdate> listed = ListedUpdates();
    const std::vector<DemoInstaller> installers = DemoInstallers();
    ASSERT_FALSE(installers.empty());
    for (const DemoInstaller& installer : installers) {
        SCOPED_TRACE(installer.kb);
        ASSERT_FALSE(installer.files.empty());
        const std::string path = ServedTree() + "\\update\\files\\" + installer.files[0];
        ASSERT_EQ(RecordValue(installer.kb, "DisplayName"), "<no record>") << "left from before";

        ASSERT_EQ(RunInstaller(path, "/quiet /norestart"), 0);
        EXPECT_EQ(RecordValue(installer.kb, "DisplayName"),
                  "Quellfix 데모 업데이트 (" + installer.kb + ")");
        EXPECT_EQ(RecordValue(installer.kb, "Comments"), "/quiet /norestart")
            << "the switches it was given are kept for the demo";

        // Every catalog entry that downloads this installer now finds it.
        int entries = 0;
        for (const ListedUpdate& update : listed) {
            if (std::find(installer.files.begin(), installer.files.end(), update.filename) ==
                installer.files.end()) {
                continue;
            }
            ++entries;
            bool found = std::any_of(update.probes.begin(), update.probes.end(), ProbeFinds);
            EXPECT_TRUE(found) << update.catalog << " [" << update.number
                               << "] still not installed after its installer ran";
        }
        EXPECT_GT(entries, 0) << "built but listed in no catalog";

        EXPECT_EQ(RunInstaller(path, "/uninstall"), 0);
        EXPECT_EQ(RecordValue(installer.kb, "DisplayName"), "<no record>");
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kUninstall) + "\\" + installer.kb).c_str());
    }
}

TEST(DemoInstallers, RunWithoutAnySwitches) {
    const std::vector<DemoInstaller> installers = DemoInstallers();
    ASSERT_FALSE(installers.empty());
    const DemoInstaller& installer = installers.front();
    const std::string path = ServedTree() + "\\update\\files\\" + installer.files[0];
    // A catalog's CMDLINE of "none" starts an installer with no switches.
    ASSERT_EQ(RunInstaller(path, ""), 0);
    EXPECT_EQ(RecordValue(installer.kb, "Comments"), "");
    EXPECT_EQ(RunInstaller(path, "/uninstall"), 0);
    EXPECT_EQ(RecordValue(installer.kb, "DisplayName"), "<no record>");
}

}  // namespace

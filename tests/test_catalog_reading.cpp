// The checker reads catalogs with its portable reader (core/IniText), the
// program with GetPrivateProfileStringA: every lookup the program makes, at
// both of its buffer sizes, must get the same answer from both over
// generated catalogs. Left out of them: a section header without its ']'
// and a quoted value exactly as long as the buffer minus one, which Wine's
// reader is known to answer otherwise than Windows (the checker reports the
// first as `section-header`; the portable reader's own table pins both).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "catalog/CatalogFile.h"
#include "core/CatalogModel.h"
#include "core/IniText.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

struct Lookup { std::string section, key, missing; };

// Every lookup the program makes of a catalog of `entries` entries.
std::vector<Lookup> ProgramLookups(int entries) {
    std::vector<Lookup> lookups = {{"INFO", kKeyLanguage.name, "ERROR"}};
    for (const CatalogKey& key : kCatalogKeys) {
        if (key.section == CatalogSection::Info) lookups.push_back({"INFO", key.name, key.missing});
        for (int n = 1; key.section == CatalogSection::Entry && n <= entries; ++n) {
            lookups.push_back({EntrySection(n), key.name, key.missing});
            if (key.id == CatalogKeyId::Probe)
                for (int k = 2; k <= 4; ++k) lookups.push_back({EntrySection(n), ProbeKeyName(k), key.missing});
        }
    }
    return lookups;
}

template <typename T>
const T& Pick(std::mt19937& random, const std::vector<T>& from) { return from[random() % from.size()]; }

std::string Value(std::mt19937& random) {
    static const std::vector<std::string> values = {
        "plain", "  spaced out  ", "\"quoted value\"", "'single quoted'", "\"open quote", "'mixed\"",
        "a ;not a comment", std::string(1500, 'x'),                    // longer than either buffer
        "보안 업데이트 " + std::string(1008, 'y') + "가나다",            // cut near a double-byte character
        std::string(1022, 'z'), std::string(1023, 'z'), "\"" + std::string(1030, 'q') + "\"",
        "'" + std::string(1021, 'q') + "'",
        "", "=equals=inside=", "\t tabbed \t", "18", "-1", "HKEY_LOCAL_MACHINE\\Software\\X"};
    return Pick(random, values);
}

// A catalog of a few sections, some repeated or in other letter cases, with
// blanks, comments, lines without '=' and blank lines between its lines,
// which end in CR LF, LF or CR alone.
std::string Catalog(std::mt19937& random, int entries) {
    std::vector<std::string> sections = {"INFO", "info", " Info "};
    std::vector<std::string> keys;
    for (int n = 1; n <= entries; ++n) sections.push_back(EntrySection(n));
    sections.push_back("01");
    for (const CatalogKey& key : kCatalogKeys) keys.push_back(key.name);
    keys.insert(keys.end(), {"regkey2", "REGKEY3", "Title", " TITLE", "REGKEY1"});
    std::string text;
    const int count = 2 + static_cast<int>(random() % 5);
    for (int s = 0; s < count; ++s) {
        const char* end = random() % 5 == 0 ? "\n" : random() % 7 == 0 ? "\r" : "\r\n";
        const std::string& section = Pick(random, sections);
        text += (random() % 4 == 0 ? "  [" : "[") + section + "]" + (random() % 9 == 0 ? " after" : "") + end;
        const int lines = static_cast<int>(random() % 9);
        for (int k = 0; k < lines; ++k) {
            const std::string& key = Pick(random, keys);
            switch (random() % 8) {
            case 0: text += ";" + key + "=commented" + end; break;
            case 1: text += end; break;
            case 2: text += "  " + key + " =\t" + Value(random) + end; break;
            case 3: text += key + end; break;  // no '='
            default: text += key + "=" + Value(random) + end; break;
            }
        }
    }
    return text;
}

TEST(CatalogReading, TheCheckersReaderAnswersEveryLookupAsTheProfileFunctions) {
    ScopedTempDir dir("qf ini ");
    std::mt19937 random(20261208);
    int compared = 0, differing = 0;
    for (int n = 0; n < 80 && differing < 5; ++n) {
        const int entries = 1 + static_cast<int>(random() % 3);
        const std::string text = Catalog(random, entries);
        // A file of its own each time: the profile functions keep the last
        // file they read.
        const std::string path = dir.File("catalog" + std::to_string(n) + ".ini");
        ASSERT_TRUE(WriteBytes(path, text));
        const IniText portable(text);
        for (const Lookup& l : ProgramLookups(entries)) {
            for (CatalogReader reader : {kListFilling, kDetails}) {
                const std::size_t size = CatalogReaderBuffer(reader);
                const std::string windows = ReadCatalogValue(path, l.section, l.key.c_str(), l.missing.c_str(), size);
                const std::string ours = portable.Read(l.section, l.key, l.missing.c_str(), size);
                ++compared;
                if (windows != ours) {
                    ++differing;
                    ADD_FAILURE() << "[" << l.section << "] " << l.key << " (buffer " << size << "): Windows '"
                                  << windows.substr(0, 60) << "' (" << windows.size() << "), ours '"
                                  << ours.substr(0, 60) << "' (" << ours.size() << ") in:\n"
                                  << text.substr(0, 800);
                }
            }
        }
    }
    EXPECT_GT(compared, 5000);
}

}  // namespace

// The portable catalog reader of the publishing tools against the profile
// functions the program reads catalogs with: over generated catalogs (odd
// spacing, quotes, comments, repeated keys and sections, long and Korean
// values), every lookup the program makes must get the same answer.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "catalog/Catalog.h"
#include "core/IniText.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const std::vector<std::string> kSections = {"INFO", "info", "1", "2", "10"};
const std::vector<std::string> kKeys = {"TITLE", "title", "URL", "REGKEY", "REGKEY2", "COUNT"};

std::string Pick(std::mt19937& random, const std::vector<std::string>& from) {
    return from[random() % from.size()];
}

std::string Value(std::mt19937& random) {
    switch (random() % 10) {
    case 0: return "plain";
    case 1: return "  spaced out  ";
    case 2: return "\"quoted value\"";
    case 3: return "'single quoted'";
    case 4: return "\"open quote";
    case 5: return "a ;not a comment";
    case 6: return std::string(1500, 'x');  // longer than either buffer
    case 7: return "보안 업데이트 " + std::string(1019, 'y') + "가나";  // cut near a double-byte character
    case 8: return "";
    default: return "=equals=inside=";
    }
}

// A catalog of a few sections, some repeated, with blanks, comments and
// blank lines between its lines, which end in CR LF or LF alone.
std::string Catalog(std::mt19937& random) {
    std::string text;
    const int sections = 1 + static_cast<int>(random() % 4);
    for (int s = 0; s < sections; ++s) {
        const char* end = random() % 3 == 0 ? "\n" : "\r\n";
        text += (random() % 4 == 0 ? "  [" : "[") + Pick(random, kSections) + "]" + end;
        const int keys = static_cast<int>(random() % 6);
        for (int k = 0; k < keys; ++k) {
            switch (random() % 6) {
            case 0: text += std::string(";") + Pick(random, kKeys) + "=commented" + end; break;
            case 1: text += end; break;
            case 2: text += "  " + Pick(random, kKeys) + " =\t" + Value(random) + end; break;
            default: text += Pick(random, kKeys) + "=" + Value(random) + end; break;
            }
        }
    }
    return text;
}

TEST(CatalogReading, ThePortableReaderAnswersAsTheProfileFunctions) {
    ScopedTempDir dir("qf ini ");
    std::mt19937 random(20261207);
    int compared = 0, differing = 0;
    for (int n = 0; n < 120 && differing < 5; ++n) {
        const std::string text = Catalog(random);
        // A file of its own each time: the profile functions keep the last
        // file they read.
        const std::string path = dir.File("catalog" + std::to_string(n) + ".ini");
        ASSERT_TRUE(WriteBytes(path, text));
        const IniText portable(text);
        for (const std::string& section : kSections) {
            for (const std::string& key : kKeys) {
                for (DWORD size : {kCatalogListBuffer, kCatalogDetailsBuffer}) {
                    const std::string windows = ReadCatalogValue(path, section, key.c_str(), "없음", size);
                    const std::string ours = portable.Read(section, key, "없음", size);
                    ++compared;
                    if (windows != ours) {
                        ++differing;
                        ADD_FAILURE() << "[" << section << "] " << key << " (buffer " << size
                                      << "): Windows '" << windows.substr(0, 80) << "', ours '"
                                      << ours.substr(0, 80) << "' in:\n"
                                      << text.substr(0, 600);
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 5000);
}

}  // namespace

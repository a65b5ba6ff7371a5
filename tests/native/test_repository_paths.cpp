// Where an installer lies in a repository folder: the program's rule against
// the table server/mirror.py is held to as well, so the program finds every
// file the mirror command writes.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "core/UpdateFiles.h"

namespace {

// The table's escapes: {XX} is the byte XX.
std::string Unescape(const std::string& field) {
    std::string bytes;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '{' && i + 3 < field.size() && field[i + 3] == '}') {
            bytes += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
            i += 3;
        } else {
            bytes += field[i];
        }
    }
    return bytes;
}

TEST(RepositoryPaths, FollowTheRuleTheMirrorCommandWritesBy) {
    std::ifstream table(QUELLFIX_SOURCE_DIR "/tests/fixtures/repository_paths.txt", std::ios::binary);
    ASSERT_TRUE(table) << "the shared table is missing";
    std::set<std::string> folders;
    int rows = 0;
    for (std::string line; std::getline(table, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string url, path;
        ASSERT_TRUE(fields >> url >> path) << line;
        const std::string expected = Unescape(path), got = RepositoryPathOfUrl(Unescape(url));
        EXPECT_EQ(got, expected) << line;
        // Never outside the repository, and each URL a folder of its own.
        EXPECT_EQ(got.compare(0, 6, "files\\"), 0) << line;
        EXPECT_TRUE(folders.insert(got.substr(6, 32)).second) << line;
        ++rows;
    }
    EXPECT_GT(rows, 30);
}

}  // namespace

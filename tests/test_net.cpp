// The network layer through the real WinINet against the loopback test
// server, with its fault options (see fixtures/http_server.py).
#include <gtest/gtest.h>

#include "net/Download.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"
#include "ui/Messages.h"

using namespace testing_support;

namespace {

// Bytes that are not all alike, so a misplaced block shows.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    unsigned state = 1;
    for (char& c : bytes) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 16);
    return bytes;
}

// A file in the test server's folder under a name of its own, removed at the end.
int servedFiles = 0;
struct ServedFile {
    explicit ServedFile(const std::string& content) { EXPECT_TRUE(WriteBytes(HttpRoot() + "\\" + name, content)); }
    ~ServedFile() { ::DeleteFileA((HttpRoot() + "\\" + name).c_str()); }
    std::string Url(const std::string& query = "") const { return HttpUrl(name) + (query.empty() ? "" : "?" + query); }
    const std::string name =
        "net_" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++servedFiles) + ".bin";
};

std::string DownServerUrl() { return std::string(kNoServerUrl) + "net.bin"; }

// With and without a length, empty, without a window, over a longer file.
TEST(Download, WritesTheBodyAndReportsProgressInBlocksOfAtMost512) {
    const struct { const char* name; size_t size; const char* query; bool window; } cases[] = {
        {"with_length", 70001, "", true}, {"without_length", 70001, "nolength=1", true},
        {"empty", 0, "", true}, {"no_window", 9000, "", false}};
    for (const auto& c : cases) {
        const std::string body = Pattern(c.size);
        ServedFile served(body);
        ScopedTempDir dir("qf updates ");
        const std::string local = dir.File("kb990401.exe");
        ASSERT_TRUE(WriteBytes(local, std::string(80000, 'o')));
        NotifyRecorder window;
        EXPECT_EQ(DownloadFile(served.Url(c.query), local, c.window ? window.Hwnd() : nullptr), 1) << c.name;
        EXPECT_EQ(ReadBytes(local), body) << c.name;
        if (!c.window) continue;
        std::vector<NotifyRecorder::Event> events = window.Events();
        ASSERT_FALSE(events.empty()) << c.name;
        EXPECT_EQ(events.back().msg, static_cast<UINT>(WM_DOWNLOAD_DONE)) << c.name;
        EXPECT_EQ(window.Done(), std::vector<LPARAM>{1}) << c.name;
        LPARAM previous = 0;
        for (LPARAM value : window.Progress()) {
            EXPECT_GT(value, previous) << c.name;
            EXPECT_LE(value - previous, 512) << c.name;
            previous = value;
        }
        EXPECT_EQ(previous, static_cast<LPARAM>(body.size())) << c.name;
    }
}

// An installer or catalog changed on the server is never taken from a cache.
TEST(Download, EveryCallAsksTheServerAgain) {
    ServedFile served(Pattern(2000));
    ScopedTempDir dir;
    const std::string get = "GET /" + served.name;
    for (int i = 1; i <= 2; ++i) {
        ASSERT_EQ(DownloadFile(served.Url(), dir.File("kb.exe"), nullptr), 1);
        EXPECT_TRUE(WaitFor([&] { return Requests(get) == i; }, 5000)) << Requests(get);
    }
}

TEST(Download, AFailureReturnsZeroAndLeavesTheEarlierFileUntouched) {
    // folderMissing: the local path lies in a folder that does not exist.
    const struct { const char* name; const char* query; bool folderMissing; } cases[] = {
        {"status_404", "status=404", false}, {"connection_dropped", "drop=1000", false},
        {"short_body", "length=80000", false}, {"local_folder_missing", "", true}};
    for (const auto& c : cases) {
        ServedFile served(Pattern(70001));
        ScopedTempDir dir("qf updates ");
        const std::string folder = c.folderMissing ? dir.File("no such folder") : dir.Path();
        const std::string local = folder + "\\kb990401.exe";
        const std::string earlier = "the installer downloaded last week";
        ASSERT_TRUE(c.folderMissing || WriteBytes(local, earlier));
        NotifyRecorder window;
        EXPECT_EQ(DownloadFile(served.Url(c.query), local, window.Hwnd()), 0) << c.name;
        EXPECT_EQ(window.Done(), std::vector<LPARAM>{0}) << c.name;
        if (c.folderMissing) {
            EXPECT_FALSE(FileExists(folder)) << c.name;
        } else {
            EXPECT_EQ(ReadBytes(local), earlier) << c.name;
        }
    }
}

TEST(Queries, RemoteSizeIsTheLengthOfASuccessfulReplyAndFirstLineEndsInOneLineFeed) {
    ServedFile large(Pattern(70001)), empty("");
    EXPECT_EQ(GetRemoteFileSize(large.Url()), 70001);
    EXPECT_EQ(GetRemoteFileSize(large.Url("nolength=1")), 0);
    EXPECT_EQ(GetRemoteFileSize(large.Url("status=500")), 0);
    EXPECT_EQ(GetRemoteFileSize(empty.Url()), 0);
    EXPECT_EQ(GetRemoteFileSize(DownServerUrl()), 0);

    ServedFile version("2.001\r\nsecond\r\nthird\r\n");
    EXPECT_EQ(FetchFirstLine(version.Url()), "2.001\n");
    EXPECT_EQ(FetchFirstLine(version.Url("status=404")), "");
    EXPECT_EQ(FetchFirstLine(DownServerUrl()), "");
}

}  // namespace

// The network layer through the real WinINet against the loopback test
// server, with its fault options (see fixtures/http_server.py).
#include <gtest/gtest.h>

#include "net/Download.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"
#include "ui/Messages.h"

using namespace testing_support;

namespace {

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// Bytes that are not all alike, so a misplaced block shows.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    unsigned state = 1;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

// A file in the test server's folder under a name of its own, removed at the end.
class ServedFile {
public:
    explicit ServedFile(const std::string& content) {
        static int counter = 0;
        m_name = "net_" + std::to_string(::GetCurrentProcessId()) + "_" +
                 std::to_string(++counter) + ".bin";
        EXPECT_TRUE(WriteBytes(Path(), content));
    }
    ~ServedFile() { ::DeleteFileA(Path().c_str()); }
    const std::string& Name() const { return m_name; }
    std::string Url(const std::string& query = "") const {
        return HttpUrl(m_name) + (query.empty() ? "" : "?" + query);
    }

private:
    std::string Path() const { return HttpRoot() + "\\" + m_name; }
    std::string m_name;
};

std::string DownServerUrl() {
    return "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/net.bin";
}

struct SuccessCase {
    const char* name;
    const char* query;
};

class DownloadSucceeds : public ::testing::TestWithParam<SuccessCase> {};

TEST_P(DownloadSucceeds, WritesTheBodyAndReportsProgressInBlocksOfAtMost512) {
    const std::string body = Pattern(70001);
    ServedFile served(body);
    ScopedTempDir dir("qf updates ");
    const std::string local = dir.File("kb990401.exe");
    NotifyRecorder window;

    EXPECT_EQ(DownloadFile(served.Url(GetParam().query), local, window.Hwnd()), 1);
    EXPECT_EQ(ReadBytes(local), body);
    std::vector<NotifyRecorder::Event> events = window.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, static_cast<UINT>(WM_DOWNLOAD_DONE));
    EXPECT_EQ(window.Done(), std::vector<LPARAM>{1});
    LPARAM previous = 0;
    for (LPARAM value : window.Progress()) {
        EXPECT_GT(value, previous);
        EXPECT_LE(value - previous, 512);
        previous = value;
    }
    EXPECT_EQ(previous, static_cast<LPARAM>(body.size()));
}

INSTANTIATE_TEST_SUITE_P(Replies, DownloadSucceeds,
                         ::testing::Values(SuccessCase{"with_length", ""},
                                           SuccessCase{"without_length", "nolength=1"}),
                         CaseName<SuccessCase>);

TEST(Download, AnEmptyResourceGivesAnEmptyFileAndNoProgress) {
    ServedFile served("");
    ScopedTempDir dir;
    NotifyRecorder window;
    EXPECT_EQ(DownloadFile(served.Url(), dir.File("empty.exe"), window.Hwnd()), 1);
    EXPECT_TRUE(window.Progress().empty());
    EXPECT_EQ(window.Done(), std::vector<LPARAM>{1});
    EXPECT_EQ(FileSize(dir.File("empty.exe")), 0);
}

TEST(Download, WorksWithoutAWindow) {
    const std::string body = Pattern(9000);
    ServedFile served(body);
    ScopedTempDir dir;
    EXPECT_EQ(DownloadFile(served.Url(), dir.File("a.exe"), nullptr), 1);
    EXPECT_EQ(ReadBytes(dir.File("a.exe")), body);
}

TEST(Download, ALongerExistingFileIsReplaced) {
    const std::string body = Pattern(300);
    ServedFile served(body);
    ScopedTempDir dir;
    const std::string local = dir.File("kb.exe");
    ASSERT_TRUE(WriteBytes(local, std::string(10000, 'o')));
    EXPECT_EQ(DownloadFile(served.Url(), local, nullptr), 1);
    EXPECT_EQ(ReadBytes(local), body);
}

TEST(Download, EveryCallAsksTheServerAgain) {
    ServedFile served(Pattern(2000));
    ScopedTempDir dir;
    auto requests = [&] {
        size_t n = 0;
        for (const std::string& line : HttpRequests()) n += line == "GET /" + served.Name();
        return n;
    };
    for (size_t i = 1; i <= 2; ++i) {
        ASSERT_EQ(DownloadFile(served.Url(), dir.File("kb.exe"), nullptr), 1);
        EXPECT_TRUE(WaitFor([&] { return requests() == i; }, 5000)) << requests();
    }
}

struct FailureCase {
    const char* name;
    const char* query;
    bool folderMissing;  // the local path lies in a folder that does not exist
};

class DownloadFails : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DownloadFails, ReturnsZeroAndLeavesTheEarlierFileUntouched) {
    const FailureCase& c = GetParam();
    ServedFile served(Pattern(70001));
    ScopedTempDir dir("qf updates ");
    const std::string folder = c.folderMissing ? dir.File("no such folder") : dir.Path();
    const std::string local = folder + "\\kb990401.exe";
    const std::string earlier = "the installer downloaded last week";
    if (!c.folderMissing) {
        ASSERT_TRUE(WriteBytes(local, earlier));
    }
    NotifyRecorder window;

    EXPECT_EQ(DownloadFile(served.Url(c.query), local, window.Hwnd()), 0);
    EXPECT_EQ(window.Done(), std::vector<LPARAM>{0});
    if (c.folderMissing) {
        EXPECT_FALSE(FileExists(folder));
    } else {
        EXPECT_EQ(ReadBytes(local), earlier);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, DownloadFails,
                         ::testing::Values(FailureCase{"status_404", "status=404", false},
                                           FailureCase{"status_500", "status=500", false},
                                           FailureCase{"connection_dropped", "drop=1000", false},
                                           FailureCase{"short_body", "length=80000", false},
                                           FailureCase{"local_folder_missing", "", true}),
                         CaseName<FailureCase>);

struct SizeCase {
    const char* name;
    size_t size;
    const char* query;
    long expected;
};

class RemoteSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(RemoteSize, IsTheContentLengthOfASuccessfulReply) {
    ServedFile served(Pattern(GetParam().size));
    EXPECT_EQ(GetRemoteFileSize(served.Url(GetParam().query)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Replies, RemoteSize,
                         ::testing::Values(SizeCase{"length", 70001, "", 70001},
                                           SizeCase{"no_length", 70001, "nolength=1", 0},
                                           SizeCase{"zero_length", 0, "", 0},
                                           SizeCase{"error_status", 100, "status=500", 0}),
                         CaseName<SizeCase>);

struct LineCase {
    const char* name;
    const char* query;  // null: the server is down
    const char* expected;
};

class FirstLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(FirstLine, IsTheFirstLineWithOneLineFeed) {
    ServedFile served("2.001\r\nsecond\r\nthird\r\n");
    const LineCase& c = GetParam();
    EXPECT_EQ(FetchFirstLine(c.query ? served.Url(c.query) : DownServerUrl()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Replies, FirstLine,
                         ::testing::Values(LineCase{"several_lines", "", "2.001\n"},
                                           LineCase{"error_status", "status=404", ""},
                                           LineCase{"server_down", nullptr, ""}),
                         CaseName<LineCase>);

}  // namespace

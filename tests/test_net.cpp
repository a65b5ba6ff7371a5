// The network layer through the real WinINet against the loopback test
// server: downloads with their progress and end notifications, failed
// transfers that must leave an earlier file alone, remote sizes and first
// lines, with error statuses, missing lengths, dropped connections and a
// server that is not there.
#include <gtest/gtest.h>

#include <climits>

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
std::string Pattern(size_t size, unsigned seed = 1) {
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

// A file in the test server's folder under a name no other test uses,
// removed again at the end.
class ServedFile {
public:
    explicit ServedFile(const std::string& content) {
        static int counter = 0;
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("net_") + test->test_suite_name() + "_" + test->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        m_name = name + "_" + std::to_string(++counter) + ".bin";
        m_path = HttpRoot() + "\\" + m_name;
        m_ok = WriteBytes(m_path, content);
    }
    ~ServedFile() { ::DeleteFileA(m_path.c_str()); }
    ServedFile(const ServedFile&) = delete;
    ServedFile& operator=(const ServedFile&) = delete;
    bool Ok() const { return m_ok; }
    const std::string& Name() const { return m_name; }
    std::string Url(const std::string& query = "") const {
        return HttpUrl(m_name) + (query.empty() ? "" : "?" + query);
    }

private:
    std::string m_name;
    std::string m_path;
    bool m_ok = false;
};

std::string DownServerUrl(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/" + path;
}

// The progress values rise by 1 to 512 bytes each and end at `total`; the
// end notification with `result` comes once, after all of them.
void ExpectNotifications(const NotifyRecorder& window, size_t total, LPARAM result) {
    std::vector<NotifyRecorder::Event> events = window.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, static_cast<UINT>(WM_DOWNLOAD_DONE));
    EXPECT_EQ(events.back().lParam, result);
    EXPECT_EQ(window.Done().size(), 1u);
    LPARAM previous = 0;
    for (const NotifyRecorder::Event& e : events) {
        EXPECT_EQ(e.wParam, 0u);
        if (e.msg != WM_DOWNLOAD_PROGRESS) continue;
        EXPECT_GT(e.lParam, previous);
        EXPECT_LE(e.lParam - previous, 512);
        previous = e.lParam;
    }
    EXPECT_EQ(previous, static_cast<LPARAM>(total));
}

// --- Downloads that succeed ------------------------------------------------------

struct SuccessCase {
    const char* name;
    size_t size;
    const char* query;
    const char* localName;
};

void PrintTo(const SuccessCase& c, std::ostream* os) { *os << c.name; }

class DownloadSucceeds : public ::testing::TestWithParam<SuccessCase> {};

TEST_P(DownloadSucceeds, WritesTheWholeBodyAndReportsEveryBlock) {
    const SuccessCase& c = GetParam();
    const std::string body = Pattern(c.size);
    ServedFile served(body);
    ASSERT_TRUE(served.Ok());
    ScopedTempDir dir("qf updates ");
    const std::string local = dir.File(c.localName);
    NotifyRecorder window;

    EXPECT_EQ(DownloadFile(served.Url(c.query), local, window.Hwnd()), 1);
    ExpectNotifications(window, c.size, 1);
    bool read = false;
    EXPECT_EQ(ReadBytes(local, &read), body);
    EXPECT_TRUE(read);
    EXPECT_FALSE(FileExists(local + ".part"));
}

INSTANTIATE_TEST_SUITE_P(
    Resources, DownloadSucceeds,
    ::testing::Values(SuccessCase{"several_blocks", 70001, "", "kb990401.exe"},
                      SuccessCase{"exactly_one_block", 512, "", "kb990401.exe"},
                      SuccessCase{"one_byte", 1, "", "kb990401.exe"},
                      SuccessCase{"without_length", 20000, "nolength=1", "kb990401.exe"},
                      SuccessCase{"dribbled_slowly", 3000, "slow=5", "kb990401.exe"},
                      SuccessCase{"korean_local_name", 5000, "", "보안 업데이트 (KB990401).exe"}),
    CaseName<SuccessCase>);

TEST(Download, AnEmptyResourceGivesAnEmptyFileAndNoProgress) {
    ServedFile served("");
    ScopedTempDir dir;
    const std::string local = dir.File("empty.exe");
    NotifyRecorder window;
    EXPECT_EQ(DownloadFile(served.Url(), local, window.Hwnd()), 1);
    EXPECT_TRUE(window.Progress().empty());
    EXPECT_EQ(window.Done(), std::vector<LPARAM>{1});
    EXPECT_EQ(FileSize(local), 0);
}

TEST(Download, WithoutAWindowStillTransfers) {
    const std::string body = Pattern(9000, 2);
    ServedFile served(body);
    ScopedTempDir dir;
    EXPECT_EQ(DownloadFile(served.Url(), dir.File("a.exe"), nullptr), 1);
    EXPECT_EQ(ReadBytes(dir.File("a.exe")), body);
    // Failures too.
    EXPECT_EQ(DownloadFile(served.Url("status=500"), dir.File("b.exe"), nullptr), 0);
    EXPECT_FALSE(FileExists(dir.File("b.exe")));
}

TEST(Download, ALongerExistingFileIsReplacedByTheShorterResource) {
    const std::string body = Pattern(300, 3);
    ServedFile served(body);
    ScopedTempDir dir;
    const std::string local = dir.File("kb.exe");
    ASSERT_TRUE(WriteBytes(local, std::string(10000, 'o')));
    EXPECT_EQ(DownloadFile(served.Url(), local, nullptr), 1);
    EXPECT_EQ(FileSize(local), 300);
    EXPECT_EQ(ReadBytes(local), body);
}

TEST(Download, EveryCallAsksTheServerAgain) {
    ServedFile served(Pattern(2000, 4));
    ScopedTempDir dir;
    auto requests = [&] {
        size_t n = 0;
        for (const std::string& line : HttpRequests())
            if (line == "GET /" + served.Name()) ++n;
        return n;
    };
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(DownloadFile(served.Url(), dir.File("kb.exe"), nullptr), 1);
        EXPECT_TRUE(WaitFor([&] { return requests() == static_cast<size_t>(i + 1); }, 5000))
            << "requests seen: " << requests();
    }
}

// --- Downloads that fail ---------------------------------------------------------

enum class Where { Served, NotServed, ServerDown };

struct FailureCase {
    const char* name;
    Where where;
    const char* query;
    bool folderMissing;      // the local path lies in a folder that does not exist
    long long partialBytes;  // what the ".part" file holds afterwards; -1: no such file
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class DownloadFails : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DownloadFails, ReturnsZeroAndLeavesTheEarlierFileUntouched) {
    const FailureCase& c = GetParam();
    const size_t size = 70001;
    ServedFile served(Pattern(size, 5));
    std::string url = served.Url(c.query);
    if (c.where == Where::NotServed) url = HttpUrl("net_never_served.exe");
    if (c.where == Where::ServerDown) url = DownServerUrl(served.Name());

    ScopedTempDir dir("qf updates ");
    const std::string folder = c.folderMissing ? dir.File("no such folder") : dir.Path();
    const std::string local = folder + "\\kb990401.exe";
    const std::string earlier = "the installer downloaded last week";
    if (!c.folderMissing) {
        ASSERT_TRUE(WriteBytes(local, earlier));
    }
    NotifyRecorder window;

    EXPECT_EQ(DownloadFile(url, local, window.Hwnd()), 0);
    EXPECT_EQ(window.Done(), std::vector<LPARAM>{0});
    EXPECT_EQ(window.Events().back().msg, static_cast<UINT>(WM_DOWNLOAD_DONE));
    if (c.folderMissing) {
        EXPECT_FALSE(FileExists(folder));
    } else {
        EXPECT_EQ(ReadBytes(local), earlier);
    }
    EXPECT_EQ(FileSize(local + ".part"), c.partialBytes);
    if (c.partialBytes > 0) {
        // Whatever arrived was reported, and kept for inspection.
        EXPECT_EQ(window.Progress().back(), static_cast<LPARAM>(c.partialBytes));
        EXPECT_EQ(ReadBytes(local + ".part"), Pattern(size, 5).substr(0, c.partialBytes));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DownloadFails,
    ::testing::Values(FailureCase{"not_found", Where::NotServed, "", false, -1},
                      FailureCase{"status_404", Where::Served, "status=404", false, -1},
                      FailureCase{"status_403", Where::Served, "status=403", false, -1},
                      FailureCase{"status_500", Where::Served, "status=500", false, -1},
                      FailureCase{"connection_dropped", Where::Served, "drop=1000", false, 1000},
                      FailureCase{"short_body", Where::Served, "length=80000", false, 70001},
                      FailureCase{"server_down", Where::ServerDown, "", false, -1},
                      FailureCase{"local_folder_missing", Where::Served, "", true, -1}),
    CaseName<FailureCase>);

TEST(Download, AnEarlierFileThatCannotBeReplacedIsKeptAndTheTransferFails) {
    // An installer still open elsewhere (say, running) cannot be overwritten.
    const std::string body = Pattern(4000, 6);
    ServedFile served(body);
    ScopedTempDir dir;
    const std::string local = dir.File("kb.exe");
    ASSERT_TRUE(WriteBytes(local, "running installer"));
    HANDLE open = ::CreateFileA(local.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    int result = DownloadFile(served.Url(), local, nullptr);
    ::CloseHandle(open);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadBytes(local), "running installer");
    EXPECT_EQ(ReadBytes(local + ".part"), body);
}

TEST(Download, AnEmptyLocalPathWritesNothing) {
    ServedFile served(Pattern(100, 7));
    NotifyRecorder window;
    EXPECT_EQ(DownloadFile(served.Url(), "", window.Hwnd()), 0);
    EXPECT_EQ(window.Done(), std::vector<LPARAM>{0});
    EXPECT_TRUE(window.Progress().empty());
}

// --- Remote sizes ----------------------------------------------------------------

struct SizeCase {
    const char* name;
    Where where;
    size_t size;
    const char* query;
    long expected;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }

class RemoteSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(RemoteSize, IsTheContentLengthOfASuccessfulReply) {
    const SizeCase& c = GetParam();
    ServedFile served(Pattern(c.size, 8));
    std::string url = served.Url(c.query);
    if (c.where == Where::NotServed) url = HttpUrl("net_never_served.exe");
    if (c.where == Where::ServerDown) url = DownServerUrl(served.Name());
    EXPECT_EQ(GetRemoteFileSize(url), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, RemoteSize,
    ::testing::Values(SizeCase{"length", Where::Served, 70001, "", 70001},
                      SizeCase{"no_length", Where::Served, 70001, "nolength=1", 0},
                      SizeCase{"zero_length", Where::Served, 0, "", 0},
                      SizeCase{"announced_length", Where::Served, 100, "length=12345", 12345},
                      SizeCase{"beyond_long", Where::Served, 100, "length=3000000000", LONG_MAX},
                      // Error pages carry a length of their own.
                      SizeCase{"status_404", Where::Served, 100, "status=404", 0},
                      SizeCase{"status_500", Where::Served, 100, "status=500", 0},
                      SizeCase{"not_found", Where::NotServed, 0, "", 0},
                      SizeCase{"server_down", Where::ServerDown, 100, "", 0}),
    CaseName<SizeCase>);

struct LengthTextCase {
    const char* name;
    const char* text;
    long value;
};

void PrintTo(const LengthTextCase& c, std::ostream* os) { *os << c.name; }

class LengthText : public ::testing::TestWithParam<LengthTextCase> {};

TEST_P(LengthText, ReadsLeadingDigits) {
    EXPECT_EQ(ParseContentLength(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LengthText,
    ::testing::Values(LengthTextCase{"plain", "70001", 70001}, LengthTextCase{"zero", "0", 0},
                      LengthTextCase{"leading_blanks", "  \t42", 42},
                      LengthTextCase{"leading_zeros", "007", 7},
                      LengthTextCase{"trailing_text", "12abc", 12}, LengthTextCase{"empty", "", 0},
                      LengthTextCase{"letters", "abc", 0}, LengthTextCase{"minus", "-5", 0},
                      LengthTextCase{"plus", "+5", 0},
                      LengthTextCase{"largest", "2147483647", LONG_MAX},
                      LengthTextCase{"one_beyond", "2147483648", LONG_MAX},
                      LengthTextCase{"far_beyond", "99999999999999999999999999", LONG_MAX},
                      LengthTextCase{"null", nullptr, 0}),
    CaseName<LengthTextCase>);

// --- First lines -----------------------------------------------------------------

struct LineCase {
    const char* name;
    Where where;
    std::string body;
    const char* query;
    std::string expected;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class FirstLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(FirstLine, IsTheFirstLineWithOneLineFeed) {
    const LineCase& c = GetParam();
    ServedFile served(c.body);
    std::string url = served.Url(c.query);
    if (c.where == Where::NotServed) url = HttpUrl("net_never_served.inf");
    if (c.where == Where::ServerDown) url = DownServerUrl(served.Name());
    EXPECT_EQ(FetchFirstLine(url), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, FirstLine,
    ::testing::Values(
        LineCase{"crlf_lines", Where::Served, "2.001\r\nsecond\r\nthird\r\n", "", "2.001\n"},
        LineCase{"lf_lines", Where::Served, "3.000\nsecond\n", "", "3.000\n"},
        LineCase{"no_line_feed", Where::Served, "2.000", "", "2.000\n"},
        LineCase{"empty_first_line", Where::Served, "\nsecond\n", "", "\n"},
        LineCase{"empty_body", Where::Served, "", "", ""},
        LineCase{"korean", Where::Served, "버전 2.001\r\n설명\r\n", "", "버전 2.001\n"},
        LineCase{"line_across_reads", Where::Served, std::string(700, 'v') + "\nnext", "",
                 std::string(700, 'v') + "\n"},
        LineCase{"long_line_cut", Where::Served, std::string(5000, 'w') + "\n", "",
                 std::string(kFirstLineLimit, 'w') + "\n"},
        LineCase{"without_length", Where::Served, "2.001\r\nsecond\r\n", "nolength=1", "2.001\n"},
        LineCase{"dropped_after_the_line", Where::Served, "2.001\nmore text here", "drop=8",
                 "2.001\n"},
        LineCase{"dropped_inside_the_line", Where::Served, "2.001\nmore", "drop=3", ""},
        LineCase{"status_404", Where::Served, "2.001\n", "status=404", ""},
        LineCase{"status_500", Where::Served, "2.001\n", "status=500", ""},
        LineCase{"not_found", Where::NotServed, "", "", ""},
        LineCase{"server_down", Where::ServerDown, "2.001\n", "", ""}),
    CaseName<LineCase>);

}  // namespace

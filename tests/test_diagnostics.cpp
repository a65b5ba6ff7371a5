// Diagnostic output: lines reaching a real LogViewer window as 260-byte
// WM_COPYDATA blocks, a viewer that comes and goes, and the bounded
// formatting with its three results.
#include <gtest/gtest.h>

#include <cstring>

#include "run/Diagnostics.h"
#include "support/LogViewerWindow.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// --- FormatBounded ------------------------------------------------------------

struct BoundedCase {
    const char* name;
    size_t capacity;
    const char* text;  // formatted through "%s"
    HRESULT result;
    const char* kept;  // what the buffer holds afterwards
};

void PrintTo(const BoundedCase& c, std::ostream* os) { *os << c.name; }

class Bounded : public ::testing::TestWithParam<BoundedCase> {};

TEST_P(Bounded, KeepsCapacityMinusOneCharacters) {
    const BoundedCase& c = GetParam();
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatBounded(buffer, c.capacity, "%s", c.text), c.result);
    EXPECT_STREQ(buffer, c.kept);
    // Nothing is written past the capacity.
    for (size_t i = c.capacity; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << "at " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Capacities, Bounded,
    ::testing::Values(
        BoundedCase{"fits_with_room", 10, "12345678", kFormatFitted, "12345678"},
        BoundedCase{"exactly_capacity_minus_one", 10, "123456789", kFormatFitted, "123456789"},
        BoundedCase{"one_too_many", 10, "1234567890", kFormatTruncated, "123456789"},
        BoundedCase{"far_too_many", 10, "1234567890abcdefghij", kFormatTruncated, "123456789"},
        BoundedCase{"empty", 10, "", kFormatFitted, ""},
        BoundedCase{"capacity_one", 1, "a", kFormatTruncated, ""},
        BoundedCase{"capacity_one_empty", 1, "", kFormatFitted, ""}),
    CaseName<BoundedCase>);

TEST(Bounded, UnusableCapacitiesLeaveTheBufferUntouched) {
    char buffer[16];
    const size_t capacities[] = {0, static_cast<size_t>(0x80000000u), static_cast<size_t>(-1)};
    for (size_t capacity : capacities) {
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(FormatBounded(buffer, capacity, "%s", "text"), kFormatInvalid) << capacity;
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#')) << capacity;
    }
    EXPECT_EQ(FormatBounded(nullptr, 10, "%s", "text"), kFormatInvalid);
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatBounded(buffer, sizeof buffer, nullptr), kFormatInvalid);
    EXPECT_STREQ(buffer, "");
}

TEST(Bounded, TheInstallStatusLineWithAVeryLongTitle) {
    // The install worker formats into 1024 bytes with capacity 1023.
    std::string title(2000, 'T');
    char buffer[1024];
    buffer[1023] = '#';
    EXPECT_EQ(
        FormatBounded(buffer, 1023, "[%d/%d] %s 를 설치하고 있습니다...  ", 3, 12, title.c_str()),
        kFormatTruncated);
    EXPECT_EQ(std::strlen(buffer), 1022u);
    EXPECT_EQ(std::string(buffer, 8), "[3/12] T");
    EXPECT_EQ(buffer[1023], '#');

    EXPECT_EQ(
        FormatBounded(buffer, 1023, "[%d/%d] %s 를 설치하고 있습니다...  ", 1, 2, "보안 업데이트"),
        kFormatFitted);
    EXPECT_STREQ(buffer, "[1/2] 보안 업데이트 를 설치하고 있습니다...  ");
}

// --- The viewer ----------------------------------------------------------------

struct LineCase {
    const char* name;
    std::string line;      // sent as text
    std::string received;  // what the viewer reads
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class ViewerLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(ViewerLines, ArriveAs260ByteBlocksWithTag1237) {
    LogViewerWindow viewer;
    ASSERT_NE(viewer.Hwnd(), nullptr);
    EXPECT_EQ(LogTextToViewer(GetParam().line), TRUE);  // the viewer's answer
    std::vector<ViewerBlock> blocks = viewer.Blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].sender, 0u);
    EXPECT_EQ(blocks[0].tag, 1237u);
    EXPECT_EQ(blocks[0].size, 260u);
    EXPECT_EQ(blocks[0].bytes.size(), 260u);
    EXPECT_EQ(blocks[0].Text(), GetParam().received);
    EXPECT_TRUE(blocks[0].ZeroPadded());
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ViewerLines,
    ::testing::Values(LineCase{"short", "[ALREADY SETTED] C:\\Q\\UPDATES\\kb1.exe [NONE]",
                               "[ALREADY SETTED] C:\\Q\\UPDATES\\kb1.exe [NONE]"},
                      LineCase{"empty", "", ""},
                      LineCase{"exactly_259", std::string(259, 'a'), std::string(259, 'a')},
                      LineCase{"260_cut", std::string(260, 'b'), std::string(259, 'b')},
                      LineCase{"300_cut", std::string(300, 'c'), std::string(259, 'c')},
                      LineCase{"percent_in_command_line",
                               "\"C:\\100% done\\UPDATES\\kb%d%s.exe\" /log:%TEMP%\\x.log",
                               "\"C:\\100% done\\UPDATES\\kb%d%s.exe\" /log:%TEMP%\\x.log"},
                      LineCase{"korean_cp949", " - productname [보안 업데이트]",
                               " - productname [보안 업데이트]"}),
    CaseName<LineCase>);

TEST(Viewer, FormatsPrintfStyle) {
    LogViewerWindow viewer;
    LogToViewer("%s [%s]", "C:\\Q\\UPDATES\\kb1.exe", ".exe");
    LogToViewer(" - installer engine [%s]", "");
    LogToViewer("%d/%d %c", 2, 3, 'x');
    EXPECT_EQ(viewer.Lines(), (std::vector<std::string>{"C:\\Q\\UPDATES\\kb1.exe [.exe]",
                                                        " - installer engine []", "2/3 x"}));
}

TEST(Viewer, ANullOrResourceNumberFormatSendsNull) {
    LogViewerWindow viewer;
    LogToViewer(nullptr);
    LogToViewer(MAKEINTRESOURCEA(101), "ignored");
    LogToViewer(reinterpret_cast<const char*>(0xFFFF));
    std::vector<ViewerBlock> blocks = viewer.Blocks();
    ASSERT_EQ(blocks.size(), 3u);
    for (const ViewerBlock& block : blocks) {
        EXPECT_EQ(block.Text(), "<null>");
        EXPECT_EQ(block.size, 260u);
        EXPECT_TRUE(block.ZeroPadded());
    }
}

TEST(Viewer, NothingIsSentWhenNoViewerRuns) {
    ASSERT_EQ(::FindWindowA(nullptr, "LogViewer"), nullptr);
    // Not even formatted: the argument would not survive it.
    EXPECT_EQ(LogToViewer("%s", reinterpret_cast<const char*>(1)), 0);
    EXPECT_EQ(LogTextToViewer("a line nobody reads"), 0);

    // A window of another title is no viewer.
    LogViewerWindow other("LogViewer2");
    EXPECT_EQ(LogTextToViewer("still nobody"), 0);
    EXPECT_TRUE(other.Blocks().empty());
}

TEST(Viewer, AViewerStartedOrClosedDuringARunCountsFromTheNextLine) {
    LogTextToViewer("before any viewer");
    std::vector<std::string> firstLines;
    {
        LogViewerWindow first;
        LogTextToViewer("line 1");
        LogTextToViewer("line 2");
        first.Close();
        EXPECT_EQ(LogTextToViewer("after it closed"), 0);
        firstLines = first.Lines();
    }
    LogViewerWindow second;
    LogTextToViewer("line 3");
    EXPECT_EQ(firstLines, (std::vector<std::string>{"line 1", "line 2"}));
    EXPECT_EQ(second.Lines(), std::vector<std::string>{"line 3"});
}

TEST(Viewer, LinesFromAWorkerThreadArriveInOrder) {
    // The install worker is the one that writes these lines.
    LogViewerWindow viewer;
    struct Worker {
        static DWORD WINAPI Run(void*) {
            for (int i = 0; i < 50; ++i) LogToViewer("line %d", i);
            return 0;
        }
    };
    HANDLE thread = ::CreateThread(nullptr, 0, &Worker::Run, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(::WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
    ::CloseHandle(thread);
    std::vector<std::string> lines = viewer.Lines();
    ASSERT_EQ(lines.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(lines[i], "line " + std::to_string(i));
}

}  // namespace

// The update run with no window at all: the engine driven against the test
// HTTP server and fake installers, its reports recorded. Every failure of a
// download reaches the run log with its cause and number, interrupted
// downloads go on where they stopped, and the outcomes and summary are what
// the run window would show (its cancel is tested through the window).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "core/RunTexts.h"
#include "run/RunEngine.h"
#include "support/RunFixtures.h"

using namespace testing_support;

namespace {

// Writes down every report of a run, in order.
class Recorder : public RunObserver {
public:
    std::vector<std::string> events;  // size, done, log, detail, step, finished
    std::vector<unsigned long long> progress;
    RunSummary summary;
    void FileSize(long size) override { events.push_back("size " + std::to_string(size)); }
    void Progress(unsigned long long received) override { progress.push_back(received); }
    void DownloadDone(DownloadResult result, NextStep next) override {
        events.push_back("done " + std::to_string(static_cast<int>(result)) + " " +
                         std::to_string(static_cast<int>(next)));
    }
    void Log(const std::string& text) override { events.push_back("log " + text); }
    void Detail(const std::string& line) override { events.push_back("detail " + line); }
    void Step() override { events.push_back("step"); }
    bool ConfirmLaunch(const std::string&) override { return true; }
    void ReportUnrecognised() override {}
    void Finished(const RunSummary& s) override {
        summary = s;
        events.push_back("finished");
    }
    // The events that start with `kind`, without it.
    std::vector<std::string> Of(const std::string& kind) const {
        std::vector<std::string> found;
        for (const std::string& e : events)
            if (e.compare(0, kind.size() + 1, kind + " ") == 0) found.push_back(e.substr(kind.size() + 1));
        return found;
    }
};

class RunEngineTest : public ::testing::Test {
protected:
    RunEngineTest() { ::CreateDirectoryA(updates.c_str(), nullptr); }
    void Add(const std::string& title, const std::string& url, const std::string& name,
             const std::string& sha256 = "") {
        items.push_back(RunItemOf(RunEntry{title, name, url, "", sha256}, updates));
    }
    RunSummary Run() { return RunUpdates(items, source, recorder, cancel, RunSettings()); }

    ProgramFolder program;
    std::string updates = program.dir.File("UPDATES");
    FakeRecord record;
    ServerSource source{std::string()};
    std::vector<RunItem> items;
    Recorder recorder;
    std::atomic<int> cancel{0};
};

// Five ways a download fails and two installers that run. Each failed
// download is never installed, and its cause stands in the run log with its
// number; the pinned installer that arrives whole runs, and the restart one
// installer asked for is said once at the end.
TEST_F(RunEngineTest, EveryFailedDownloadNamesItsCauseAndIsNeverInstalled) {
    program.keys = {"KB990404", "KB990402"};
    program.ServeBytes("re_short.exe", std::string(2048, 'y'));
    program.ServeBytes("re_other.exe", std::string(4096, 'o'));
    program.Serve("fake_cabinet.exe", "re_cabinet.exe");
    const std::string cabinetBytes = ReadBytes(HttpRoot() + "\\re_cabinet.exe");
    program.Serve("fake_sfxcab.exe", "re_restart.exe");  // exits 3010
    Add("없는 파일", HttpUrl("re_missing.exe"), "re_missing.exe");
    Add("끊긴 파일", HttpUrl("re_short.exe?drop=1000"), "re_short.exe");
    Add("닿지 않는 서버", std::string(kNoServerUrl) + "re.exe", "re_refused.exe");
    Add("위험한 이름", HttpUrl("re_other.exe"), "..\\re_escape.exe");
    Add("다른 파일", HttpUrl("re_other.exe"), "re_pinned.exe", Sha256Hex("something else"));
    Add("설치", HttpUrl("re_cabinet.exe"), "re_cabinet.exe", Sha256Hex(cabinetBytes));
    Add("재시작", HttpUrl("re_restart.exe"), "re_restart.exe");

    const RunSummary summary = Run();

    const std::vector<std::string> details = recorder.Of("detail");
    ASSERT_EQ(details.size(), 5u) << ::testing::PrintToString(recorder.events);
    EXPECT_NE(details[0].find("원인: 서버가 파일 대신 오류를 보냈습니다 (HTTP 404)"), std::string::npos) << details[0];
    EXPECT_NE(details[1].find("연결이 도중에 끊겼습니다 (1000 / 2048 바이트)"), std::string::npos) << details[1];
    EXPECT_NE(details[2].find("서버에 연결할 수 없습니다 (Win32 error 12"), std::string::npos) << details[2];
    EXPECT_NE(details[3].find("UPDATES 폴더 밖"), std::string::npos) << details[3];
    EXPECT_NE(details[4].find("SHA-256이 목록의 값과 다릅니다"), std::string::npos) << details[4];

    // What the window would show: a size per download but the refused name's
    // (no request is made for it), a result per download, then the installs.
    EXPECT_EQ(recorder.Of("size").size(), 6u);
    EXPECT_EQ(recorder.Of("done"), (std::vector<std::string>{"0 0", "0 0", "0 0", "0 0", "3 0", "1 0", "1 2"}));
    EXPECT_EQ(Requests("/re_escape.exe") + Requests("re_other.exe?"), 0);
    EXPECT_FALSE(FileExists(updates + "\\re_pinned.exe")) << "a file that is not the pinned one is not kept";
    const std::vector<std::string> logs = recorder.Of("log");
    ASSERT_EQ(logs.size(), 10u);
    EXPECT_EQ(logs[0], "[1/7] 없는 파일 는 다운로드에 실패하여 설치하지 않습니다.\r\n\r\n");
    EXPECT_EQ(logs[4], "[5/7] 다른 파일 는 파일 검증에 실패하여 설치하지 않습니다.\r\n\r\n");
    EXPECT_EQ(logs[6], "설치 완료\r\n\r\n");
    EXPECT_EQ(logs[8], "설치 완료 (재시작 필요)\r\n\r\n");
    EXPECT_EQ(logs[9], kRunRestartNeeded);
    EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "step"), 7);
    EXPECT_EQ(recorder.events.back(), "finished");
    EXPECT_TRUE(summary.ran);
    EXPECT_EQ(summary.failed, 5);
    EXPECT_TRUE(summary.restart);
    EXPECT_FALSE(summary.cancelled);
    EXPECT_EQ(record.Lines().size(), 2u) << "only the two whole installers ran";
}

// A folder that cannot hold the file: the cause is Windows' own, with its number.
TEST_F(RunEngineTest, AFileThatCannotBeWrittenSaysWhy) {
    program.ServeBytes("re_disk.exe", std::string(1024, 'd'));
    items.push_back(RunItemOf(RunEntry{"디스크", "re_disk.exe", HttpUrl("re_disk.exe"), "", ""},
                              updates + "\\no such folder"));
    const RunSummary summary = Run();
    const std::vector<std::string> details = recorder.Of("detail");
    ASSERT_EQ(details.size(), 1u);
    EXPECT_NE(details[0].find("파일을 저장할 수 없습니다 (Win32 error 3"), std::string::npos) << details[0];
    EXPECT_EQ(summary.failed, 1);
}

// An installer of a whole number of 100 KB on the test server as `name`;
// its bytes.
std::string ServeInstaller(ProgramFolder& program, const std::string& fixture, const std::string& name,
                           std::size_t size) {
    std::string bytes = ReadBytes(FixtureFile(fixture));
    bytes.resize(size, '\0');  // zeros after the program run with it
    program.ServeBytes(name, bytes);
    return bytes;
}

// The requests the test server logged for `path`, as "GET /path range=N-".
std::vector<std::string> Gets(const std::string& path) {
    std::vector<std::string> found;
    for (const std::string& line : HttpRequests())
        if (line.rfind("GET /" + path, 0) == 0) found.push_back(line);
    return found;
}

// A download cut at 60 % goes on from there the next time: the server is
// asked for the rest, sends well under the file twice over, the bar starts
// where the part on disk ends, and the whole file is checked and run.
TEST_F(RunEngineTest, AnInterruptedDownloadGoesOnWhereItStopped) {
    program.keys = {"KB990404"};
    const std::string bytes = ServeInstaller(program, "fake_cabinet.exe", "re_cut.exe", 1000000);
    const std::size_t cut = 600000;
    Add("끊긴 업데이트", HttpUrl("re_cut.exe?drop=600000"), "re_cut.exe", Sha256Hex(bytes));
    Run();
    ASSERT_EQ(FileSize(updates + "\\re_cut.exe.part"), static_cast<long long>(cut));
    EXPECT_NE(recorder.Of("detail").at(0).find("600000 / 1000000"), std::string::npos);

    items.clear();
    recorder = Recorder();
    Add("끊긴 업데이트", HttpUrl("re_cut.exe"), "re_cut.exe", Sha256Hex(bytes));
    const RunSummary summary = Run();
    EXPECT_EQ(summary.failed, 0);
    EXPECT_EQ(Gets("re_cut.exe"),
              (std::vector<std::string>{"GET /re_cut.exe?drop=600000", "GET /re_cut.exe range=600000-"}));
    ASSERT_FALSE(recorder.progress.empty());
    EXPECT_EQ(recorder.progress.front(), cut) << "the first progress carries the bytes kept";
    EXPECT_EQ(recorder.progress.back(), bytes.size());
    EXPECT_EQ(ReadBytes(updates + "\\re_cut.exe"), bytes);
    EXPECT_FALSE(FileExists(updates + "\\re_cut.exe.part"));
    EXPECT_EQ(record.Lines().size(), 1u);
}

// A server that answers a Range request with the whole file: it is taken
// from byte zero, and still whole.
TEST_F(RunEngineTest, AServerThatIgnoresRangesSendsTheWholeFileAgain) {
    program.keys = {"KB990404"};
    const std::string bytes = ServeInstaller(program, "fake_cabinet.exe", "re_norange.exe", 500000);
    ASSERT_TRUE(WriteBytes(updates + "\\re_norange.exe.part", bytes.substr(0, 300000)));
    Add("범위 없음", HttpUrl("re_norange.exe?norange=1"), "re_norange.exe", Sha256Hex(bytes));
    EXPECT_EQ(Run().failed, 0);
    EXPECT_EQ(Gets("re_norange.exe"), std::vector<std::string>{"GET /re_norange.exe?norange=1 range=300000-"});
    EXPECT_LT(recorder.progress.front(), 300000u) << "counted from zero";
    EXPECT_EQ(ReadBytes(updates + "\\re_norange.exe"), bytes);
}

// A part left with other bytes than the file's: continued, the whole fails
// its pin, so it is fetched once more from byte zero; the spliced file is
// never run.
TEST_F(RunEngineTest, APartWithWrongBytesIsFetchedAgainAndNeverRun) {
    program.keys = {"KB990404"};
    const std::string bytes = ServeInstaller(program, "fake_cabinet.exe", "re_spoilt.exe", 500000);
    ASSERT_TRUE(WriteBytes(updates + "\\re_spoilt.exe.part", std::string(300000, 'x')));
    Add("섞인 파일", HttpUrl("re_spoilt.exe"), "re_spoilt.exe", Sha256Hex(bytes));
    EXPECT_EQ(Run().failed, 0);
    EXPECT_EQ(Gets("re_spoilt.exe"),
              (std::vector<std::string>{"GET /re_spoilt.exe range=300000-", "GET /re_spoilt.exe"}));
    EXPECT_NE(recorder.Of("detail").at(0).find("SHA-256"), std::string::npos);
    EXPECT_EQ(ReadBytes(updates + "\\re_spoilt.exe"), bytes);
    EXPECT_EQ(record.Lines().size(), 1u);
}

// A file larger than the free space of its volume is not begun: nothing is
// asked for but its size, nothing is written.
TEST_F(RunEngineTest, AFileLargerThanTheFreeSpaceIsNotBegun) {
    program.ServeBytes("re_huge.exe", std::string(1024, 'h'));
    Add("너무 큰 파일", HttpUrl("re_huge.exe?length=1000000000000000"), "re_huge.exe");
    EXPECT_EQ(Run().failed, 1);
    const std::vector<std::string> details = recorder.Of("detail");
    ASSERT_EQ(details.size(), 1u);
    EXPECT_NE(details[0].find("디스크 공간이 부족합니다 (파일 1000000000000000 바이트"), std::string::npos) << details[0];
    EXPECT_TRUE(Gets("re_huge.exe").empty());
    EXPECT_FALSE(FileExists(updates + "\\re_huge.exe.part"));
    EXPECT_FALSE(FileExists(updates + "\\re_huge.exe"));
}

}  // namespace

// The real program through what ends runs early: killed during an install,
// an installer whose update is never found, Windows waiting for a restart,
// and "auto restart" chained across a restart of the Wine session (wineboot
// --restart runs the RunOnce value as Windows does at the next logon; the
// program's own restart is a marker file in the test build, since the
// machine running the tests must not restart).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include "catalog/Retrieval.h"
#include "inventory/Detection.h"
#include "support/RunFixtures.h"
#include "support/WindowDriving.h"

using namespace testing_support;

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// A value of an HKLM key; empty when missing.
std::string RegistryText(const char* key, const char* value) {
    char data[2048] = {};
    DWORD size = sizeof data - 2;
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return "";
    const LONG read = ::RegQueryValueExA(opened, value, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    ::RegCloseKey(opened);
    return read == ERROR_SUCCESS ? std::string(data, size) : std::string();
}

// True while a process of that file name runs.
bool ProcessRuns(const char* name) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32First(snapshot, &entry); more && !found; more = ::Process32Next(snapshot, &entry))
        found = ::lstrcmpiA(entry.szExeFile, name) == 0;
    ::CloseHandle(snapshot);
    return found;
}

class Survival : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\Quellfix.exe").c_str(), exe.c_str(), FALSE));
        SystemProfile live;
        RunInventory(live);
        served = "update\\v2\\" + CatalogFileName(live);
        ::CreateDirectoryA((HttpRoot() + "\\update").c_str(), nullptr);
        ::CreateDirectoryA((HttpRoot() + "\\update\\v2").c_str(), nullptr);
    }
    void TearDown() override { ::DeleteFileA((HttpRoot() + "\\" + served).c_str()); }
    // The catalog of `entries` beside the program and on the server.
    void Offer(const std::string& entries, int count) {
        const std::string text = CatalogText(entries, count);
        ASSERT_TRUE(WriteBytes(dir.File("quellfix.ini"), text));
        program.ServeBytes(served, text);
    }
    // An unattended run to its end: its exit code.
    long Unattended(const std::string& words = "auto") {
        TestProcess app("\"" + exe + "\" " + words, dir.Path());
        EXPECT_TRUE(app.WaitExit(180000));
        return app.ExitCode();
    }
    std::string Log() { return ReadBytes(dir.File("UPDATES\\quellfix.log")); }

    ProgramFolder program;
    ScopedTempDir& dir = program.dir;
    std::string exe = dir.File("Quellfix.exe");
    std::string served;
    FakeRecord record;
};

// Killed while its installer runs, the program leaves its journal; the next
// start says in the run log which update was cut off, and counts it.
TEST_F(Survival, AnInstallCutOffIsReportedAtTheNextStart) {
    program.keys = {"KB990413"};
    program.Serve("fake_hang.exe", "sv_hang.exe");
    Offer(CatalogEntry(1, "멈춘 업데이트", "sv_hang.exe", "KB990499"), 1);
    HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, "QuellfixFakeRelease");
    const std::string journal = dir.File("UPDATES\\quellfix.journal");
    {
        TestProcess app("\"" + exe + "\" auto", dir.Path());
        ASSERT_TRUE(WaitFor([&] { return ReadBytes(journal).find("START\t1\t1\t") != std::string::npos; }, 120000))
            << ReadBytes(journal);
        ASSERT_TRUE(WaitFor([&] { return !record.Lines().empty(); }, 60000)) << "the installer did not start";
    }  // the program is killed here
    // The installer outlives it until released; it must be gone before the
    // event is reset, or it would wait on (holding the test's output open).
    ::SetEvent(release);
    EXPECT_TRUE(WaitFor([] { return !ProcessRuns("sv_hang.exe"); }, 60000));
    {
        TestProcess app("\"" + exe + "\" debug", dir.Path());
        HWND main = nullptr;
        EXPECT_TRUE(WaitFor([&] { return (main = FindProcessDialog(app.Pid(), MainWindowCaption())) != nullptr; },
                            120000));
        if (main) ::PostMessageA(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(app.WaitExit(30000));
    }
    ::ResetEvent(release);
    ::CloseHandle(release);
    const std::string log = Log();
    EXPECT_NE(log.find("지난 실행이 끝나지 않았습니다: [1] 멈춘 업데이트 (" + dir.File("UPDATES\\sv_hang.exe") +
                       ") 의 설치 도중에 중단되었습니다 (1번째 시도)"),
              std::string::npos)
        << log;
    EXPECT_FALSE(FileExists(journal));
    EXPECT_EQ(ReadBytes(dir.File("UPDATES\\quellfix.history")), "1\t" + HttpUrl("sv_hang.exe") + "\r\n");
}

// An installer that says it succeeded, three unattended runs in a row, while
// its update is never found: the fourth unattended run leaves it out, says
// why and which detection rules missed it, and ends with a failure.
TEST_F(Survival, AnUpdateNeverFoundAfterThreeRunsIsLeftOut) {
    program.keys = {"KB990404"};
    program.Serve("fake_cabinet.exe", "sv_never.exe");
    Offer(CatalogEntry(1, "찾을 수 없는 업데이트", "sv_never.exe", "KB990499") + "REGKEY2=KB990498\r\n", 1);
    for (int run = 1; run <= 3; ++run) EXPECT_EQ(Unattended(), 0) << run;
    EXPECT_EQ(record.Lines().size(), 3u);
    EXPECT_EQ(Unattended(), 1);
    EXPECT_EQ(record.Lines().size(), 3u) << "the fourth run started it again";
    const std::string log = Log();
    EXPECT_NE(log.find("[1/1] 찾을 수 없는 업데이트 는 자동 실행에서 건너뜁니다: 설치 프로그램이 3번 연속 성공을 알렸지만"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("확인 규칙: REGKEY=KB990499, REGKEY2=KB990498"), std::string::npos) << log;
}

// While Windows waits for a restart an unattended run installs nothing and
// ends with 3010, and the run log says why.
TEST_F(Survival, AWaitingRestartStopsAnUnattendedRun) {
    program.keys = {"KB990404"};
    program.Serve("fake_cabinet.exe", "sv_wait.exe");
    Offer(CatalogEntry(1, "기다리는 업데이트", "sv_wait.exe", "KB990404"), 1);
    ASSERT_EQ(RegistryText(kSessionManager, "PendingFileRenameOperations"), "") << "the prefix has one already";
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    const char pending[] = "\\??\\C:\\quellfix-test.tmp\0\0";
    ASSERT_EQ(::RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ,
                               reinterpret_cast<const BYTE*>(pending), sizeof pending),
              ERROR_SUCCESS);
    const long code = Unattended();
    ::RegDeleteValueA(key, "PendingFileRenameOperations");
    ::RegCloseKey(key);
    EXPECT_EQ(code, 3010);
    EXPECT_TRUE(record.Lines().empty());
    EXPECT_NE(Log().find("윈도우가 다시 시작을 기다리고 있습니다 (PendingFileRenameOperations). 다시 시작한 뒤에 설치합니다."),
              std::string::npos)
        << Log();
}

// "auto restart": a round that needs a restart registers the program once
// under RunOnce and restarts; after the restart (wineboot --restart runs the
// value) the next round finds nothing left and ends the chain, leaving no
// RunOnce value and no state. A round that installs nothing new ends it at once.
TEST_F(Survival, AutoRestartGoesOnAfterTheRestartAndLeavesNothingBehind) {
    program.keys = {"KB990402"};
    program.Serve("fake_sfxcab.exe", "sv_restart.exe");  // exits 3010
    Offer(CatalogEntry(1, "다시 시작 업데이트", "sv_restart.exe", "KB990402"), 1);
    EXPECT_EQ(Unattended("auto restart"), 3010);
    EXPECT_TRUE(FileExists(dir.File("restart-requested")));
    EXPECT_EQ(RegistryText(kRunOnce, "Quellfix"), "\"" + exe + "\" auto restart" + std::string(1, '\0'));
    EXPECT_EQ(ReadBytes(dir.File("UPDATES\\quellfix.chain")), "round 1\r\n");

    TestProcess restart("wineboot.exe --restart", "");
    ASSERT_TRUE(restart.WaitExit(180000));
    ASSERT_TRUE(WaitFor([&] { return Log().find("2/5번째") != std::string::npos; }, 120000)) << Log();
    const std::string log = Log();
    EXPECT_NE(log.find("재시작 연속 실행 1/5번째: 윈도우를 다시 시작한 뒤 계속합니다."), std::string::npos) << log;
    EXPECT_NE(log.find("재시작 연속 실행 2/5번째: 남은 업데이트가 없어 마칩니다."), std::string::npos) << log;
    EXPECT_EQ(RegistryText(kRunOnce, "Quellfix"), "");
    EXPECT_FALSE(FileExists(dir.File("UPDATES\\quellfix.chain")));
    EXPECT_EQ(record.Lines().size(), 1u);

    // An installer that asks for a restart but leaves nothing to find.
    ::DeleteFileA(dir.File("restart-requested").c_str());
    Offer(CatalogEntry(1, "다시 시작 업데이트", "sv_restart.exe", "KB990497"), 1);
    EXPECT_EQ(Unattended("auto restart"), 3010);
    EXPECT_FALSE(FileExists(dir.File("restart-requested")));
    EXPECT_EQ(RegistryText(kRunOnce, "Quellfix"), "");
    EXPECT_NE(Log().find("재시작 연속 실행 1/5번째: 새로 설치된 업데이트가 없어 마칩니다."), std::string::npos) << Log();
}

}  // namespace

// The version check, the self-update and its download window against the
// test HTTP server.
#include <gtest/gtest.h>

#include <thread>

#include "views/FetchDlg.h"
#include "support/RunFixtures.h"

using namespace testing_support;

namespace {

const char kAsk[] = "이 프로그램이 업데이트 되었습니다. 다운로드 받으시겠습니까?";
const char kFailed[] = "다운로드에 실패하였습니다. 홈페이지에서 직접 다운로드 받으시기 바랍니다";

// No leaves everything as it was. Yes with no setup on the server, or one of
// the right length that another program keeps locked (fetched a bounded
// number of times), reports the failure, opens the home page and keeps the
// window; a readable setup starts after the home page and the window closes.
TEST_F(UpdateServerTest, OffersOnlyANewerVersionAndStartsOnlyAReadableSetup) {
    const std::string setups = "/" + prefix + "/update/setup.exe";
    const struct {
        const char* file;  // nullptr: none on the server
        bool newer;
    } cases[] = {{"2.000\r\n", false}, {"2.001\r\nnotes\r\n", true}, {nullptr, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file ? c.file : "no version file");
        ::DeleteFileA(Served("version.inf").c_str());
        ASSERT_TRUE(!c.file || WriteBytes(Served("version.inf"), c.file));
        EXPECT_EQ(Check(c.newer ? std::vector<int>{IDNO} : std::vector<int>{}), 0);
        EXPECT_EQ(texts, c.newer ? std::vector<std::string>{kAsk} : std::vector<std::string>{});
    }
    EXPECT_EQ(Requests(setups), 0);
    EXPECT_TRUE(::IsWindow(host.GetHwnd()));
    EXPECT_TRUE(record.Lines().empty());

    ASSERT_TRUE(WriteBytes(Served("version.inf"), "3.000\r\n"));
    const std::string local = program.dir.File("update.exe");
    EXPECT_EQ(Check({IDYES, IDYES}), 1);
    EXPECT_EQ(texts, (std::vector<std::string>{kAsk, kFailed})) << "no setup on the server";
    EXPECT_TRUE(::IsWindow(host.GetHwnd()));
    EXPECT_FALSE(FileExists(local));
    for (const std::string& line : Started(2)) EXPECT_NE(line.find("homepage.exe"), std::string::npos);

    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_security.exe").c_str(), Served("setup.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA(Served("setup.exe").c_str(), local.c_str(), FALSE));
    HANDLE lock = ::CreateFileA(local.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    int before = Requests(setups);
    EXPECT_EQ(Check({IDYES, IDNO}), 1);
    ::CloseHandle(lock);
    EXPECT_EQ(texts, (std::vector<std::string>{kAsk, kFailed})) << "a locked setup";
    EXPECT_EQ(Requests(setups) - before, 3) << "one download window per attempt";
    EXPECT_TRUE(::IsWindow(host.GetHwnd()));
    EXPECT_NE(Started(3)[2].find("homepage.exe"), std::string::npos) << "only the home page ran";

    before = Requests(setups);
    EXPECT_EQ(Check({IDYES}), 1);
    EXPECT_EQ(Requests(setups) - before, 1) << "its size only";
    const std::vector<std::string> lines = Started(5);
    EXPECT_NE(lines[3].find("homepage.exe"), std::string::npos);
    EXPECT_NE(lines[4].find("update.exe"), std::string::npos);
    EXPECT_FALSE(::IsWindow(host.GetHwnd()));
    EXPECT_EQ(host.Result(), IDCANCEL);
}

// IDCANCEL when the length is unknown or the transfer breaks; IDOK when the
// local file has the served length (not fetched again) or once another length
// was replaced, Enter, Esc and closing during the transfer changing nothing.
TEST_F(UpdateServerTest, FetchWindowEndCodes) {
    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_security.exe").c_str(), Served("setup.exe").c_str(), FALSE));
    const std::string local = program.dir.File("setup.exe");
    const std::string url = site.serverBase + "update/setup.exe";
    ASSERT_TRUE(WriteBytes(local, "old"));
    EXPECT_EQ(CFetchDlg().Run(url + "?nolength=1", local), IDCANCEL);
    EXPECT_EQ(ReadBytes(local), "old");
    const std::string sameLength(static_cast<size_t>(FileSize(Served("setup.exe"))), 'z');
    ASSERT_TRUE(WriteBytes(local, sameLength));
    EXPECT_EQ(CFetchDlg().Run(url, local), IDOK);
    EXPECT_EQ(ReadBytes(local), sameLength);
    EXPECT_EQ(Requests("/" + prefix + "/update/setup.exe"), 2) << "the sizes only";
    ASSERT_TRUE(::DeleteFileA(local.c_str()));
    EXPECT_EQ(CFetchDlg().Run(url + "?drop=1000", local), IDCANCEL);
    EXPECT_FALSE(FileExists(local));

    ASSERT_TRUE(WriteBytes(local, "shorter"));
    std::thread keys([] {  // during a slow transfer
        HWND fetch = nullptr;
        WaitFor([&] { return (fetch = ::FindWindowA(nullptr, "업데이트 파일을 다운로드 받고 있습니다")) != nullptr; }, 30000);
        for (UINT id : {IDOK, IDCANCEL}) ::SendMessageA(fetch, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        ::SendMessageA(fetch, WM_CLOSE, 0, 0);
    });
    INT_PTR result = CFetchDlg().Run(url + "?slow=5", local);
    keys.join();
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(ReadBytes(local), ReadBytes(Served("setup.exe")));
}

}  // namespace

// The version check, the self-update and its download window against the
// test HTTP server.
#include <gtest/gtest.h>

#include <thread>

#include "net/FetchDlg.h"
#include "net/SelfUpdate.h"
#include "resource.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"
#include "support/WindowDriving.h"
#include "ui/Dialog.h"

using namespace testing_support;

namespace {

const char kAsk[] = "이 프로그램이 업데이트 되었습니다. 다운로드 받으시겠습니까?";
const char kFailed[] = "다운로드에 실패하였습니다. 홈페이지에서 직접 다운로드 받으시기 바랍니다";

// A stand-in main window: a dialog whose Cancel command ends it.
struct HostWindow : Dialog {
    HostWindow() : Dialog(IDD_DETAILS) {}
};

// Each test has a folder of its own on the server and for the program; the
// "home page" is a fake installer, so the fake record shows its start.
class SelfUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        static int n = 0;
        program.keys = {"KB990404", "KB990407"};
        prefix = "su" + std::to_string(::GetTickCount()) + "_" + std::to_string(++n);
        ASSERT_TRUE(::CreateDirectoryA((HttpRoot() + "\\" + prefix).c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryA((HttpRoot() + "\\" + prefix + "\\update").c_str(), nullptr));
        site.serverBase = HttpUrl(prefix + "/");
        site.programDir = program.dir.Path();
        site.homePage = homeDir.File("homepage.exe");
        ASSERT_TRUE(::CopyFileA(FixtureFile("fake_cabinet.exe").c_str(), site.homePage.c_str(), FALSE));
        host.Create(nullptr);
        ASSERT_NE(host.GetHwnd(), nullptr);
    }
    void TearDown() override { RemoveTree(HttpRoot() + "\\" + prefix); }
    std::string Served(const std::string& name) const {
        return HttpRoot() + "\\" + prefix + "\\update\\" + name;
    }
    void PublishSetup() {
        ASSERT_TRUE(::CopyFileA(FixtureFile("fake_security.exe").c_str(), Served("setup.exe").c_str(), FALSE));
    }
    int Requests(const std::string& name) const {
        int n = 0;
        for (const std::string& line : HttpRequests())
            n += line.find("/" + prefix + "/update/" + name) != std::string::npos;
        return n;
    }
    // Runs the check, answering the boxes captioned "Quellfix" with `buttons`.
    int Check(std::vector<int> buttons) {
        BoxSequence boxes("Quellfix", buttons, buttons.empty() ? 0 : 30000);
        int result = CheckForNewVersion(host.GetHwnd(), site);
        texts = boxes.Wait();
        return result;
    }
    // The start records of the home page and the setup program, in order.
    std::vector<std::string> Started(size_t count) {
        std::vector<std::string> lines;
        EXPECT_TRUE(WaitFor([&] { return (lines = record.Lines()).size() == count; }, 30000));
        lines.resize(count);
        return lines;
    }

    ProgramFolder program;  // its folder, and the fake installers' keys
    ScopedTempDir homeDir{"qf home "};
    std::string prefix;
    std::vector<std::string> texts;  // of the boxes answered
    SelfUpdateSite site;
    FakeRecord record;
    HostWindow host;
};

// Only a newer version is offered; No leaves everything as it was.
TEST_F(SelfUpdate, OffersOnlyANewerVersion) {
    // (How a version line reads is checked with the core functions.)
    const struct {
        const char* name;
        const char* file;  // nullptr: none on the server
    } cases[] = {{"same", "2.000\r\n"}, {"newer", "2.001\r\nnotes\r\n"}, {"missing", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::DeleteFileA(Served("version.inf").c_str());
        ASSERT_TRUE(!c.file || WriteBytes(Served("version.inf"), c.file));
        const bool newer = std::string(c.name) == "newer";
        EXPECT_EQ(Check(newer ? std::vector<int>{IDNO} : std::vector<int>{}), 0);
        EXPECT_EQ(texts, newer ? std::vector<std::string>{kAsk} : std::vector<std::string>{});
        EXPECT_EQ(FindMessageBox("Quellfix").hwnd, nullptr);
        EXPECT_EQ(Requests("setup.exe"), 0);
        EXPECT_TRUE(::IsWindow(host.GetHwnd()));
        EXPECT_TRUE(record.Lines().empty());
    }
}

// Yes, three times: with no setup on the server the failure is reported
// (Yes opens the home page again) and the window stays; with a setup of the
// right length that another program keeps locked, "there" for the download
// window but unreadable, the fetch is repeated a bounded number of times and
// reported the same way; unlocked, only its size is asked, the home page and
// the setup start and the window closes. (The fetched setup is lived through
// in the end-to-end suite.)
TEST_F(SelfUpdate, YesReportsAFailedOrUnreadableSetupAndStartsAPresentOne) {
    ASSERT_TRUE(WriteBytes(Served("version.inf"), "3.000\r\n"));
    const std::string local = program.dir.File("update.exe");
    EXPECT_EQ(Check({IDYES, IDYES}), 1);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], kFailed);
    EXPECT_TRUE(::IsWindow(host.GetHwnd()));
    EXPECT_FALSE(FileExists(local));
    for (const std::string& line : Started(2)) EXPECT_NE(line.find("homepage.exe"), std::string::npos);

    PublishSetup();
    ASSERT_TRUE(::CopyFileA(Served("setup.exe").c_str(), local.c_str(), FALSE));
    HANDLE lock = ::CreateFileA(local.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    int before = Requests("setup.exe");
    EXPECT_EQ(Check({IDYES, IDNO}), 1);
    ::CloseHandle(lock);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], kFailed);
    EXPECT_EQ(Requests("setup.exe") - before, 3);  // one download window per attempt
    EXPECT_TRUE(::IsWindow(host.GetHwnd()));
    EXPECT_NE(Started(3)[2].find("homepage.exe"), std::string::npos);  // only the home page ran

    before = Requests("setup.exe");
    EXPECT_EQ(Check({IDYES}), 1);
    EXPECT_EQ(Requests("setup.exe") - before, 1);  // its size only
    EXPECT_EQ(ReadBytes(local), ReadBytes(Served("setup.exe")));
    std::vector<std::string> lines = Started(5);
    EXPECT_NE(lines[3].find("homepage.exe"), std::string::npos);
    EXPECT_NE(lines[4].find("update.exe"), std::string::npos);
    EXPECT_FALSE(::IsWindow(host.GetHwnd()));
    EXPECT_EQ(host.Result(), IDCANCEL);
}

// The download window's end codes: IDCANCEL when the length is unknown or
// the transfer breaks; IDOK when the local file has the served length (not
// fetched again) or once another length was replaced, Enter and Esc during
// the transfer changing nothing.
TEST_F(SelfUpdate, FetchWindowEndCodes) {
    PublishSetup();
    const std::string local = program.dir.File("setup.exe");
    const std::string url = site.serverBase + "update/setup.exe";
    ASSERT_TRUE(WriteBytes(local, "old"));
    EXPECT_EQ(CFetchDlg().Run(url + "?nolength=1", local), IDCANCEL);
    EXPECT_EQ(ReadBytes(local), "old");
    const std::string sameLength(static_cast<size_t>(FileSize(Served("setup.exe"))), 'z');
    ASSERT_TRUE(WriteBytes(local, sameLength));
    EXPECT_EQ(CFetchDlg().Run(url, local), IDOK);
    EXPECT_EQ(ReadBytes(local), sameLength);
    EXPECT_EQ(Requests("setup.exe"), 2);  // the sizes only
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

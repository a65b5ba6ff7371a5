// The version check, the download window and the self-update against the
// test HTTP server: version texts, the question, the setup program fetched
// and started, a failed fetch, and the download window's end codes.
#include <gtest/gtest.h>

#include <cctype>

#include <thread>

#include "app/Globals.h"
#include "net/FetchDlg.h"
#include "net/SelfUpdate.h"
#include "resource.h"
#include "support/DebugOutput.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"
#include "support/WindowDriving.h"
#include "ui/Dialog.h"

using namespace testing_support;

namespace {

const char kAsk[] = "이 프로그램이 업데이트 되었습니다. 다운로드 받으시겠습니까?";
const char kFailed[] = "다운로드에 실패하였습니다. 홈페이지에서 직접 다운로드 받으시기 바랍니다";
const char kFetchCaption[] = "업데이트 파일을 다운로드 받고 있습니다";

TEST(VersionNumber, DropsTheDotsAndReadsTheRest) {
    EXPECT_EQ(VersionNumber("2.000"), 2000);
    EXPECT_EQ(VersionNumber("2.001\n"), 2001);
    EXPECT_EQ(VersionNumber("2.1"), 21);
    EXPECT_EQ(VersionNumber("3.000 beta"), 3000);
    EXPECT_EQ(VersionNumber("2.0.0.1"), 2001);
    EXPECT_EQ(VersionNumber(""), 0);
    EXPECT_EQ(VersionNumber("v3.000"), 0);
    EXPECT_EQ(VersionNumber("99999.99999999"), 2147483647);
}

// A stand-in main window: a dialog whose Cancel command ends it.
class HostWindow : public Dialog {
public:
    HostWindow() : Dialog(IDD_DETAILS) {}
};

class SelfUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        saved = g_strProgramDir;
        g_strProgramDir = programDir.Path();
        prefix = "su" + std::to_string(::GetTickCount()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : prefix)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        ASSERT_TRUE(::CreateDirectoryA((HttpRoot() + "\\" + prefix).c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryA((HttpRoot() + "\\" + prefix + "\\update").c_str(), nullptr));
        site.serverBase = HttpUrl(prefix + "/");
        // The "home page" is a program whose start the fake record shows.
        site.homePage = homeDir.File("homepage.exe");
        ASSERT_TRUE(::CopyFileA(FixtureFile("fake_cabinet.exe").c_str(), site.homePage.c_str(), FALSE));
        host.Create(nullptr);
        ASSERT_NE(host.GetHwnd(), nullptr);
    }
    void TearDown() override {
        g_strProgramDir = saved;
        RemoveTree(HttpRoot() + "\\" + prefix);
        DeleteUninstallKey("KB990404");
        DeleteUninstallKey("KB990407");
    }
    void Publish(const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(WriteBytes(HttpRoot() + "\\" + prefix + "\\update\\" + name, bytes));
    }
    void PublishSetup() {
        ASSERT_TRUE(::CopyFileA(FixtureFile("fake_security.exe").c_str(),
                                (HttpRoot() + "\\" + prefix + "\\update\\setup.exe").c_str(), FALSE));
    }
    int Requests(const std::string& name) const {
        int n = 0;
        for (const std::string& line : HttpRequests())
            if (line.find("/" + prefix + "/update/" + name) != std::string::npos) ++n;
        return n;
    }
    // Runs the check; `buttons` answer the boxes captioned "Quellfix".
    int Check(std::vector<int> buttons, std::vector<std::string>* texts = nullptr) {
        BoxSequence boxes("Quellfix", buttons, buttons.empty() ? 0 : 30000);
        int result = CheckForNewVersion(host.GetHwnd(), site);
        boxes.Wait();
        if (texts) *texts = boxes.Texts();
        return result;
    }

    ScopedTempDir programDir{"qf su "};
    ScopedTempDir homeDir{"qf home "};
    std::string saved, prefix;
    SelfUpdateSite site;
    FakeRecord record;
    HostWindow host;
};

struct VersionCase {
    const char* name;
    const char* file;
    bool asked;
    const char* debugLine;  // nullptr: none
};

class VersionFile : public SelfUpdate, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionFile, OffersOnlyANewerVersion) {
    const VersionCase& c = GetParam();
    Publish("version.inf", c.file);
    DebugOutputCatcher debug;
    ASSERT_TRUE(debug.Ok());
    std::vector<std::string> texts;
    EXPECT_EQ(Check(c.asked ? std::vector<int>{IDNO} : std::vector<int>{}, &texts), 0);
    if (c.asked) {
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], kAsk);
    }
    EXPECT_EQ(FindMessageBox("Quellfix").hwnd, nullptr);
    std::vector<std::string> lines;
    if (c.debugLine) {
        EXPECT_TRUE(WaitFor([&] { return !(lines = debug.Lines(::GetCurrentProcessId())).empty(); }, 5000));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], c.debugLine);
    } else {
        EXPECT_TRUE(debug.Lines(::GetCurrentProcessId()).empty());
    }
    // Nothing was fetched but the version file, and the window is untouched.
    EXPECT_EQ(Requests("setup.exe"), 0);
    EXPECT_TRUE(::IsWindow(host.GetHwnd()));
    EXPECT_TRUE(record.Lines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, VersionFile,
    ::testing::Values(
        VersionCase{"same", "2.000\r\n", false, "[ORVANE] LatestVersion : 2000, CurrentImageVersion : 2000"},
        VersionCase{"newer", "2.001\r\nnotes\r\n", true,
                    "[ORVANE] LatestVersion : 2001, CurrentImageVersion : 2000"},
        VersionCase{"short_form", "2.1\n", false, "[ORVANE] LatestVersion : 21, CurrentImageVersion : 2000"},
        VersionCase{"empty", "", false, nullptr},
        VersionCase{"letter_first", "v3.000\n", false, nullptr},
        VersionCase{"zero_first", "0.999\n", false, nullptr}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

TEST_F(SelfUpdate, MissingVersionFileOffersNothing) {
    EXPECT_EQ(Check({}), 0);
    EXPECT_EQ(Requests("version.inf"), 1);
    EXPECT_EQ(CheckForNewVersion(nullptr, site), 0);
    EXPECT_EQ(Requests("version.inf"), 1);  // no window, no question, no fetch
}

TEST_F(SelfUpdate, YesFetchesAndStartsTheSetupAndClosesTheWindow) {
    Publish("version.inf", "3.000\r\n");
    PublishSetup();
    EXPECT_EQ(Check({IDYES}), 1);
    std::string local = programDir.File("update.exe");
    EXPECT_EQ(ReadBytes(local), ReadBytes(HttpRoot() + "\\" + prefix + "\\update\\setup.exe"));
    // First the home page, then the setup program.
    std::vector<std::string> lines;
    ASSERT_TRUE(WaitFor([&] { return (lines = record.Lines()).size() == 2; }, 30000));
    EXPECT_NE(lines[0].find("homepage.exe"), std::string::npos);
    EXPECT_NE(lines[1].find("update.exe"), std::string::npos);
    EXPECT_FALSE(::IsWindow(host.GetHwnd()));
    EXPECT_EQ(host.Result(), IDCANCEL);
}

TEST_F(SelfUpdate, SetupAlreadyPresentIsStartedWithoutFetching) {
    Publish("version.inf", "3.000\r\n");
    PublishSetup();
    ASSERT_TRUE(::CopyFileA((HttpRoot() + "\\" + prefix + "\\update\\setup.exe").c_str(),
                            programDir.File("update.exe").c_str(), FALSE));
    EXPECT_EQ(Check({IDYES}), 1);
    EXPECT_EQ(Requests("setup.exe"), 1);  // the size only
    EXPECT_TRUE(WaitFor([&] { return record.Lines().size() == 2; }, 30000));
    EXPECT_FALSE(::IsWindow(host.GetHwnd()));
}

TEST_F(SelfUpdate, FailedFetchIsReportedAndTheWindowStays) {
    Publish("version.inf", "3.000\r\n");
    std::vector<std::string> texts;
    // Yes to the update, then Yes to opening the home page.
    EXPECT_EQ(Check({IDYES, IDYES}, &texts), 1);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], kFailed);
    EXPECT_TRUE(::IsWindow(host.GetHwnd()));
    EXPECT_FALSE(FileExists(programDir.File("update.exe")));
    std::vector<std::string> lines;
    ASSERT_TRUE(WaitFor([&] { return (lines = record.Lines()).size() == 2; }, 30000));
    EXPECT_NE(lines[0].find("homepage.exe"), std::string::npos);
    EXPECT_NE(lines[1].find("homepage.exe"), std::string::npos);
}

class FetchWindow : public SelfUpdate {};

TEST_F(FetchWindow, NoLengthEndsAtOnceWithCancel) {
    PublishSetup();
    std::string local = programDir.File("setup.exe");
    ASSERT_TRUE(WriteBytes(local, "old"));
    CFetchDlg dlg;
    EXPECT_EQ(dlg.Run(site.serverBase + "update/setup.exe?nolength=1", local), IDCANCEL);
    EXPECT_EQ(ReadBytes(local), "old");
    EXPECT_EQ(Requests("setup.exe"), 1);
}

TEST_F(FetchWindow, SameLengthLocalFileEndsAtOnceWithOk) {
    PublishSetup();
    std::string local = programDir.File("setup.exe");
    long long size = FileSize(HttpRoot() + "\\" + prefix + "\\update\\setup.exe");
    ASSERT_TRUE(WriteBytes(local, std::string(static_cast<size_t>(size), 'z')));
    CFetchDlg dlg;
    EXPECT_EQ(dlg.Run(site.serverBase + "update/setup.exe", local), IDOK);
    EXPECT_EQ(ReadBytes(local), std::string(static_cast<size_t>(size), 'z'));
    EXPECT_EQ(Requests("setup.exe"), 1);
}

TEST_F(FetchWindow, OtherLengthIsReplacedWhileEnterAndEscChangeNothing) {
    PublishSetup();
    std::string local = programDir.File("setup.exe");
    ASSERT_TRUE(WriteBytes(local, "shorter"));
    // A slow transfer, during which Enter and Esc reach the window.
    std::thread keys([] {
        HWND fetch = nullptr;
        WaitFor([&] { return (fetch = ::FindWindowA(nullptr, kFetchCaption)) != nullptr; }, 30000);
        if (!fetch) return;
        ::SendMessageA(fetch, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        ::SendMessageA(fetch, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        ::SendMessageA(fetch, WM_CLOSE, 0, 0);
    });
    CFetchDlg dlg;
    INT_PTR result = dlg.Run(site.serverBase + "update/setup.exe?slow=5", local);
    keys.join();
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(ReadBytes(local), ReadBytes(HttpRoot() + "\\" + prefix + "\\update\\setup.exe"));
}

TEST_F(FetchWindow, BrokenTransferEndsWithCancel) {
    PublishSetup();
    std::string local = programDir.File("setup.exe");
    CFetchDlg dlg;
    EXPECT_EQ(dlg.Run(site.serverBase + "update/setup.exe?drop=1000", local), IDCANCEL);
    EXPECT_FALSE(FileExists(local));
}

}  // namespace

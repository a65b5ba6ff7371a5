// The version check, the self-update and its download window against the
// test HTTP server.
#include <gtest/gtest.h>

#include <thread>

#include "app/Globals.h"
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

// The next line this process writes with OutputDebugStringA, caught as a
// debug output viewer does: through the DBWIN_BUFFER section and its events.
struct DebugOutput {
    HANDLE ready = ::CreateEventA(nullptr, FALSE, TRUE, "DBWIN_BUFFER_READY");
    HANDLE data = ::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
    HANDLE section = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                          "DBWIN_BUFFER");
    const char* view = static_cast<const char*>(::MapViewOfFile(section, FILE_MAP_READ, 0, 0, 4096));
    ~DebugOutput() {
        if (view) ::UnmapViewOfFile(view);
        for (HANDLE h : {section, data, ready}) ::CloseHandle(h);
    }
    bool Ok() const { return ready && data && view; }
    // The section holds the writer's process id, then the text; "" when none.
    std::string Line() const {
        if (::WaitForSingleObject(data, 0) != WAIT_OBJECT_0) return "";
        return *reinterpret_cast<const DWORD*>(view) == ::GetCurrentProcessId() ? view + 4 : "<other>";
    }
};

// A stand-in main window: a dialog whose Cancel command ends it.
class HostWindow : public Dialog {
public:
    HostWindow() : Dialog(IDD_DETAILS) {}
};

// Each test has a folder of its own on the server and for the program; the
// "home page" is a fake installer, so the fake record shows its start.
class SelfUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        static int n = 0;
        saved = g_strProgramDir;
        g_strProgramDir = programDir.Path();
        prefix = "su" + std::to_string(::GetTickCount()) + "_" + std::to_string(++n);
        ASSERT_TRUE(::CreateDirectoryA((HttpRoot() + "\\" + prefix).c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryA((HttpRoot() + "\\" + prefix + "\\update").c_str(), nullptr));
        site.serverBase = HttpUrl(prefix + "/");
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

    ScopedTempDir programDir{"qf su "};
    ScopedTempDir homeDir{"qf home "};
    std::string saved, prefix;
    std::vector<std::string> texts;  // of the boxes answered
    SelfUpdateSite site;
    FakeRecord record;
    HostWindow host;
};

struct VersionCase {
    const char* name;
    const char* file;       // nullptr: none on the server
    const char* debugLine;  // "": none
};

class VersionFile : public SelfUpdate, public ::testing::WithParamInterface<VersionCase> {};

// Only a newer version is offered; No leaves everything as it was.
TEST_P(VersionFile, OffersOnlyANewerVersion) {
    const VersionCase& c = GetParam();
    ASSERT_TRUE(!c.file || WriteBytes(Served("version.inf"), c.file));
    const bool newer = std::string(c.name) == "newer";
    DebugOutput debug;
    ASSERT_TRUE(debug.Ok());
    EXPECT_EQ(Check(newer ? std::vector<int>{IDNO} : std::vector<int>{}), 0);
    EXPECT_EQ(texts, newer ? std::vector<std::string>{kAsk} : std::vector<std::string>{});
    EXPECT_EQ(FindMessageBox("Quellfix").hwnd, nullptr);
    EXPECT_EQ(debug.Line(), c.debugLine);
    EXPECT_EQ(Requests("setup.exe"), 0);
    EXPECT_TRUE(::IsWindow(host.GetHwnd()));
    EXPECT_TRUE(record.Lines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, VersionFile,
    ::testing::Values(
        VersionCase{"same", "2.000\r\n", "[ORVANE] LatestVersion : 2000, CurrentImageVersion : 2000"},
        VersionCase{"newer", "2.001\r\nnotes\r\n", "[ORVANE] LatestVersion : 2001, CurrentImageVersion : 2000"},
        VersionCase{"short_form", "2.1\n", "[ORVANE] LatestVersion : 21, CurrentImageVersion : 2000"},
        VersionCase{"empty", "", ""},
        VersionCase{"missing", nullptr, ""},
        VersionCase{"letter_first", "v3.000\n", ""}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

// Yes: the home page, then the setup program beside the program started
// (fetched, or the one already there, whose size alone is asked), and the
// window closed.
class YesAnswer : public SelfUpdate, public ::testing::WithParamInterface<bool> {};

TEST_P(YesAnswer, StartsTheSetupAndClosesTheWindow) {
    ASSERT_TRUE(WriteBytes(Served("version.inf"), "3.000\r\n"));
    PublishSetup();
    ASSERT_TRUE(!GetParam() ||
                ::CopyFileA(Served("setup.exe").c_str(), programDir.File("update.exe").c_str(), FALSE));
    EXPECT_EQ(Check({IDYES}), 1);
    if (GetParam()) {
        EXPECT_EQ(Requests("setup.exe"), 1);  // its size only
    }
    EXPECT_EQ(ReadBytes(programDir.File("update.exe")), ReadBytes(Served("setup.exe")));
    std::vector<std::string> lines = Started(2);
    EXPECT_NE(lines[0].find("homepage.exe"), std::string::npos);
    EXPECT_NE(lines[1].find("update.exe"), std::string::npos);
    EXPECT_FALSE(::IsWindow(host.GetHwnd()));
    EXPECT_EQ(host.Result(), IDCANCEL);
}

INSTANTIATE_TEST_SUITE_P(SetupAlreadyPresent, YesAnswer, ::testing::Bool());

TEST_F(SelfUpdate, FailedFetchIsReportedAndTheWindowStays) {
    ASSERT_TRUE(WriteBytes(Served("version.inf"), "3.000\r\n"));
    // Yes to the update, then Yes to opening the home page.
    EXPECT_EQ(Check({IDYES, IDYES}), 1);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "다운로드에 실패하였습니다. 홈페이지에서 직접 다운로드 받으시기 바랍니다");
    EXPECT_TRUE(::IsWindow(host.GetHwnd()));
    EXPECT_FALSE(FileExists(programDir.File("update.exe")));
    for (const std::string& line : Started(2)) EXPECT_NE(line.find("homepage.exe"), std::string::npos);
}

// A setup of the right length that another program keeps locked is "there"
// for the download window but cannot be read: the fetch is repeated a
// bounded number of times, then reported like a failed one.
TEST_F(SelfUpdate, UnreadableSetupIsRetriedThreeTimesThenReported) {
    ASSERT_TRUE(WriteBytes(Served("version.inf"), "3.000\r\n"));
    PublishSetup();
    const std::string local = programDir.File("update.exe");
    ASSERT_TRUE(::CopyFileA(Served("setup.exe").c_str(), local.c_str(), FALSE));
    HANDLE lock = ::CreateFileA(local.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Check({IDYES, IDNO}), 1);
    ::CloseHandle(lock);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "다운로드에 실패하였습니다. 홈페이지에서 직접 다운로드 받으시기 바랍니다");
    EXPECT_EQ(Requests("setup.exe"), 3);  // one download window per attempt
    EXPECT_TRUE(::IsWindow(host.GetHwnd()));
    EXPECT_EQ(Started(1)[0].find("update.exe"), std::string::npos);  // only the home page ran
}

// The download window's end codes: IDOK when the local file has the served
// length, IDCANCEL when the length is unknown or the transfer breaks.
TEST_F(SelfUpdate, FetchWindowEndsAtOnceWhenNothingIsToBeFetched) {
    PublishSetup();
    const std::string local = programDir.File("setup.exe");
    ASSERT_TRUE(WriteBytes(local, "old"));
    EXPECT_EQ(CFetchDlg().Run(site.serverBase + "update/setup.exe?nolength=1", local), IDCANCEL);
    EXPECT_EQ(ReadBytes(local), "old");
    const std::string sameLength(static_cast<size_t>(FileSize(Served("setup.exe"))), 'z');
    ASSERT_TRUE(WriteBytes(local, sameLength));
    EXPECT_EQ(CFetchDlg().Run(site.serverBase + "update/setup.exe", local), IDOK);
    EXPECT_EQ(ReadBytes(local), sameLength);
    EXPECT_EQ(Requests("setup.exe"), 2);  // the sizes only
    ASSERT_TRUE(::DeleteFileA(local.c_str()));
    EXPECT_EQ(CFetchDlg().Run(site.serverBase + "update/setup.exe?drop=1000", local), IDCANCEL);
    EXPECT_FALSE(FileExists(local));
}

TEST_F(SelfUpdate, FetchWindowReplacesAnotherLengthWhileEnterAndEscChangeNothing) {
    PublishSetup();
    const std::string local = programDir.File("setup.exe");
    ASSERT_TRUE(WriteBytes(local, "shorter"));
    std::thread keys([] {  // during a slow transfer
        HWND fetch = nullptr;
        WaitFor([&] { return (fetch = ::FindWindowA(nullptr, "업데이트 파일을 다운로드 받고 있습니다")) != nullptr; }, 30000);
        for (UINT id : {IDOK, IDCANCEL}) ::SendMessageA(fetch, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        ::SendMessageA(fetch, WM_CLOSE, 0, 0);
    });
    INT_PTR result = CFetchDlg().Run(site.serverBase + "update/setup.exe?slow=5", local);
    keys.join();
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(ReadBytes(local), ReadBytes(Served("setup.exe")));
}

}  // namespace

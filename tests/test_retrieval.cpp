// Catalog retrieval against the test HTTP server: the catalog for a system
// put in place, refused answers leaving the local catalog as it was, and the
// retrieval at the main window's start.
#include <gtest/gtest.h>

#include "app/Config.h"
#include "app/Globals.h"
#include "app/MainDlg.h"
#include "catalog/Retrieval.h"
#include "resource.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"
#include "support/WindowDriving.h"

using namespace testing_support;

namespace {

const char kOldCatalog[] = "[INFO]\r\nCOUNT=1\r\nLANGUAGE=18\r\n[1]\r\nTITLE=old\r\n";

class Retrieval : public ::testing::Test {
protected:
    void SetUp() override {
        static int n = 0;
        prefix = "rt" + std::to_string(::GetTickCount()) + "_" + std::to_string(++n);
        for (const char* folder : {"", "\\update", "\\update\\v2"})
            ASSERT_TRUE(::CreateDirectoryA((HttpRoot() + "\\" + prefix + folder).c_str(), nullptr));
        base = HttpUrl(prefix + "/");
        published = HttpRoot() + "\\" + prefix + "\\update\\v2\\6_64_18.ini";
        g_strProgramDir = dir.Path();
        ASSERT_TRUE(WriteBytes(path, kOldCatalog));
        profile.osCode = 6, profile.osBits = 64, profile.languageId = 0x0412;
    }
    void TearDown() override {
        RemoveTree(HttpRoot() + "\\" + prefix);
        ::DeleteFileA(rules.c_str());
        g_strProgramDir = saved;
        g_bDebug = 0;
    }
    void Publish(const std::string& text) { ASSERT_TRUE(WriteBytes(published, text)); }

    ScopedTempDir dir{"qf rt "};
    std::string prefix, base, published, path = dir.File("quellfix.ini"), saved = g_strProgramDir;
    const std::string rules = HttpRoot() + "\\.rules.json";
    const std::string caption = std::string("Quellfix 2.0 - ") + kHomePage;
    SystemProfile profile;
};

// A Korean 64-bit Vista asks for 6_64_18.ini; a catalog for another
// language carries the mark too and is taken.
TEST_F(Retrieval, PutsTheCatalogForThisSystemInPlaceAndKeepsTheCopy) {
    for (const std::string fresh : {"[INFO]\r\nCOUNT=2\r\nLANGUAGE=18\r\n[1]\r\nTITLE=새 목록\r\n", "[INFO]\r\nLANGUAGE=9\r\n"}) {
        Publish(fresh);
        EXPECT_NE(RetrieveCatalog(path, profile, base), 0);
        EXPECT_EQ(ReadBytes(path), fresh);
        EXPECT_EQ(ReadBytes(path + ".new"), fresh);
    }
}

TEST_F(Retrieval, RefusedAnswersLeaveTheLocalCatalogAlone) {
    // published: the file served (nullptr: none, 404); rule: the server's rule for the request.
    const struct { const char* name; const char* published; const char* rule; } cases[] = {
        {"not_found", nullptr, nullptr}, {"server_down", nullptr, nullptr},
        {"no_info_section", "<html><body>hello</body></html>", nullptr},
        {"no_language_key", "[INFO]\r\nCOUNT=3\r\n", nullptr},
        {"language_error", "[INFO]\r\nLANGUAGE=error\r\n", nullptr},
        {"server_error_page", "[INFO]\r\nLANGUAGE=18\r\n", "{\"status\": 500}"},
        {"cut_short", "[INFO]\r\nLANGUAGE=18\r\n[1]\r\nTITLE=x\r\n", "{\"drop\": 20}"}};
    for (const auto& c : cases) {
        ::DeleteFileA(published.c_str());
        if (c.published) Publish(c.published);
        ::DeleteFileA(rules.c_str());
        ASSERT_TRUE(!c.rule || WriteBytes(rules, "{\"/" + prefix + "/update/v2/6_64_18.ini\": " + c.rule + "}"));
        std::string server = std::string(c.name) == "server_down" ? kNoServerUrl : base;
        EXPECT_EQ(RetrieveCatalog(path, profile, server), 0) << c.name;
        EXPECT_EQ(ReadBytes(path), kOldCatalog) << c.name;
    }
}

// The main window started with the program's own server, which has no
// catalog for this system.
TEST_F(Retrieval, FailureAtStartShowsOnlyItsMessage) {
    CMainDlg window;
    BoxSequence boxes(caption, {IDOK});
    HWND hwnd = window.Create(nullptr);
    EXPECT_EQ(boxes.Wait(), std::vector<std::string>{"업데이트 목록 파일을 다운로드 받는데 실패하였습니다"});
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(::SendDlgItemMessageA(hwnd, IDC_UPDATE_LIST, LVM_GETITEMCOUNT, 0, 0), 0);
    // No question to quit follows, although the list is empty.
    EXPECT_FALSE(WaitFor([&] { return FindMessageBox(caption).hwnd != nullptr; }, 2000));
    EXPECT_EQ(ReadBytes(path), kOldCatalog);
}

TEST_F(Retrieval, DebugModeAtStartFetchesAndWritesNothing) {
    g_bDebug = 1;
    CMainDlg window;
    const size_t before = HttpRequests().size();
    // The old catalog's language is not this system's: a message, a question.
    BoxSequence boxes(caption, {IDOK, IDNO});
    window.Create(nullptr);
    EXPECT_EQ(boxes.Wait().size(), 2u);
    for (size_t i = before; i < HttpRequests().size(); ++i)
        EXPECT_EQ(HttpRequests()[i].find("/update/v2/"), std::string::npos) << HttpRequests()[i];
    EXPECT_FALSE(FileExists(path + ".new"));
    EXPECT_EQ(ReadBytes(path), kOldCatalog);
}

}  // namespace

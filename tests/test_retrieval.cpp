// Catalog retrieval against the test HTTP server: the address formed for a
// system, a catalog put in place, every kind of refused answer leaving the
// local catalog as it was, and the retrieval's place in the main window.
#include <gtest/gtest.h>

#include <cctype>

#include <memory>

#include "app/Config.h"
#include "app/Globals.h"
#include "app/MainDlg.h"
#include "catalog/Retrieval.h"
#include "inventory/Detection.h"
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
        prefix = "rt" + std::to_string(::GetTickCount()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : prefix)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        ASSERT_TRUE(::CreateDirectoryA((HttpRoot() + "\\" + prefix).c_str(), nullptr));
        ::CreateDirectoryA((HttpRoot() + "\\" + prefix + "\\update").c_str(), nullptr);
        ::CreateDirectoryA((HttpRoot() + "\\" + prefix + "\\update\\v2").c_str(), nullptr);
        base = HttpUrl(prefix + "/");
        path = dir.File("quellfix.ini");
        ASSERT_TRUE(WriteBytes(path, kOldCatalog));
        profile.osCode = 6;
        profile.osBits = 64;
        profile.languageId = 0x0412;
    }
    void TearDown() override { RemoveTree(HttpRoot() + "\\" + prefix); }
    void Publish(const std::string& name, const std::string& text) {
        ASSERT_TRUE(WriteBytes(HttpRoot() + "\\" + prefix + "\\update\\v2\\" + name, text));
    }
    std::vector<std::string> Requests() const {
        std::vector<std::string> mine;
        for (const std::string& line : HttpRequests())
            if (line.find("/" + prefix + "/") != std::string::npos) mine.push_back(line);
        return mine;
    }

    ScopedTempDir dir{"qf rt "};
    std::string prefix, base, path;
    SystemProfile profile;
};

TEST_F(Retrieval, PutsTheFetchedCatalogInPlaceAndKeepsTheCopy) {
    const std::string fresh = "[INFO]\r\nCOUNT=2\r\nLANGUAGE=18\r\n[1]\r\nTITLE=새 목록\r\n";
    Publish("6_64_18.ini", fresh);
    EXPECT_NE(RetrieveCatalog(path, profile, base), 0);
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0], "GET /" + prefix + "/update/v2/6_64_18.ini");
    EXPECT_EQ(ReadBytes(path), fresh);
    EXPECT_EQ(ReadBytes(path + ".new"), fresh);
}

TEST_F(Retrieval, AsksForThisSystemAsWineReportsIt) {
    SystemProfile live;
    RunInventory(live);
    std::string name = CatalogFileName(live);
    EXPECT_EQ(name, std::to_string(live.osCode) + "_" + std::to_string(live.osBits) + "_" +
                        std::to_string(live.languageId & 0x3FF) + ".ini");
    Publish(name, "[INFO]\r\nLANGUAGE=165\r\n");
    EXPECT_NE(RetrieveCatalog(path, live, base), 0);
    EXPECT_EQ(Requests().back(), "GET /" + prefix + "/update/v2/" + name);
}

struct RefusedCase {
    const char* name;
    const char* published;  // nullptr: no file (404)
    const char* query;      // rules for the request, as a rules file entry
};

class Refused : public Retrieval, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(Refused, LeavesTheLocalCatalogAlone) {
    const RefusedCase& c = GetParam();
    if (c.published) Publish("6_64_18.ini", c.published);
    if (c.query) {
        std::string rules = "{\"/" + prefix + "/update/v2/6_64_18.ini\": " + c.query + "}";
        ASSERT_TRUE(WriteBytes(HttpRoot() + "\\.rules.json", rules));
    }
    int result = RetrieveCatalog(path, profile, base);
    ::DeleteFileA((HttpRoot() + "\\.rules.json").c_str());
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadBytes(path), kOldCatalog);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Refused,
    ::testing::Values(RefusedCase{"not_found", nullptr, nullptr},
                      RefusedCase{"no_info_section", "<html><body>hello</body></html>", nullptr},
                      RefusedCase{"no_language_key", "[INFO]\r\nCOUNT=3\r\n", nullptr},
                      RefusedCase{"language_error", "[INFO]\r\nLANGUAGE=ERROR\r\n", nullptr},
                      RefusedCase{"language_error_lower", "[INFO]\r\nLANGUAGE=error\r\n", nullptr},
                      RefusedCase{"server_error_page", "[INFO]\r\nLANGUAGE=18\r\n", "{\"status\": 500}"},
                      RefusedCase{"cut_short", "[INFO]\r\nLANGUAGE=18\r\n[1]\r\nTITLE=x\r\n",
                                  "{\"drop\": 20}"}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST_F(Retrieval, ServerDownLeavesTheLocalCatalogAlone) {
    std::string down = "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/";
    EXPECT_EQ(RetrieveCatalog(path, profile, down), 0);
    EXPECT_EQ(ReadBytes(path), kOldCatalog);
}

TEST_F(Retrieval, ACatalogForAnotherLanguageIsAccepted) {
    Publish("6_64_18.ini", "[INFO]\r\nLANGUAGE=9\r\n");
    EXPECT_NE(RetrieveCatalog(path, profile, base), 0);
    EXPECT_EQ(ReadBytes(path), "[INFO]\r\nLANGUAGE=9\r\n");
}

// In the main window: a failed retrieval shows its message and nothing else.
class RetrievalAtStart : public ::testing::Test {
protected:
    void SetUp() override {
        saved = g_strProgramDir;
        g_strProgramDir = dir.Path();
        ASSERT_TRUE(WriteBytes(dir.File("quellfix.ini"), kOldCatalog));
    }
    void TearDown() override {
        window.reset();
        g_strProgramDir = saved;
        g_bDebug = 0;
    }
    std::string Caption() const { return std::string("Quellfix 2.0 - ") + kHomePage; }
    ScopedTempDir dir{"qf rts "};
    std::string saved;
    std::unique_ptr<CMainDlg> window;
};

TEST_F(RetrievalAtStart, FailureShowsOnlyItsMessage) {
    // The program's own server has no catalog for this system.
    g_bDebug = 0;
    BoxSequence boxes(Caption(), {IDOK}, 30000);
    window.reset(new CMainDlg);
    HWND hwnd = window->Create(nullptr);
    ASSERT_EQ(boxes.Wait().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0], "업데이트 목록 파일을 다운로드 받는데 실패하였습니다");
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(::SendDlgItemMessageA(hwnd, IDC_UPDATE_LIST, LVM_GETITEMCOUNT, 0, 0), 0);
    // No question to quit follows, although the list is empty.
    EXPECT_FALSE(WaitFor([&] { return FindMessageBox(Caption()).hwnd != nullptr; }, 2000));
    EXPECT_EQ(ReadBytes(dir.File("quellfix.ini")), kOldCatalog);
}

TEST_F(RetrievalAtStart, DebugModeFetchesAndWritesNothing) {
    g_bDebug = 1;
    size_t before = HttpRequests().size();
    // The old catalog's language does not match this system: message, question.
    BoxSequence boxes(Caption(), {IDOK, IDNO}, 30000);
    window.reset(new CMainDlg);
    window->Create(nullptr);
    EXPECT_EQ(boxes.Wait().size(), 2u);
    for (size_t i = before; i < HttpRequests().size(); ++i)
        EXPECT_EQ(HttpRequests()[i].find("/update/v2/"), std::string::npos) << HttpRequests()[i];
    EXPECT_FALSE(FileExists(dir.File("quellfix.ini.new")));
    EXPECT_EQ(ReadBytes(dir.File("quellfix.ini")), kOldCatalog);
}

}  // namespace

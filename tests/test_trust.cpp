// The trust chain of a signed build (this suite carries the test key):
// catalogs and the setup program taken only with a signature made by
// openssl with that key, installers run only with their pinned digest, and
// file names that would leave UPDATES refused before any request.
#include <gtest/gtest.h>

#include <memory>

#include "app/Globals.h"
#include "catalog/Retrieval.h"
#include "core/Trust.h"
#include "inventory/Detection.h"
#include "net/Download.h"
#include "net/SelfUpdate.h"
#include "registry/Handles.h"
#include "resource.h"
#include "run/RunDlg.h"
#include "support/RunFixtures.h"
#include "support/WindowDriving.h"
#include "trust/Verify.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"

using namespace testing_support;

namespace {

const std::string kKeys = QUELLFIX_TEST_KEYS;

// Has the test server sign the served file `relative` with openssl, as a
// publisher does; the signature goes to `relative` + ".sig".
void Sign(const std::string& relative, const std::string& key = "trust") {
    ASSERT_EQ(FetchFirstLine(HttpUrl("__sign__/" + relative + "?key=" + kKeys + "/" + key + ".pem")),
              "ok\n")
        << relative;
}

std::string Hex(const Sha256Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : digest) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

std::string DigestOf(const std::string& path) {
    KernelHandle file(OpenDenyingWriters(path));
    Sha256Digest digest{};
    EXPECT_TRUE(HashFile(file.Get(), digest)) << path;
    return Hex(digest);
}

TEST(SignedBuild, CarriesTheTestKey) { EXPECT_TRUE(SignedBuild()); }

class SignedCatalog : public ::testing::Test {
protected:
    void SetUp() override {
        static int n = 0;
        prefix = "tc" + std::to_string(::GetTickCount()) + "_" + std::to_string(++n);
        for (const char* sub : {"", "\\update", "\\update\\v2"})
            ::CreateDirectoryA((HttpRoot() + "\\" + prefix + sub).c_str(), nullptr);
        profile.osCode = 4;
        profile.osBits = 32;
        profile.languageId = 0x0412;
        ASSERT_TRUE(WriteBytes(local, kOld));
    }
    void TearDown() override { RemoveTree(HttpRoot() + "\\" + prefix); }
    std::string Served(const std::string& name) const {
        return HttpRoot() + "\\" + prefix + "\\update\\v2\\" + name;
    }
    std::string Relative(const std::string& name) const { return prefix + "/update/v2/" + name; }
    int Retrieve() { return RetrieveCatalog(local, profile, HttpUrl(prefix + "/")); }

    const std::string kOld = "[INFO]\r\nCOUNT=1\r\nLANGUAGE=18\r\n[1]\r\nTITLE=old\r\n";
    const std::string kFresh = "[INFO]\r\nCOUNT=1\r\nLANGUAGE=18\r\n[1]\r\nTITLE=새 목록\r\n";
    ScopedTempDir dir{"qf tc "};
    std::string prefix, local = dir.File("quellfix.ini");
    SystemProfile profile;
};

TEST_F(SignedCatalog, OnlyACatalogSignedWithTheKeyReplacesTheLocalOne) {
    const std::string name = "4_32_18.ini";
    struct Refused {
        const char* what;
        std::function<void()> spoil;
    } refused[] = {
        {"one flipped byte",
         [&] {
             std::string bytes = kFresh;
             bytes[bytes.size() - 4] ^= 1;
             ASSERT_TRUE(WriteBytes(Served(name), bytes));
         }},
        {"the signature of another catalog",
         [&] {
             ASSERT_TRUE(WriteBytes(Served("other.ini"), kOld));
             Sign(Relative("other.ini"));
             ASSERT_TRUE(::CopyFileA(Served("other.ini.sig").c_str(), Served(name + ".sig").c_str(), FALSE));
         }},
        {"no signature", [&] { ASSERT_TRUE(::DeleteFileA(Served(name + ".sig").c_str())); }},
        {"a truncated signature",
         [&] { ASSERT_TRUE(WriteBytes(Served(name + ".sig"), ReadBytes(Served(name + ".sig")).substr(0, 100))); }},
        {"a signature by another key", [&] { Sign(Relative(name), "foreign"); }},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(WriteBytes(Served(name), kFresh));
        Sign(Relative(name));
        r.spoil();
        EXPECT_EQ(Retrieve(), 0);
        EXPECT_EQ(ReadBytes(local), kOld);
    }
    ASSERT_TRUE(WriteBytes(Served(name), kFresh));
    Sign(Relative(name));
    EXPECT_NE(Retrieve(), 0);
    EXPECT_EQ(ReadBytes(local), kFresh);
    EXPECT_FALSE(FileExists(local + ".new.sig"));
}

// The run window of a signed build with pinned installers.
class PinnedRun : public ::testing::Test {
protected:
    void SetUp() override { ::CreateDirectoryA(updates.c_str(), nullptr); }
    void TearDown() override { run.reset(); }
    // `name` is the catalog's FILENAME; empty: the file's own name.
    void Add(const std::string& title, const std::string& file, const std::string& sha256,
             const std::string& name = "") {
        run->m_arrTitles.push_back(title);
        run->m_arrUrls.push_back(HttpUrl(file));
        run->m_arrPaths.push_back(UpdateFilePath(updates, name.empty() ? file : name));
        run->m_arrCmdLines.push_back("");
        run->m_arrSha256.push_back(sha256);
    }
    void RunToEnd() {
        hwnd = run->Create(nullptr);
        ASSERT_NE(hwnd, nullptr);
        ::ShowWindow(hwnd, SW_SHOW);
        ::UpdateWindow(hwnd);
        ASSERT_TRUE(WaitFor([&] { return Control(::GetDlgItem(hwnd, IDCANCEL)).GetText() == "닫기"; },
                            60000));
    }
    std::string Log() const { return Control(::GetDlgItem(hwnd, IDC_RUN_LOG)).GetText(); }
    int Requests(const std::string& file) const {
        int n = 0;
        for (const std::string& line : HttpRequests()) n += line.find("/" + file) != std::string::npos;
        return n;
    }

    ProgramFolder program;
    std::string updates = program.dir.File("UPDATES");
    FakeRecord record;
    std::unique_ptr<CRunDlg> run{new CRunDlg};
    HWND hwnd = nullptr;
};

TEST_F(PinnedRun, RunsOnlyFilesWithTheirPinnedDigest) {
    program.Serve("fake_security.exe", "tp_good.exe");
    program.Serve("fake_security.exe", "tp_stale.exe");
    program.Serve("fake_security.exe", "tp_wrong.exe");
    program.Serve("fake_security.exe", "tp_bare.exe");
    program.keys = {"KB990407"};
    const std::string digest = DigestOf(HttpRoot() + "\\tp_good.exe");
    // A local file of the right size but other bytes is fetched again.
    std::string tampered = ReadBytes(HttpRoot() + "\\tp_stale.exe");
    tampered[tampered.size() / 2] ^= 0x55;
    ASSERT_TRUE(WriteBytes(updates + "\\tp_stale.exe", tampered));

    Add("good", "tp_good.exe", digest);
    Add("stale", "tp_stale.exe", digest);
    Add("wrong", "tp_wrong.exe", std::string(64, 'a'));
    Add("bare", "tp_bare.exe", "");
    Add("malformed", "tp_bare.exe", digest.substr(1));
    RunToEnd();
    const std::string log = Log();
    EXPECT_NE(log.find("[1/5] good 를 설치하고 있습니다...  설치 완료"), std::string::npos) << log;
    EXPECT_NE(log.find("[2/5] stale 를 설치하고 있습니다...  설치 완료"), std::string::npos) << log;
    EXPECT_EQ(ReadBytes(updates + "\\tp_stale.exe"), ReadBytes(HttpRoot() + "\\tp_stale.exe"));
    EXPECT_NE(log.find("[3/5] wrong 를 다운로드 하고 있습니다.  (파일 크기 : "), std::string::npos);
    EXPECT_NE(log.find("파일 검증 실패.\r\n\r\n[4/5] bare 를 다운로드 하고 있습니다.  파일 검증 실패.\r\n\r\n"
                       "[5/5] malformed 를 다운로드 하고 있습니다.  파일 검증 실패.\r\n\r\n"),
              std::string::npos)
        << log;
    for (const char* line : {"[3/5] wrong 는 파일 검증에 실패하여 설치하지 않습니다.\r\n\r\n",
                             "[4/5] bare 는 파일 검증에 실패하여 설치하지 않습니다.\r\n\r\n",
                             "[5/5] malformed 는 파일 검증에 실패하여 설치하지 않습니다.\r\n\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_FALSE(FileExists(updates + "\\tp_wrong.exe"));
    EXPECT_EQ(Requests("tp_bare.exe"), 0);
    ASSERT_EQ(record.Lines().size(), 2u);
    EXPECT_NE(record.Lines()[0].find("tp_good.exe"), std::string::npos);
    EXPECT_NE(record.Lines()[1].find("tp_stale.exe"), std::string::npos);
}

// A refused name is a failed download: no request, nothing made or run.
TEST_F(PinnedRun, ARefusedFileNameMakesNoRequestAndRunsNothing) {
    program.Serve("fake_security.exe", "tp_escape.exe");
    Add("escape", "tp_escape.exe", DigestOf(HttpRoot() + "\\tp_escape.exe"), "..\\tp_escape.exe");
    RunToEnd();
    EXPECT_NE(Log().find("[1/1] escape 는 다운로드에 실패하여 설치하지 않습니다."), std::string::npos);
    EXPECT_EQ(Requests("tp_escape.exe"), 0);
    EXPECT_FALSE(FileExists(program.dir.File("tp_escape.exe")));
    EXPECT_TRUE(record.Lines().empty());
}

// The self-update of a signed build starts only a setup signed with the key.
class HostWindow : public Dialog {
public:
    HostWindow() : Dialog(IDD_DETAILS) {}
};

TEST(SignedSelfUpdate, StartsOnlyASignedSetup) {
    ProgramFolder program;
    FakeRecord record;
    ScopedTempDir home{"qf home "};
    const std::string prefix = "ts" + std::to_string(::GetTickCount());
    ::CreateDirectoryA((HttpRoot() + "\\" + prefix).c_str(), nullptr);
    ::CreateDirectoryA((HttpRoot() + "\\" + prefix + "\\update").c_str(), nullptr);
    const std::string served = HttpRoot() + "\\" + prefix + "\\update\\setup.exe";
    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_security.exe").c_str(), served.c_str(), FALSE));
    SelfUpdateSite site;
    site.serverBase = HttpUrl(prefix + "/");
    site.programDir = g_strProgramDir;
    site.homePage = home.File("homepage.exe");
    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_cabinet.exe").c_str(), site.homePage.c_str(), FALSE));
    const std::string local = program.dir.File("update.exe");
    const char kFailed[] = "다운로드에 실패하였습니다. 홈페이지에서 직접 다운로드 받으시기 바랍니다";

    struct Case {
        const char* what;
        std::function<void()> prepare;
    } refused[] = {
        {"no signature", [&] { ::DeleteFileA((served + ".sig").c_str()); }},
        {"a signature by another key", [&] { Sign(prefix + "/update/setup.exe", "foreign"); }},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        c.prepare();
        HostWindow host;
        host.Create(nullptr);
        BoxSequence boxes("Quellfix", {IDNO});
        RunSelfUpdate(host.GetHwnd(), site);
        EXPECT_EQ(boxes.Wait(), std::vector<std::string>{kFailed});
        EXPECT_FALSE(FileExists(local));
        EXPECT_TRUE(::IsWindow(host.GetHwnd()));
    }
    ASSERT_TRUE(WaitFor([&] { return record.Lines().size() == 2; }));  // the home page twice
    Sign(prefix + "/update/setup.exe");
    HostWindow host;
    host.Create(nullptr);
    RunSelfUpdate(host.GetHwnd(), site);
    ASSERT_TRUE(WaitFor([&] { return record.Lines().size() == 4; }, 30000));
    int setups = 0;
    for (const std::string& line : record.Lines()) setups += line.find("update.exe") != std::string::npos;
    EXPECT_EQ(setups, 1);
    EXPECT_FALSE(::IsWindow(host.GetHwnd()));
    RemoveTree(HttpRoot() + "\\" + prefix);
    DeleteUninstallKey("KB990404");
    DeleteUninstallKey("KB990407");
}

}  // namespace

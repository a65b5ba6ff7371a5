// The trust chain of a signed build (this suite carries the test key):
// catalogs and the setup program taken only with a signature made by
// openssl with that key, installers run only with their pinned digest, and
// file names that would leave UPDATES refused before any request.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/Globals.h"
#include "catalog/Retrieval.h"
#include "core/Trust.h"
#include "net/Download.h"
#include "net/SelfUpdate.h"
#include "registry/Handles.h"
#include "support/RunFixtures.h"
#include "trust/Verify.h"
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

std::string DigestOf(const std::string& path) {
    KernelHandle file(OpenDenyingWriters(path));
    Sha256Digest digest{};
    EXPECT_TRUE(HashFile(file.Get(), digest)) << path;
    std::string hex;
    char two[3];
    for (unsigned char b : digest) {
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    return hex;
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

// The run window of a signed build runs a file only with the digest its
// entry pins, checked again before it starts: a local file of the right size
// but other bytes is fetched again, a wrong one deleted and never run; an
// entry that pins nothing, or no digest, and a file name that would leave
// UPDATES make no request at all.
TEST_F(RunWindowTest, SignedRunsOnlyFilesWithTheirPinnedDigest) {
    for (const char* name : {"tp_stale.exe", "tp_wrong.exe", "tp_bare.exe", "tp_escape.exe"})
        program.Serve("fake_security.exe", name);
    program.keys = {"KB990407"};
    const std::string digest = DigestOf(HttpRoot() + "\\tp_stale.exe");
    std::string tampered = ReadBytes(HttpRoot() + "\\tp_stale.exe");
    tampered[tampered.size() / 2] ^= 0x55;
    ASSERT_TRUE(WriteBytes(updates + "\\tp_stale.exe", tampered));
    Add("stale", "tp_stale.exe", digest);
    Add("wrong", "tp_wrong.exe", std::string(64, 'a'));
    Add("bare", "tp_bare.exe");
    Add("malformed", "tp_bare.exe", digest.substr(1));
    Add("escape", "tp_escape.exe", digest, "..\\tp_escape.exe");
    Start();
    ASSERT_TRUE(WaitFinished());
    const std::string log = Log();
    for (const char* line : {"[1/5] stale 를 설치하고 있습니다...  설치 완료",
                             "[2/5] wrong 는 파일 검증에 실패하여 설치하지 않습니다.\r\n\r\n",
                             "[3/5] bare 는 파일 검증에 실패하여 설치하지 않습니다.\r\n\r\n",
                             "[4/5] malformed 는 파일 검증에 실패하여 설치하지 않습니다.\r\n\r\n",
                             "[5/5] escape 는 다운로드에 실패하여 설치하지 않습니다."})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_NE(log.find("파일 검증 실패.\r\n\r\n[3/5]"), std::string::npos) << log;
    EXPECT_EQ(ReadBytes(updates + "\\tp_stale.exe"), ReadBytes(HttpRoot() + "\\tp_stale.exe"));
    EXPECT_FALSE(FileExists(updates + "\\tp_wrong.exe"));
    EXPECT_EQ(Requests("/tp_bare.exe"), 0);
    EXPECT_EQ(Requests("/tp_escape.exe"), 0);
    const std::vector<std::string> lines = record.Lines();
    ASSERT_EQ(lines.size(), 1u) << "only the file of the pinned digest runs";
    EXPECT_NE(lines[0].find("tp_stale.exe"), std::string::npos);
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

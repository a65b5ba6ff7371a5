// A repository folder beside the program stands in for the update server:
// the version offer, the catalog, the setup program and every installer
// come from it, the same rules hold, and the program asks the network for
// nothing at all (the test server sits at the address the program is built
// with, and counts every request).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "catalog/Retrieval.h"
#include "core/UpdateFiles.h"
#include "inventory/Detection.h"
#include "support/RunFixtures.h"
#include "support/WindowDriving.h"

using namespace testing_support;

namespace {

// A program folder with the real program and a repository beside it.
class Repository : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\Quellfix.exe").c_str(), exe.c_str(), FALSE));
        for (const char* sub : {"", "\\update", "\\update\\v2", "\\files"})
            ASSERT_TRUE(::CreateDirectoryA((repo + sub).c_str(), nullptr));
    }
    // Puts `bytes` where the repository keeps the installer of `url`.
    void Keep(const std::string& url, const std::string& bytes) {
        const std::string path = repo + "\\" + RepositoryPathOfUrl(url);
        ::CreateDirectoryA(path.substr(0, path.rfind('\\')).c_str(), nullptr);
        ASSERT_TRUE(WriteBytes(path, bytes));
    }
    ProgramFolder program;
    ScopedTempDir& dir = program.dir;
    std::string exe = dir.File("Quellfix.exe");
    std::string repo = dir.File("repository");
};

// The whole program with a repository: it offers the repository's newer
// version, names the repository in its caption, lists the repository's
// catalog, and an unattended run installs from it. An installer that is not
// the pinned one is refused, one the repository lacks is named in the log,
// and not one request reaches the server.
TEST_F(Repository, StandsInForTheServerAndNothingGoesToTheNetwork) {
    FakeRecord record;
    program.keys = {"KB990407", "KB990402", "KB990404"};
    const std::string security = ReadBytes(FixtureFile("fake_security.exe"));
    const std::string restart = ReadBytes(FixtureFile("fake_sfxcab.exe"));
    std::string entries = CatalogEntry(1, "보안 업데이트", "rp_a.exe", "KB990407") +
                          CatalogEntry(2, "다시 시작 업데이트", "rp_b.exe", "KB990402") +
                          "SHA256=" + Sha256Hex(restart) + "\r\n" +
                          CatalogEntry(3, "바뀐 업데이트", "rp_c.exe", "KB990404") +
                          "SHA256=" + Sha256Hex(ReadBytes(FixtureFile("fake_cabinet.exe"))) + "\r\n" +
                          CatalogEntry(4, "없는 업데이트", "rp_d.exe", "KB990499");
    SystemProfile live;
    RunInventory(live);
    ASSERT_TRUE(WriteBytes(repo + "\\update\\v2\\" + CatalogFileName(live), CatalogText(entries, 4)));
    ASSERT_TRUE(WriteBytes(repo + "\\update\\version.inf", "9.999\r\n"));
    Keep(HttpUrl("rp_a.exe"), security);
    Keep(HttpUrl("rp_b.exe"), restart);
    Keep(HttpUrl("rp_c.exe"), security);  // not the bytes its entry pins
    const size_t requests = HttpRequests().size();

    {
        TestProcess app("Quellfix.exe", dir.Path(), exe);
        BoxSequence offer("Quellfix", {IDNO}, 60000, app.Pid());
        EXPECT_EQ(offer.Wait(), std::vector<std::string>{"이 프로그램이 업데이트 되었습니다. 다운로드 받으시겠습니까?"});
        HWND main = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (main = FindProcessDialog(app.Pid(), "Quellfix 2.0 - " + repo)) != nullptr &&
                                         ::SendDlgItemMessageA(main, 1006, LVM_GETITEMCOUNT, 0, 0) == 4; },
                            120000))
            << "no window naming the repository with its four entries";
        ::PostMessageA(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(app.WaitExit(30000));
    }
    TestProcess run("\"" + exe + "\" auto", dir.Path());
    ASSERT_TRUE(run.WaitExit(180000));
    EXPECT_EQ(run.ExitCode(), 1) << "two updates could not be installed";
    const std::string log = ReadBytes(dir.File("UPDATES\\quellfix.log"));
    EXPECT_NE(log.find("[1/4] 보안 업데이트 를 설치하고 있습니다...  설치 완료"), std::string::npos) << log;
    EXPECT_NE(log.find("[2/4] 다시 시작 업데이트 를 설치하고 있습니다...  설치 완료 (재시작 필요)"), std::string::npos) << log;
    EXPECT_NE(log.find("[3/4] 바뀐 업데이트 는 파일 검증에 실패하여 설치하지 않습니다."), std::string::npos) << log;
    EXPECT_NE(log.find("원인: 받은 파일의 SHA-256이 목록의 값과 다릅니다"), std::string::npos) << log;
    EXPECT_NE(log.find("원인: 저장소에 파일이 없습니다: " + repo + "\\files\\"), std::string::npos) << log;
    EXPECT_EQ(record.Lines().size(), 2u);
    EXPECT_EQ(HttpRequests().size(), requests) << "the program asked the server for something";
}

// The self-update from a repository: the newer setup program is taken from
// the folder and started; the home page is not opened, since that would go
// to the network.
TEST_F(UpdateServerTest, TheSetupProgramComesFromARepositoryWithoutTheHomePage) {
    ScopedTempDir folder("qf repo ");
    ASSERT_TRUE(::CreateDirectoryA(folder.File("update").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(folder.File("update\\version.inf"), "2.001\n"));
    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_security.exe").c_str(), folder.File("update\\setup.exe").c_str(), FALSE));
    RepositorySource repository(folder.Path());
    site.source = &repository;
    const size_t requests = HttpRequests().size();
    EXPECT_EQ(Check({IDYES}), 1);
    EXPECT_EQ(Started(1), std::vector<std::string>{"\"" + program.dir.File("update.exe") + "\""})
        << "the setup program, and not the home page";
    EXPECT_EQ(ReadBytes(program.dir.File("update.exe")), ReadBytes(folder.File("update\\setup.exe")));
    EXPECT_EQ(HttpRequests().size(), requests);
}

}  // namespace

// The trust chain of a signed build (this suite carries the test key):
// catalogs and the setup program taken only with a signature made by
// openssl with that key, installers run only with their pinned digest, and
// file names that would leave UPDATES refused before any request. CTest runs
// the suite with every CryptoAPI provider out of reach (tests/cmake/trust.cmake),
// as on a Windows whose CryptoAPI has no SHA-256.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include "catalog/Retrieval.h"
#include "core/Text.h"
#include "net/Download.h"
#include "win/Handle.h"
#include "support/RunFixtures.h"
#include "trust/Verify.h"

using namespace testing_support;

namespace {

// Has the test server sign the served file `relative` with openssl, as a
// publisher does; the signature goes to `relative` + ".sig".
void Sign(const std::string& relative, const std::string& key = "trust") {
    ASSERT_EQ(FetchFirstLine(HttpUrl("__sign__/" + relative + "?key=" QUELLFIX_TEST_KEYS "/" + key + ".pem")), "ok\n")
        << relative;
}

std::string DigestOf(const std::string& path) {
    KernelHandle file(OpenDenyingWriters(path));
    Sha256Digest digest{};
    EXPECT_TRUE(HashFile(file.Get(), digest)) << path;
    return HexText(digest.data(), digest.size(), false);
}

// The checks below pass without CryptoAPI: no provider answers here, and
// yet a file's digest is its SHA-256, read in the program's blocks (the
// million-byte file ends in a partial one).
TEST(TrustWithoutCryptoApi, HashesFilesWhileNoProviderAnswers) {
    for (DWORD type : {PROV_RSA_FULL, PROV_RSA_AES, PROV_RSA_SCHANNEL, PROV_DSS, PROV_DSS_DH}) {
        HCRYPTPROV provider = 0;
        EXPECT_FALSE(::CryptAcquireContextA(&provider, nullptr, nullptr, type,
                                            CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
            << "provider type " << type << " answers";
        if (provider) ::CryptReleaseContext(provider, 0);
    }
    ScopedTempDir dir("qfhash");
    const struct {
        const char* name;
        std::string bytes;
        const char* digest;
    } files[] = {
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"million", std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(WriteBytes(dir.File(f.name), f.bytes));
        EXPECT_EQ(DigestOf(dir.File(f.name)), f.digest);
        Sha256Digest digest{};
        ASSERT_TRUE(ParseSha256Hex(f.digest, digest));
        EXPECT_TRUE(FileHasDigest(dir.File(f.name), digest));
        digest[0] ^= 1;
        EXPECT_FALSE(FileHasDigest(dir.File(f.name), digest));
    }
    EXPECT_FALSE(FileHasDigest(dir.File("absent"), Sha256Digest{}));
}

// The old catalog stays unless the new one carries a signature of its very
// bytes by the key.
TEST_F(UpdateServerTest, OnlyACatalogSignedWithTheKeyReplacesTheLocalOne) {
    ASSERT_TRUE(SignedBuild());
    SystemProfile profile;  // any system: its catalog is served
    const std::string name = CatalogFileName(profile), served = Served("v2\\" + name), sig = served + ".sig";
    auto sign = [&](const std::string& file, const std::string& key) { Sign(prefix + "/update/v2/" + file, key); };
    const std::string kOld = "[INFO]\r\nCOUNT=1\r\nLANGUAGE=18\r\n[1]\r\nTITLE=old\r\n";
    const std::string kFresh = "[INFO]\r\nCOUNT=1\r\nLANGUAGE=18\r\n[1]\r\nTITLE=새 목록\r\n";
    const std::string local = program.dir.File("quellfix.ini");
    ASSERT_TRUE(WriteBytes(local, kOld));
    struct { const char* what; std::function<void()> spoil; } refused[] = {
        {"one changed byte",
         [&] { ASSERT_TRUE(WriteBytes(served, std::string(kFresh).replace(kFresh.size() - 4, 1, "X"))); }},
        {"the signature of another catalog", [&] {
             ASSERT_TRUE(WriteBytes(Served("v2\\other.ini"), kOld));
             sign("other.ini", "trust");
             ASSERT_TRUE(::CopyFileA(Served("v2\\other.ini.sig").c_str(), sig.c_str(), FALSE));
         }},
        {"no signature", [&] { ASSERT_TRUE(::DeleteFileA(sig.c_str())); }},
        {"a truncated signature", [&] { ASSERT_TRUE(WriteBytes(sig, ReadBytes(sig).substr(0, 100))); }},
        {"an empty signature file", [&] { ASSERT_TRUE(WriteBytes(sig, "")); }},
        {"the signature twice", [&] { ASSERT_TRUE(WriteBytes(sig, ReadBytes(sig) + ReadBytes(sig))); }},
        {"a signature by another key", [&] { sign(name, "foreign"); }},
        {nullptr, [] {}},  // signed with the key: taken
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.what ? r.what : "signed");
        ASSERT_TRUE(WriteBytes(served, kFresh));
        sign(name, "trust");
        r.spoil();
        EXPECT_EQ(RetrieveCatalog(local, profile, site.serverBase) != 0, !r.what);
        EXPECT_EQ(ReadBytes(local), r.what ? kOld : kFresh);
        // The server's tree as a repository folder on a stick: the same rules.
        ASSERT_TRUE(WriteBytes(local, kOld));
        RepositorySource repository(HttpRoot() + "\\" + prefix);
        FetchFailure why;
        EXPECT_EQ(RetrieveCatalog(local, profile, repository, &why) != 0, !r.what);
        EXPECT_EQ(ReadBytes(local), r.what ? kOld : kFresh);
        if (r.what)
            EXPECT_TRUE(why.cause == FetchCause::SignatureBad || why.cause == FetchCause::SignatureMissing)
                << FetchFailureText(why);
    }
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

// The self-update of a signed build starts only a setup signed with the key;
// one without a signature or signed by another key is deleted and the
// failure reported.
TEST_F(UpdateServerTest, SignedStartsOnlyASignedSetup) {
    ASSERT_TRUE(WriteBytes(Served("version.inf"), "3.000\r\n"));
    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_security.exe").c_str(), Served("setup.exe").c_str(), FALSE));
    const std::string local = program.dir.File("update.exe");
    for (bool foreign : {false, true}) {
        SCOPED_TRACE(foreign ? "a signature by another key" : "no signature");
        if (foreign) Sign(prefix + "/update/setup.exe", "foreign");
        EXPECT_EQ(Check({IDYES, IDNO}), 1);
        EXPECT_EQ(texts.size() == 2 ? texts[1] : "",
                  "다운로드에 실패하였습니다. 홈페이지에서 직접 다운로드 받으시기 바랍니다");
        EXPECT_FALSE(FileExists(local));
        EXPECT_TRUE(::IsWindow(host.GetHwnd()));
    }
    Started(2);  // the home page, twice
    Sign(prefix + "/update/setup.exe");
    EXPECT_EQ(Check({IDYES}), 1);
    int setups = 0;
    for (const std::string& line : Started(4)) setups += line.find("update.exe") != std::string::npos;
    EXPECT_EQ(setups, 1);
    EXPECT_FALSE(::IsWindow(host.GetHwnd()));
}

}  // namespace

// Why getting a file failed, at which stage, with the number that says it
// (a Win32 or WinINet error, an HTTP status, byte counts), and the words the
// run log and the diagnostic output give it. Filled by whatever fetched the
// file (net/), read by the run and the retrieval; the windows keep their
// own short texts ("다운로드 실패.").
#pragma once
#include <string>

enum class FetchCause {
    None,              // the file is here (and verified, where it had to be)
    UnsafeName,        // the catalog's file name would leave UPDATES: nothing was asked
    NotPinned,         // the build checks every installer, and the catalog pins none
    Connection,        // no connection, or the request could not be sent (code)
    TimeLimit,         // nothing came for the network time limit (code)
    HttpStatus,        // the server answered with a status outside 200-299 (code)
    ShortBody,         // the body ended before its announced length (got of expected)
    DiskWrite,         // the file could not be created, written or put in place (code)
    NoSpace,           // larger than the free space where it goes (expected, got = free)
    SignatureMissing,  // its signature could not be had (inner: how that fetch failed)
    SignatureBad,      // the signature is not the trust key's over these bytes
    DigestMismatch,    // the bytes are not the ones the catalog pins
    NotInRepository,   // the repository folder holds no such file (where)
    RepositoryRead,    // the repository's file could not be read (code)
    NotACatalog,       // what arrived has no [INFO] LANGUAGE: no catalog (where)
};

struct FetchFailure {
    FetchCause cause = FetchCause::None;
    unsigned long code = 0;         // Win32/WinINet error, or HTTP status
    std::string systemText;         // Windows' own words for `code`, when it has some
    unsigned long long got = 0;     // bytes received (ShortBody), free bytes (NoSpace)
    unsigned long long expected = 0;  // bytes announced or needed
    std::string where;              // the address or path concerned
    // For SignatureMissing: how the signature's own fetch failed.
    FetchCause innerCause = FetchCause::None;

    bool Failed() const { return cause != FetchCause::None; }
};

// The failure in plain words with its number, one line without a line end,
// e.g. "서버가 파일 대신 오류를 보냈습니다 (HTTP 404)"; empty for no failure.
std::string FetchFailureText(const FetchFailure& failure);

// The run log's line for it: "    원인: <text>" (FetchFailureLine without
// the line end, FetchFailureLogLine with "\r\n"); empty for no failure.
std::string FetchFailureLine(const FetchFailure& failure);
std::string FetchFailureLogLine(const FetchFailure& failure);

// The one fetch-and-verify of the program: the catalog retrieval, the
// self-update and every installer of a run get their files through it.
// It fetches the file from the source (and its signature, where the rule
// asks for one), opens it denying every writer, checks it, and hands back
// the open handle, so the bytes checked stay the bytes used until the
// caller has copied or started them. A failure names its cause.
#pragma once
#include <string>

#include "core/FetchFailure.h"
#include "core/UpdateFiles.h"
#include "net/Source.h"
#include "win/Handle.h"

struct VerifyRule {
    enum class Kind {
        None,       // nothing to check: the file is taken as it arrives
        Signature,  // a ".sig" beside it must carry the trust key's signature
        Digest,     // its SHA-256 must be `digest`
    };
    Kind kind = Kind::None;
    Sha256Digest digest{};

    static VerifyRule Signed() { return VerifyRule{Kind::Signature, {}}; }
    static VerifyRule Pinned(const Sha256Digest& digest) { return VerifyRule{Kind::Digest, digest}; }
};

struct FetchedFile {
    FetchFailure failure;            // FetchCause::None: fetched and verified
    KernelHandle held;               // the file, open against writers (after a check)
    unsigned long long resumedFrom = 0;
    bool Ok() const { return !failure.Failed(); }
};

// Fetches `resource` into `localPath` and checks it by `rule`. A file that
// fails its check is deleted when `deleteRefused`; so is every signature
// fetched for the check, which is only needed for it.
FetchedFile FetchVerified(FileSource& source, const Resource& resource, const std::string& localPath,
                          const VerifyRule& rule, const TransferProgress& progress = TransferProgress(),
                          const TransferOptions& options = TransferOptions(), bool deleteRefused = true);

// Checks the file already at `localPath` by `rule` (a signature is fetched
// from `source`), without fetching it.
FetchedFile VerifyInPlace(FileSource& source, const Resource& resource, const std::string& localPath,
                          const VerifyRule& rule, bool deleteRefused = true);

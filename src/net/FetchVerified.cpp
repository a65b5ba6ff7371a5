// Fetching and verifying (see FetchVerified.h).
#include "net/FetchVerified.h"

#include "trust/Verify.h"

FetchedFile VerifyInPlace(FileSource& source, const Resource& resource, const std::string& localPath,
                          const VerifyRule& rule, bool deleteRefused) {
    FetchedFile file;
    if (rule.kind == VerifyRule::Kind::None) return file;

    std::string signature;
    if (rule.kind == VerifyRule::Kind::Signature) {
        signature = localPath + ".sig";
        const TransferResult fetched = source.Fetch(resource.Signature(), signature, TransferProgress());
        if (fetched.failure.Failed()) {
            file.failure = fetched.failure;
            file.failure.innerCause = fetched.failure.cause;
            file.failure.cause = FetchCause::SignatureMissing;
            ::DeleteFileA(signature.c_str());
            if (deleteRefused) ::DeleteFileA(localPath.c_str());
            return file;
        }
    }
    file.held.Reset(OpenDenyingWriters(localPath));
    bool verified = false;
    if (rule.kind == VerifyRule::Kind::Signature) {
        verified = FileIsSigned(file.held.Get(), signature);
        ::DeleteFileA(signature.c_str());
        if (!verified) file.failure.cause = FetchCause::SignatureBad;
    } else {
        Sha256Digest actual{};
        verified = HashFile(file.held.Get(), actual) && actual == rule.digest;
        if (!verified) file.failure.cause = FetchCause::DigestMismatch;
    }
    if (!verified) {
        file.failure.where = localPath;
        file.held.Close();
        if (deleteRefused) ::DeleteFileA(localPath.c_str());
    }
    return file;
}

FetchedFile FetchVerified(FileSource& source, const Resource& resource, const std::string& localPath,
                          const VerifyRule& rule, const TransferProgress& progress,
                          const TransferOptions& options, bool deleteRefused) {
    const TransferResult fetched = source.Fetch(resource, localPath, progress, options);
    if (fetched.failure.Failed()) {
        FetchedFile file;
        file.failure = fetched.failure;
        file.resumedFrom = fetched.resumedFrom;
        return file;
    }
    FetchedFile file = VerifyInPlace(source, resource, localPath, rule, deleteRefused);
    file.resumedFrom = fetched.resumedFrom;
    return file;
}

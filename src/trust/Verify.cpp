// File checks (see Verify.h): the bytes come from the file functions, the
// hashing and the signature check from core/Crypto (libgcrypt), so they work
// alike on every Windows the program supports.
#include "trust/Verify.h"

#include <vector>

#include "core/Crypto.h"
#include "win/Handle.h"
#include "win/WholeFile.h"
#include "trust/TrustKey.h"

namespace {

// Feeds everything `file` holds, from its start, to `hash`.
bool HashWholeFile(HANDLE file, Sha256& hash) {
    if (file == INVALID_HANDLE_VALUE || !file) return false;
    if (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    std::vector<unsigned char> block(64 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, nullptr))
            return false;
        if (got == 0) return true;
        if (!hash.Add(block.data(), got)) return false;
    }
}

RsaPublicKey TrustKey() {
    RsaPublicKey key;
    key.modulus = kTrustKeyModulus;
    key.modulusSize = kTrustKeyModulusSize;
    key.exponent = kTrustKeyExponent;
    key.exponentSize = kTrustKeyExponentSize;
    return key;
}

}  // namespace

bool SignedBuild() { return kTrustKeyModulusSize > 0; }

bool HashFile(HANDLE file, Sha256Digest& digest) {
    Sha256 hash;
    return HashWholeFile(file, hash) && hash.Finish(digest);
}

bool FileIsSigned(HANDLE file, const std::string& signaturePath) {
    if (!SignedBuild()) return false;
    std::string signature;
    {
        KernelHandle signatureFile(OpenDenyingWriters(signaturePath));
        if (!ReadWholeFile(signatureFile.Get(), signature, 4096) || signature.empty())
            return false;
    }
    Sha256Digest digest;
    return HashFile(file, digest) &&
           RsaSignatureVerifies(digest, reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                                TrustKey());
}

HANDLE OpenDenyingWriters(const std::string& path) {
    return ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool FileHasDigest(const std::string& path, const Sha256Digest& digest) {
    KernelHandle file(OpenDenyingWriters(path));
    Sha256Digest actual;
    return HashFile(file.Get(), actual) && actual == digest;
}

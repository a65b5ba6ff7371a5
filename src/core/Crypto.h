// SHA-256 and RSA signature checks for what the program downloads and runs,
// on every Windows it supports and natively alike. The arithmetic is
// libgcrypt's: the system's CryptoAPI has no SHA-256 before Windows XP SP3,
// and cryptography is not something to write here. Every failure, of the
// library or of the input, answers "does not verify".
//
// libgcrypt is started on first use, once per process, from whichever
// thread comes first (the run window hashes on its workers), without secure
// memory: only public keys and digests pass through here.
#pragma once
#include <cstddef>

#include "core/UpdateFiles.h"

struct gcry_md_handle;

// A SHA-256 fed piece by piece. A hash that could not be set up takes
// nothing and gives no digest.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // Adds `size` bytes; false when the hash is not usable (not set up, or
    // already finished).
    bool Add(const void* data, std::size_t size);
    // The digest of everything added; false (and `digest` untouched) when the
    // hash is not usable. A finished hash takes nothing more.
    bool Finish(Sha256Digest& digest);

private:
    gcry_md_handle* m_handle = nullptr;
};

// The digest of `size` bytes at `data` in one piece.
bool Sha256Of(const void* data, std::size_t size, Sha256Digest& digest);

// The key lengths accepted, in bits of the modulus: shorter keys are too weak
// to trust, longer ones are not published by anyone the program trusts.
constexpr unsigned kRsaKeyMinimumBits = 2048;
constexpr unsigned kRsaKeyMaximumBits = 4096;

// An RSA public key as two unsigned big-endian numbers (leading zero bytes
// allowed), e.g. the build's trust key (trust/TrustKey.h).
struct RsaPublicKey {
    const unsigned char* modulus = nullptr;
    std::size_t modulusSize = 0;
    const unsigned char* exponent = nullptr;
    std::size_t exponentSize = 0;
};

// True when `signature` is an RSA PKCS#1 v1.5 signature of the SHA-256
// `digest` by `key`, in the raw form `openssl dgst -sha256 -sign` writes:
// exactly as many bytes as the modulus, most significant first, and a number
// below the modulus. False for anything else, including a key outside
// kRsaKeyMinimumBits..kRsaKeyMaximumBits or with an exponent that is even or
// below 3.
bool RsaSignatureVerifies(const Sha256Digest& digest, const unsigned char* signature,
                          std::size_t signatureSize, const RsaPublicKey& key);

// The same for the signature of the `size` bytes at `data`.
bool RsaSignatureVerifiesBytes(const void* data, std::size_t size,
                               const unsigned char* signature, std::size_t signatureSize,
                               const RsaPublicKey& key);

// CryptoAPI checks (see Verify.h). Uses only advapi32's CryptoAPI and the
// file functions; the provider is the system's RSA and AES one, the first
// that offers SHA-256.
#include "trust/Verify.h"

#include <wincrypt.h>

#include <algorithm>

#include "registry/Handles.h"
#include "trust/TrustKey.h"

#ifndef CALG_SHA_256
#define CALG_SHA_256 0x0000800c
#endif
#ifndef PROV_RSA_AES
#define PROV_RSA_AES 24
#endif

namespace {

class Provider {
public:
    Provider() {
        if (!::CryptAcquireContextA(&m_handle, nullptr, nullptr, PROV_RSA_AES,
                                    CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
            m_handle = 0;
    }
    ~Provider() {
        if (m_handle) ::CryptReleaseContext(m_handle, 0);
    }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
    HCRYPTPROV Get() const { return m_handle; }

private:
    HCRYPTPROV m_handle = 0;
};

class Hash {
public:
    explicit Hash(HCRYPTPROV provider) {
        if (!provider || !::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &m_handle)) m_handle = 0;
    }
    ~Hash() {
        if (m_handle) ::CryptDestroyHash(m_handle);
    }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;
    HCRYPTHASH Get() const { return m_handle; }
    bool Add(const unsigned char* data, DWORD size) {
        return m_handle && ::CryptHashData(m_handle, data, size, 0);
    }
    bool Digest(Sha256Digest& digest) {
        DWORD size = static_cast<DWORD>(digest.size());
        return m_handle && ::CryptGetHashParam(m_handle, HP_HASHVAL, digest.data(), &size, 0) &&
               size == digest.size();
    }

private:
    HCRYPTHASH m_handle = 0;
};

class Key {
public:
    Key(HCRYPTPROV provider, const unsigned char* blob, DWORD size) {
        if (!provider || size == 0 || !::CryptImportKey(provider, blob, size, 0, 0, &m_handle))
            m_handle = 0;
    }
    ~Key() {
        if (m_handle) ::CryptDestroyKey(m_handle);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HCRYPTKEY Get() const { return m_handle; }

private:
    HCRYPTKEY m_handle = 0;
};


// Feeds everything `file` holds, from its start, to `hash`.
bool HashWholeFile(HANDLE file, Hash& hash) {
    if (file == INVALID_HANDLE_VALUE || !file || !hash.Get()) return false;
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

}  // namespace

bool SignedBuild() { return kTrustKeyBlobSize > 0; }

bool HashFile(HANDLE file, Sha256Digest& digest) {
    Provider provider;
    Hash hash(provider.Get());
    return HashWholeFile(file, hash) && hash.Digest(digest);
}

bool ReadWholeFile(HANDLE file, std::vector<unsigned char>& content, size_t limit) {
    content.clear();
    if (file == INVALID_HANDLE_VALUE || !file) return false;
    if (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    DWORD high = 0;
    const DWORD low = ::GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return false;
    if (high != 0 || low > limit) return false;
    content.resize(low);
    DWORD got = 0;
    if (low > 0 && (!::ReadFile(file, content.data(), low, &got, nullptr) || got != low))
        return false;
    return true;
}

bool FileIsSigned(HANDLE file, const std::string& signaturePath) {
    if (!SignedBuild()) return false;
    std::vector<unsigned char> signature;
    {
        KernelHandle signatureFile(OpenDenyingWriters(signaturePath));
        if (!ReadWholeFile(signatureFile.Get(), signature, 4096) || signature.empty())
            return false;
    }
    Provider provider;
    Key key(provider.Get(), kTrustKeyBlob, kTrustKeyBlobSize);
    Hash hash(provider.Get());
    if (!key.Get() || !HashWholeFile(file, hash)) return false;
    // openssl writes the signature most significant byte first; CryptoAPI
    // reads it least significant byte first.
    std::vector<unsigned char> reversed(signature.rbegin(), signature.rend());
    return ::CryptVerifySignatureA(hash.Get(), reversed.data(),
                                   static_cast<DWORD>(reversed.size()), key.Get(), nullptr,
                                   0) != FALSE;
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

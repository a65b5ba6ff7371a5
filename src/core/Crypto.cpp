// SHA-256 and RSA signature checks through libgcrypt (see Crypto.h).
#include "core/Crypto.h"

#include <gcrypt.h>

#include <cstring>

namespace {

// libgcrypt wants one start before anything else uses it: the version check
// sets it up, secure memory is switched off (nothing secret passes through
// here, and on Windows it would only try to lock pages), and finishing the
// start lets every thread use it. A function-local static runs this once
// even when two threads ask at the same moment, under either thread model
// of the compiler.
bool LibraryReady() {
    static const bool ready = [] {
        if (!gcry_check_version(GCRYPT_VERSION)) return false;
        if (gcry_control(GCRYCTL_DISABLE_SECMEM, 0) != 0) return false;
        return gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0) == 0;
    }();
    return ready;
}

class Mpi {
public:
    Mpi() = default;
    ~Mpi() { gcry_mpi_release(m_value); }
    Mpi(const Mpi&) = delete;
    Mpi& operator=(const Mpi&) = delete;
    // Reads `size` (> 0) unsigned big-endian bytes; false on any error.
    bool Read(const unsigned char* bytes, std::size_t size) {
        return gcry_mpi_scan(&m_value, GCRYMPI_FMT_USG, bytes, size, nullptr) == 0 && m_value;
    }
    gcry_mpi_t Get() const { return m_value; }

private:
    gcry_mpi_t m_value = nullptr;
};

class Sexp {
public:
    Sexp() = default;
    ~Sexp() { gcry_sexp_release(m_value); }
    Sexp(const Sexp&) = delete;
    Sexp& operator=(const Sexp&) = delete;
    gcry_sexp_t* Out() { return &m_value; }
    gcry_sexp_t Get() const { return m_value; }

private:
    gcry_sexp_t m_value = nullptr;
};

// A number without its leading zero bytes.
struct Number {
    const unsigned char* bytes;
    std::size_t size;
    Number(const unsigned char* data, std::size_t length) : bytes(data), size(data ? length : 0) {
        while (size > 0 && *bytes == 0) {
            ++bytes;
            --size;
        }
    }
    std::size_t Bits() const {
        if (size == 0) return 0;
        std::size_t bits = (size - 1) * 8;
        for (unsigned top = bytes[0]; top != 0; top >>= 1) ++bits;
        return bits;
    }
};

}  // namespace

Sha256::Sha256() {
    gcry_md_hd_t handle = nullptr;
    if (LibraryReady() && gcry_md_open(&handle, GCRY_MD_SHA256, 0) == 0) m_handle = handle;
}

Sha256::~Sha256() {
    if (m_handle) gcry_md_close(m_handle);
}

bool Sha256::Add(const void* data, std::size_t size) {
    if (!m_handle) return false;
    if (size > 0) gcry_md_write(m_handle, data, size);
    return true;
}

bool Sha256::Finish(Sha256Digest& digest) {
    if (!m_handle) return false;
    const unsigned char* value = gcry_md_read(m_handle, GCRY_MD_SHA256);
    const bool done = value && gcry_md_get_algo_dlen(GCRY_MD_SHA256) == digest.size();
    if (done) std::memcpy(digest.data(), value, digest.size());
    gcry_md_close(m_handle);
    m_handle = nullptr;
    return done;
}

bool Sha256Of(const void* data, std::size_t size, Sha256Digest& digest) {
    Sha256 hash;
    return hash.Add(data, size) && hash.Finish(digest);
}

bool RsaSignatureVerifies(const Sha256Digest& digest, const unsigned char* signature,
                          std::size_t signatureSize, const RsaPublicKey& key) {
    const Number modulus(key.modulus, key.modulusSize);
    const Number exponent(key.exponent, key.exponentSize);
    const std::size_t bits = modulus.Bits();
    if (bits < kRsaKeyMinimumBits || bits > kRsaKeyMaximumBits) return false;
    // An even exponent is no RSA key; 1 would make every padded digest its
    // own signature.
    if (exponent.size == 0 || exponent.size > modulus.size) return false;
    if ((exponent.bytes[exponent.size - 1] & 1) == 0 || (exponent.size == 1 && exponent.bytes[0] < 3))
        return false;
    // openssl writes every signature at the modulus' full length, leading
    // zero bytes included: any other length was cut or padded on the way.
    if (!signature || signatureSize != modulus.size) return false;
    if (!LibraryReady()) return false;

    Mpi n, e, s;
    if (!n.Read(modulus.bytes, modulus.size) || !e.Read(exponent.bytes, exponent.size)) return false;
    // All zero bytes leave no digits: zero is nobody's signature.
    const Number value(signature, signatureSize);
    if (value.size == 0 || !s.Read(value.bytes, value.size)) return false;
    // A signature at or above the modulus is not one (s + n would otherwise
    // verify as well as s).
    if (gcry_mpi_cmp(s.Get(), n.Get()) >= 0) return false;

    Sexp keyExpression, signatureExpression, dataExpression;
    if (gcry_sexp_build(keyExpression.Out(), nullptr, "(public-key (rsa (n %m) (e %m)))", n.Get(),
                        e.Get()) != 0)
        return false;
    if (gcry_sexp_build(signatureExpression.Out(), nullptr, "(sig-val (rsa (s %m)))", s.Get()) != 0)
        return false;
    if (gcry_sexp_build(dataExpression.Out(), nullptr, "(data (flags pkcs1) (hash sha256 %b))",
                        static_cast<int>(digest.size()), digest.data()) != 0)
        return false;
    return gcry_pk_verify(signatureExpression.Get(), dataExpression.Get(), keyExpression.Get()) == 0;
}

bool RsaSignatureVerifiesBytes(const void* data, std::size_t size,
                               const unsigned char* signature, std::size_t signatureSize,
                               const RsaPublicKey& key) {
    Sha256Digest digest;
    return Sha256Of(data, size, digest) && RsaSignatureVerifies(digest, signature, signatureSize, key);
}

// Checking what the program runs: the SHA-256 digest of a file, and RSA
// signatures (PKCS#1 v1.5 over SHA-256, the raw bytes
// `openssl dgst -sha256 -sign` writes) made with the build's trust key. The
// arithmetic is core/Crypto's (libgcrypt, linked in), not the system's
// CryptoAPI, which has no SHA-256 before Windows XP SP3. Every failure
// counts as "does not verify".
//
// Layer: trust/ may use registry and core; no window code.
#pragma once
#include <windows.h>

#include <string>

#include "core/UpdateFiles.h"

// True when the build carries a trust key: catalogs and the setup program
// must then be signed, and every installer pinned.
bool SignedBuild();

// The SHA-256 digest of everything `file` holds, read from its start.
bool HashFile(HANDLE file, Sha256Digest& digest);

// True when the file open as `file` carries the trust key's signature in the
// file at `signaturePath` (at most 4096 bytes). False in an unsigned build.
bool FileIsSigned(HANDLE file, const std::string& signaturePath);

// Opens `path` for reading while denying every writer, so the bytes checked
// stay the bytes used until the handle is closed. INVALID_HANDLE_VALUE when
// it cannot be opened.
HANDLE OpenDenyingWriters(const std::string& path);

// True when the file at `path` (opened denying writers) has `digest`.
bool FileHasDigest(const std::string& path, const Sha256Digest& digest);

// The key the program trusts, linked in from a library generated at
// configure time (cmake/TrustKey.cmake): a PUBLICKEYBLOB for CryptImportKey,
// or nothing at all (size 0) in an unsigned build.
#pragma once

extern const unsigned char kTrustKeyBlob[];
extern const unsigned kTrustKeyBlobSize;

// The key the program trusts, linked in from a source generated at
// configure time (cmake/TrustKey.cmake): the RSA modulus and public exponent
// as big-endian bytes, or nothing at all (both sizes 0) in an unsigned build.
#pragma once

extern const unsigned char kTrustKeyModulus[];
extern const unsigned kTrustKeyModulusSize;
extern const unsigned char kTrustKeyExponent[];
extern const unsigned kTrustKeyExponentSize;

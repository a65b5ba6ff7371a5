// Portable text reading shared by every reader of catalog, server and
// version-resource text: numbers, and names compared in any letter case. One digit scanner underlies them all; they differ
// only in what they skip first and whether a sign counts.
//
// Layer: core/ uses the C++ standard library only: no Windows header, nothing else of the program.
#pragma once
#include <cstddef>
#include <string>

// The decimal digits at `text` (after leading white space when
// `skipBlanks`), up to the first other character, held at `limit` once the
// value would pass it. `*end`, when given, is set after the last digit read.
unsigned long long ScanDecimal(const char* text, const char* stop, bool skipBlanks,
                               unsigned long long limit, const char** end = nullptr);

// The standard text-to-integer conversion: leading blanks skipped, an
// optional sign, decimal digits up to the first other character; no digits
// give 0. Values beyond the range of int are clamped.
int CatalogToInt(const std::string& text);

// The Content-Length text as a number: leading white space skipped, decimal
// digits up to the first other character (no sign), 0 without digits,
// LONG_MAX when the value does not fit.
long ParseContentLength(const char* text);

// A version text read as one number: its dots dropped and the rest read as
// CatalogToInt reads it ("2.001" is 2001).
int VersionNumber(const std::string& text);

// True when `a` and `b` are equal with the letters A-Z taken in either case
// (every other byte, CP949 ones included, compared as it is).
bool EqualsIgnoringAsciiCase(const std::string& a, const char* b);

// The bytes of `hex`, two hexadecimal digits (either case) to a byte; false,
// with `bytes` left as it was, for an odd length or any other character.
bool DecodeHex(const std::string& hex, std::string& bytes);

// `count` bytes written as two hexadecimal digits each, in upper or lower case.
std::string HexText(const unsigned char* bytes, std::size_t count, bool upperCase);

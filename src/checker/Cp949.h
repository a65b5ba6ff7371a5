// CP949 text on the host: which bytes of a catalog are no CP949 character,
// and catalog text turned into UTF-8 for the terminal. Conversions go
// through the C library's iconv, whose CP949 table is the one the host has.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Where `bytes` is no CP949 text: the offset of each byte that starts no
// character (a lone or badly followed lead byte, a byte no character starts
// with, a NUL byte), at most `limit` of them; `total` receives how many
// there are in all.
std::vector<std::size_t> InvalidCp949(const std::string& bytes, std::size_t limit,
                                      std::size_t& total);

// `text` in UTF-8 for printing: CP949 characters converted, every other
// byte and every control character written as \xNN.
std::string ForDisplay(const std::string& text);

// `utf8` as CP949. False (and `cp949` untouched) when it is not UTF-8 or
// holds a character CP949 lacks.
bool Utf8ToCp949(const std::string& utf8, std::string& cp949);

// The 1-based line of `bytes` that holds `offset`, lines ending as the
// profile reader ends them (CR LF, LF or a lone CR).
int LineAtOffset(const std::string& bytes, std::size_t offset);

// Continuing an interrupted download: the Range request for the rest of a
// file, and the check that a 206 reply's Content-Range is exactly that rest.
#pragma once
#include <string>

// "Range: bytes=FROM-\r\n", the request header for everything from byte
// `from` (counted from 0) on.
std::string RangeHeader(unsigned long long from);

// True when `contentRange` (the header's value) is "bytes FROM-LAST/TOTAL"
// with FROM = `from`, LAST = `total` - 1 and TOTAL = `total`: the rest of
// the file of the size the server gave before. Anything else (another
// range, an unknown total "*", extra text, numbers that overflow) is false.
bool ContentRangeMatches(const std::string& contentRange, unsigned long long from,
                         unsigned long long total);

// Range requests (see HttpRange.h).
#include "core/HttpRange.h"

#include <climits>

#include "core/Text.h"

std::string RangeHeader(unsigned long long from) {
    return "Range: bytes=" + std::to_string(from) + "-\r\n";
}

namespace {

// Reads the digits at `at` into `value`; false when there are none or they
// overflow.
bool Number(const std::string& text, std::size_t& at, unsigned long long& value) {
    const std::size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        const unsigned digit = static_cast<unsigned>(text[at] - '0');
        if (value > (ULLONG_MAX - digit) / 10) return false;
        value = value * 10 + digit;
        ++at;
    }
    return at > start;
}

}  // namespace

bool ContentRangeMatches(const std::string& contentRange, unsigned long long from,
                         unsigned long long total) {
    if (total == 0 || from >= total) return false;
    const std::string unit = "bytes ";
    if (contentRange.size() <= unit.size() || !EqualsIgnoringAsciiCase(contentRange.substr(0, unit.size()), "bytes "))
        return false;
    std::size_t at = unit.size();
    unsigned long long first = 0, last = 0, size = 0;
    if (!Number(contentRange, at, first) || at >= contentRange.size() || contentRange[at++] != '-') return false;
    if (!Number(contentRange, at, last) || at >= contentRange.size() || contentRange[at++] != '/') return false;
    if (!Number(contentRange, at, size) || at != contentRange.size()) return false;
    return first == from && last == total - 1 && size == total;
}

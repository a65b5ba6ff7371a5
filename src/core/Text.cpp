// Number reading (see Text.h).
#include "core/Text.h"

#include <climits>
#include <cstring>

namespace {
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

unsigned long long ScanDecimal(const char* text, const char* stop, bool skipBlanks,
                               unsigned long long limit, const char** end) {
    if (!text) return 0;
    while (skipBlanks && text != stop && IsBlank(*text)) ++text;
    unsigned long long value = 0;
    for (; text != stop && *text >= '0' && *text <= '9'; ++text) {
        const unsigned digit = static_cast<unsigned>(*text - '0');
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    if (end) *end = text;
    return value;
}

int CatalogToInt(const std::string& text) {
    const char* at = text.c_str();
    const char* stop = at + text.size();
    while (at != stop && IsBlank(*at)) ++at;
    bool negative = false;
    if (at != stop && (*at == '+' || *at == '-')) negative = *at++ == '-';
    const unsigned long long limit = negative ? 1ULL + INT_MAX : static_cast<unsigned long long>(INT_MAX);
    const unsigned long long value = ScanDecimal(at, stop, false, limit);
    return negative ? static_cast<int>(-static_cast<long long>(value)) : static_cast<int>(value);
}

long ParseContentLength(const char* text) {
    if (!text) return 0;
    return static_cast<long>(ScanDecimal(text, text + std::strlen(text), true, LONG_MAX));
}

int VersionNumber(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (c != '.') digits += c;
    return CatalogToInt(digits);
}

bool EqualsIgnoringAsciiCase(const std::string& a, const char* b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return i == a.size() && b[i] == '\0';
}

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

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool DecodeHex(const std::string& hex, std::string& bytes) {
    if (hex.size() % 2 != 0) return false;
    std::string decoded;
    decoded.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]), low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        decoded.push_back(static_cast<char>(high * 16 + low));
    }
    bytes.swap(decoded);
    return true;
}

std::string HexText(const unsigned char* bytes, std::size_t count, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    text.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

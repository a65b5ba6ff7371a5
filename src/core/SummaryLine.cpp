// The texts the inventory shows: the language edition name and the system
// summary line. Pure formatting, byte for byte as the main window shows it.
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "core/SummaryLine.h"

namespace {

const char kKoreanEdition[] = "한글판";
const char kEnglishEdition[] = "영문판";
const char kUnknownEdition[] = "알 수 없음";

const char kSummaryFormat[] =
    "운영체제 코드 : %d (%d 비트, %s(%d)), 서비스 팩 %d, 인터넷 익스플로러 %d, "
    "윈도우즈 미디어 플레이어 %s, %s, %s, %s, %s";
const char kIisVersionFormat[] = "IIS 버전 : %d";
const char kIisMissing[] = "IIS 가 설치되지 않음";
const char kSnmpInstalled[] = "SNMP 설치됨";
const char kSnmpMissing[] = "SNMP 설치되지 않음";
const char kDotNetFormat[] = "닷넷 프레임워크 %d.%d 설치됨";
const char kDotNetMissing[] = "닷넷 프레임워크 설치되지 않음";
const char kMediaFormatFormat[] = "윈도우즈 미디어 포맷 %d 설치됨";
const char kMediaFormatMissing[] = "윈도우즈 미디어 포맷 설치되지 않음";

constexpr int kPrimaryLanguageMask = 0x3FF;
constexpr int kLangKorean = 0x12;
constexpr int kLangEnglish = 0x09;

// printf-style formatting into a string of whatever length the text needs.
std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

}  // namespace

std::string GetLanguageName(int languageId) {
    switch (languageId & kPrimaryLanguageMask) {
    case kLangKorean: return kKoreanEdition;
    case kLangEnglish: return kEnglishEdition;
    default: return kUnknownEdition;
    }
}

std::string FormatSummaryLine(const SystemProfile& p, const std::string& wmpText, bool iisFound,
                              bool snmpFound, int dotNetResult, bool wmfFound) {
    std::string iis = iisFound ? Format(kIisVersionFormat, p.iisVersion) : kIisMissing;
    std::string snmp = snmpFound ? kSnmpInstalled : kSnmpMissing;
    std::string dotNet = dotNetResult == -1
                             ? kDotNetMissing
                             : Format(kDotNetFormat, p.dotNetVersion / 10, p.dotNetVersion % 10);
    std::string wmf = wmfFound ? Format(kMediaFormatFormat, p.wmfMajor) : kMediaFormatMissing;
    return Format(kSummaryFormat, p.osCode, p.osBits, GetLanguageName(p.languageId).c_str(),
                  p.languageId & kPrimaryLanguageMask, p.servicePack, p.ieVersion, wmpText.c_str(),
                  iis.c_str(), snmp.c_str(), dotNet.c_str(), wmf.c_str());
}

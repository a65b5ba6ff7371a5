// Version-text parsing (see VersionText.h).
#include "core/VersionText.h"

#include <climits>

#include "core/Text.h"

int LeadingDecimal(const std::string& text) {
    return static_cast<int>(ScanDecimal(text.c_str(), text.c_str() + text.size(), false, INT_MAX));
}

int ServicePackFromCsd(const std::string& csd) {
    std::string::size_type space = csd.rfind(' ');
    return LeadingDecimal(space == std::string::npos ? csd : csd.substr(space + 1));
}

DottedVersion ParseDottedVersion(const std::string& text) {
    DottedVersion version;
    std::string::size_type pos = 0;
    for (int i = 0; i < 4; ++i) {
        pos = text.find_first_not_of('.', pos);
        if (pos == std::string::npos) break;
        std::string::size_type end = text.find('.', pos);
        version.part[i] = LeadingDecimal(text.substr(pos, end == std::string::npos ? end : end - pos));
        if (end == std::string::npos) break;
        pos = end;
    }
    return version;
}

bool IsVersionAtLeast(const DottedVersion& version, int major, int minor, int build, int revision) {
    const int required[4] = {major, minor, build, revision};
    for (int i = 0; i < 4; ++i) {
        if (version.part[i] != required[i]) return version.part[i] > required[i];
    }
    return true;
}

int NumberAfterLastComma(const std::string& text) {
    std::string::size_type comma = text.rfind(',');
    if (comma == std::string::npos) return -1;
    return LeadingDecimal(text.substr(comma + 1));
}

int MajorFromDottedText(const std::string& text) {
    std::string::size_type dot = text.find('.');
    if (dot == std::string::npos) return 0;
    return LeadingDecimal(text.substr(0, dot));
}

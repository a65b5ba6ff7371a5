// Reading numbers out of the version texts Windows keeps: service-pack texts
// ("Service Pack 3"), dotted versions ("3.0.4506.26"), comma-separated
// component versions ("1,0,3705,3"). Pure text work, shared by the
// OS identification and the component detection.
#pragma once
#include <string>

// The decimal number at the start of `text`: its leading digits, 0 when it
// does not start with a digit (no blanks or signs are skipped). Values beyond
// the range of int are held at its largest value.
int LeadingDecimal(const std::string& text);

// The service pack in a CSD text: the number that starts after its last
// space, or at its start when it has none; 0 when no digit follows.
int ServicePackFromCsd(const std::string& csd);

// The first four "."-separated parts of a version text, as numbers. Runs of
// dots count as one separator and leading dots are skipped; a part that does
// not start with a digit is 0, and missing parts are 0.
struct DottedVersion {
    int part[4] = {0, 0, 0, 0};
};
DottedVersion ParseDottedVersion(const std::string& text);

// True when `version` is at least major.minor.build.revision; the first part
// that differs decides, and equal versions count as at least.
bool IsVersionAtLeast(const DottedVersion& version, int major, int minor, int build, int revision);

// The number after the last comma of `text`; -1 when it holds no comma.
int NumberAfterLastComma(const std::string& text);

// The major version of Internet Explorer from its "Version" text: the part
// before the first dot as a number, 0 when the text has no dot.
int MajorFromDottedText(const std::string& text);

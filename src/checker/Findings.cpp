// Printing findings (see Findings.h).
#include "checker/Findings.h"

#include <algorithm>

const char* KindTag(FindingKind kind) {
    switch (kind) {
    case FindingKind::NotCp949: return "not-cp949";
    case FindingKind::ByteOrderMark: return "byte-order-mark";
    case FindingKind::NoInfo: return "no-info";
    case FindingKind::NoLanguage: return "no-language";
    case FindingKind::LanguageName: return "language-name";
    case FindingKind::Count: return "count";
    case FindingKind::CountLimit: return "count-limit";
    case FindingKind::BeyondCount: return "beyond-count";
    case FindingKind::UnknownSection: return "unknown-section";
    case FindingKind::DuplicateSection: return "duplicate-section";
    case FindingKind::DuplicateKey: return "duplicate-key";
    case FindingKind::IgnoredLine: return "ignored-line";
    case FindingKind::SectionHeader: return "section-header";
    case FindingKind::UnknownKey: return "unknown-key";
    case FindingKind::ReadDifferently: return "read-differently";
    case FindingKind::ServicePackList: return "service-pack-list";
    case FindingKind::RegistryRoot: return "registry-root";
    case FindingKind::NeverRead: return "never-read";
    case FindingKind::ValueCut: return "value-cut";
    case FindingKind::MissingKey: return "missing-key";
    case FindingKind::UnsafeFileName: return "unsafe-filename";
    case FindingKind::SharedFileName: return "shared-filename";
    case FindingKind::MalformedSha256: return "malformed-sha256";
    case FindingKind::NotInTree: return "not-in-tree";
    case FindingKind::NoSha256: return "no-sha256";
    case FindingKind::Sha256Mismatch: return "sha256-mismatch";
    case FindingKind::Signature: return "signature";
    }
    return "finding";
}

std::string FormatFinding(const std::string& file, const Finding& finding) {
    std::string text = file;
    if (finding.line > 0) text += ":" + std::to_string(finding.line);
    text += finding.severity == Severity::Error ? ": error: " : ": warning: ";
    if (!finding.section.empty()) text += "[" + finding.section + "] ";
    return text + finding.message + " (" + KindTag(finding.kind) + ")";
}

bool HasErrors(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.severity == Severity::Error; });
}

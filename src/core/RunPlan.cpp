#include "core/RunPlan.h"

#include "core/RunTexts.h"

RunItem RunItemOf(const RunEntry& entry, const std::string& folder, int number) {
    return RunItem{entry.title, entry.url, UpdateFilePath(folder, entry.fileName), entry.cmdLine,
                   entry.sha256, number, 1};
}

ItemState StateAfter(DownloadResult result) {
    switch (result) {
    case DownloadResult::Fetched:
    case DownloadResult::AlreadyThere: return ItemState::Present;
    case DownloadResult::NotTheFile: return ItemState::Unverified;
    default: return ItemState::Absent;
    }
}

const char* DownloadDoneText(DownloadResult result) {
    switch (StateAfter(result)) {
    case ItemState::Present: return kRunDownloadDone;
    case ItemState::Unverified: return kRunVerifyFailed;
    default: return kRunDownloadFailed;
    }
}

std::string NotInstalledText(ItemState state, int n, int total, const std::string& title) {
    return state == ItemState::Unverified ? VerifyFailedText(n, total, title)
                                          : NotDownloadedText(n, total, title);
}

NextStep AfterDownload(std::size_t finished, std::size_t count, bool cancelAsked) {
    if (cancelAsked) return NextStep::Cancelled;
    return finished + 1 < count ? NextStep::Download : NextStep::Install;
}

DigestRule DigestRuleOf(const std::string& text, bool signedBuild) {
    DigestRule rule;
    rule.required = signedBuild || !text.empty();
    rule.pinned = ParseSha256Hex(text, rule.digest);
    return rule;
}

// The run log's text (see RunLog.h).
#include "core/RunLog.h"

#include <cstdio>

namespace {

const char kEntryMark[] = "==== ";
const char kLineEnd[] = "\r\n";

// Where each entry begins: the mark at the start of the text or of a line.
std::vector<std::size_t> EntryStarts(const std::string& text) {
    std::vector<std::size_t> starts;
    if (text.compare(0, sizeof kEntryMark - 1, kEntryMark) == 0) starts.push_back(0);
    for (std::size_t at = text.find(std::string("\n") + kEntryMark); at != std::string::npos;
         at = text.find(std::string("\n") + kEntryMark, at + 1))
        starts.push_back(at + 1);
    return starts;
}

const char* OutcomeName(int exitCode) {
    switch (exitCode) {
    case kExitDone: return "완료";
    case kExitRestart: return "완료, 다시 시작 필요";
    case kExitFailed: return "실패한 항목 있음";
    case kExitNoCatalog: return "업데이트 목록 없음";
    default: return "알 수 없음";
    }
}

}  // namespace

int RunExitCode(bool catalogMissing, const RunSummary& run) {
    if (catalogMissing) return kExitNoCatalog;
    if (run.failed > 0 || run.cancelled) return kExitFailed;
    return run.restart ? kExitRestart : kExitDone;
}

std::string RunLogHeader(const LocalTime& when, const std::string& version,
                         const std::string& computer, const std::string& osLine) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month,
                  when.day, when.hour, when.minute, when.second);
    return std::string(kEntryMark) + stamp + " | Quellfix " + version +
           (computer.empty() ? std::string() : " | " + computer) + " | " + osLine + " ====";
}

std::string RunLogEntry(const std::string& header, const std::string& windowLog,
                        const std::vector<std::string>& messages, int exitCode) {
    std::string entry = header + kLineEnd + windowLog;
    if (!windowLog.empty() && windowLog.back() != '\n') entry += kLineEnd;
    for (const std::string& message : messages) entry += message + kLineEnd;
    entry += "실행 결과: " + std::string(OutcomeName(exitCode)) + " (" +
             std::to_string(exitCode) + ")" + kLineEnd + kLineEnd;
    return entry;
}

std::string AppendToRunLog(const std::string& existing, bool fromStart, const std::string& entry,
                           std::size_t limit) {
    std::string log = existing;
    if (!fromStart) {
        const std::vector<std::size_t> starts = EntryStarts(log);
        log.erase(0, starts.empty() ? log.size() : starts.front());
    }
    // A log that does not end its last line gets one, so the entry's mark
    // starts a line.
    if (!log.empty() && log.back() != '\n') log += kLineEnd;
    log += entry;
    if (log.size() < limit) return log;

    // Drop whole entries from the front, keeping at least the new one.
    const std::size_t newest = log.size() - entry.size();
    for (std::size_t start : EntryStarts(log)) {
        if (start > newest) break;
        if (log.size() - start < limit) return log.substr(start);
    }
    // The new entry alone is too long: its header, then its newest lines.
    const std::size_t headerEnd = entry.find('\n') + 1;
    if (limit <= headerEnd + 1) return std::string();
    std::size_t cut = entry.size() - (limit - 1 - headerEnd);
    const std::size_t lineStart = entry.find('\n', cut);
    cut = lineStart == std::string::npos ? entry.size() : lineStart + 1;
    return entry.substr(0, headerEnd) + entry.substr(cut);
}

// The run journal (see RunJournal.h).
#include "core/RunJournal.h"

#include "core/Text.h"

namespace {

std::string Field(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return text;
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

// A whole positive number, nothing else.
bool Number(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = CatalogToInt(text);
    return value > 0;
}

}  // namespace

std::string JournalStartLine(const JournalStart& start) {
    return "START\t" + std::to_string(start.entry) + "\t" + std::to_string(start.attempt) + "\t" +
           Field(start.file) + "\t" + Field(start.title) + "\t" + Field(start.url) + "\r\n";
}

std::string JournalEndLine(int entry, const std::string& outcome) {
    return "END\t" + std::to_string(entry) + "\t" + Field(outcome) + "\r\n";
}

std::vector<JournalStart> UnfinishedInstalls(const std::string& journal) {
    std::vector<JournalStart> open;
    std::size_t start = 0;
    while (start < journal.size()) {
        std::size_t end = journal.find('\n', start);
        // A last line without its line end may have been cut while written.
        if (end == std::string::npos) break;
        std::string line = journal.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> fields = Split(line);
        int entry = 0;
        if (fields.size() == 6 && fields[0] == "START" && Number(fields[1], entry)) {
            JournalStart item;
            item.entry = entry;
            if (!Number(fields[2], item.attempt)) item.attempt = 1;
            item.file = fields[3];
            item.title = fields[4];
            item.url = fields[5];
            open.push_back(item);
        } else if (fields.size() == 3 && fields[0] == "END" && Number(fields[1], entry)) {
            for (auto it = open.begin(); it != open.end(); ++it) {
                if (it->entry == entry) {
                    open.erase(it);
                    break;
                }
            }
        }
    }
    return open;
}

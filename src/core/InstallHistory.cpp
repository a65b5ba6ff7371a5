// The unattended run's loop guard (see InstallHistory.h).
#include "core/InstallHistory.h"

#include <set>

InstallHistory InstallHistory::Parse(const std::string& text) {
    InstallHistory history;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0 || tab > 4 || tab + 1 >= line.size()) continue;
        const std::string count = line.substr(0, tab);
        if (count.find_first_not_of("0123456789") != std::string::npos) continue;
        const int claims = std::stoi(count);
        if (claims > 0) history.m_claims[line.substr(tab + 1)] = claims;
    }
    return history;
}

std::string InstallHistory::Text() const {
    std::string text;
    for (const auto& entry : m_claims)
        if (entry.second > 0) text += std::to_string(entry.second) + "\t" + entry.first + "\r\n";
    return text;
}

int InstallHistory::Claims(const std::string& url) const {
    const auto found = m_claims.find(url);
    return found == m_claims.end() ? 0 : found->second;
}

void InstallHistory::Claimed(const std::string& url) {
    int& claims = m_claims[url];
    if (claims < 9999) ++claims;
}

void InstallHistory::Failed(const std::string& url) { m_claims.erase(url); }

void InstallHistory::KeepOnly(const std::vector<std::string>& pending) {
    const std::set<std::string> keep(pending.begin(), pending.end());
    for (auto it = m_claims.begin(); it != m_claims.end();)
        it = keep.count(it->first) ? std::next(it) : m_claims.erase(it);
}

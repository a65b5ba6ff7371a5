// What keeps an unattended run from running the same installer for ever:
// how many runs in a row an update's installer said it succeeded (or asked
// for a restart, or was cut off) while the next evaluation still found the
// update not installed. After kInstallClaimsLimit such runs an unattended
// run leaves the update out and says why; a person can still run it.
//
// Kept in UPDATES\quellfix.history, a line per update ("<claims>\t<URL>",
// CP949, CRLF): the URL names the installer, so a fixed catalog entry (a
// new file) starts afresh.
#pragma once
#include <map>
#include <string>
#include <vector>

constexpr int kInstallClaimsLimit = 3;

class InstallHistory {
public:
    // Reads the file's text; lines that cannot be read are passed over.
    static InstallHistory Parse(const std::string& text);
    std::string Text() const;

    int Claims(const std::string& url) const;
    // True when an unattended run must leave the update of `url` out.
    bool Stops(const std::string& url) const { return Claims(url) >= kInstallClaimsLimit; }
    // One more run in which the installer said it succeeded or was cut off.
    void Claimed(const std::string& url);
    // The installer failed: the row of claims is broken.
    void Failed(const std::string& url);
    // Keeps only the updates in `pending` (the ones the evaluation still
    // finds not installed): an update found installed, or gone from the
    // catalog, is forgotten.
    void KeepOnly(const std::vector<std::string>& pending);
    bool Empty() const { return m_claims.empty(); }

private:
    std::map<std::string, int> m_claims;
};

// The run journal (UPDATES\quellfix.journal): before each installer starts,
// a line says what is about to run; after it ends, a line says how it
// ended. A journal left with a start and no end means the run was cut off
// during that installer (power loss, a forced restart, a killed process):
// the next start tells the run log, and the installation counts as
// unconfirmed. A run that ends normally removes its journal.
//
// Lines, CP949 text with CRLF ends, fields separated by tabs:
//   START <entry> <attempt> <file> <title> <url>
//   END   <entry> <outcome>
// A tab or line end inside a title or file name is written as a blank.
#pragma once
#include <string>
#include <vector>

struct JournalStart {
    int entry = 0;    // the catalog entry number
    int attempt = 1;  // this installer's start since it last counted as installed
    std::string file;
    std::string title;
    std::string url;  // the catalog's URL: what the install history knows it by
};

std::string JournalStartLine(const JournalStart& start);
std::string JournalEndLine(int entry, const std::string& outcome);

// The starts of `journal` that have no end after them, in order. Lines that
// cannot be read (a line cut by the power loss itself) are passed over.
std::vector<JournalStart> UnfinishedInstalls(const std::string& journal);

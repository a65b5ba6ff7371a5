// Appending a run's entry to UPDATES\quellfix.log (the text is made by
// core/RunLog.h). A log that cannot be read or written is skipped: it never
// stops or fails a run.
#pragma once
#include <string>

#include "core/RunLog.h"

// The run log in the program's UPDATES folder.
std::string RunLogPath(const std::string& programDir);
// Appends `entry` to the log at `path`, dropping the oldest runs whole to
// keep the file under its bound. The new file replaces the old one in one
// move, so a failed write leaves the old log as it was.
void AppendRunLogEntry(const std::string& path, const std::string& entry);
// The local time for the entry's header (its computer name: win/Machine.h).
LocalTime CurrentLocalTime();

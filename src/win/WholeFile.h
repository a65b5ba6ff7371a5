// Small files read and written whole: the run records, the key journal, a
// signature. A file is replaced in one move, so that a cut-off write (a
// power cut, a killed process) leaves the old file or the new one, never a
// half of either.
#pragma once
#include <windows.h>

#include <string>

enum class WholeFileRead { Missing, Read, Unreadable };

// Everything the open `file` holds, read from its start; false when it
// cannot be read or holds more than `limit` bytes.
bool ReadWholeFile(HANDLE file, std::string& bytes, DWORD limit);

// The file at `path` into `bytes` (left empty unless it was read): Missing
// when neither it nor its folder exists, Unreadable when it cannot be read
// or holds more than `limit` bytes.
WholeFileRead ReadWholeFileAt(const std::string& path, std::string& bytes, DWORD limit);

// Puts `text` in place of the file at `path`: written and flushed to
// "<path>.new", then moved over it. False, with the file as it was and no
// ".new" left, when a step fails.
bool ReplaceWholeFile(const std::string& path, const std::string& text);

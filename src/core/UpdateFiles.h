// Portable checks of what the catalog says about the files the program
// downloads and runs: whether a FILENAME keeps its file inside the UPDATES
// folder, and the reading of a pinned SHA-256 digest.
#pragma once
#include <array>
#include <cstddef>
#include <string>

// The longest path Windows takes in the ANSI file functions, counted with
// the terminating null: a full path must stay shorter.
constexpr std::size_t kWindowsPathLimit = 260;

// True when `name` names a file directly inside a folder whose full path is
// `folderLength` characters long: not empty, "." or "..", no '\\', '/', ':',
// control character or wildcard ('*', '?', '<', '>', '"', '|'), not ending
// in a dot or blank, not a reserved device name (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, CONIN$, CONOUT$, with or without an extension, any case), and the
// path folder + "\\" + name shorter than kWindowsPathLimit.
bool IsSafeUpdateFileName(const std::string& name, std::size_t folderLength);

// Where the catalog's `name` is downloaded to: `folder` + "\\" + name, or
// empty text when IsSafeUpdateFileName refuses the name.
std::string UpdateFilePath(const std::string& folder, const std::string& name);

using Sha256Digest = std::array<unsigned char, 32>;

// A digest written as exactly 64 hexadecimal digits, either case, nothing
// else. False (and `digest` untouched) for any other text.
bool ParseSha256Hex(const std::string& text, Sha256Digest& digest);

// Where an installer lies in a repository folder (a copy of the update
// server on a stick): "files\H\N", H the first 32 lower-case hexadecimal
// digits of the SHA-256 of the catalog's URL value, N the URL's last part
// (after its last '/', once everything from the first '?' or '#' on is cut
// off) when it is a safe ASCII file name of at most kRepositoryNameLimit
// bytes, "file" otherwise. Distinct URLs never share a folder, and nothing
// can name a place outside the repository. server/mirror.py follows the
// same rule; tests/fixtures/repository_paths.txt holds both to it.
constexpr std::size_t kRepositoryNameLimit = 100;
std::string RepositoryPathOfUrl(const std::string& url);

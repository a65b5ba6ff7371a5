// The key journal (UPDATES\quellfix.keys) as text, and the run log entry of
// the keys it gave back after a crash.
//
// While the key permission repair has opened up a key, the key's previous
// access-control list (DACL) is also kept in this file, so that a process
// that dies before putting it back (a crash, a kill, a power cut) leaves a
// record the next start writes back. The registry layer reads and writes the
// file (registry/KeyJournalFile.h); this is only its text.
//
// One line per changed key, in the order the changes were made, each ended
// by CR LF:
//
//   COMPUTER <TAB> ROOT <TAB> HEX <TAB> PATH
//
// COMPUTER is the name of the computer whose key it is (a program folder on
// a stick is carried from PC to PC, and one PC's DACLs must never be written
// onto another's keys), ROOT the predefined key's full name
// ("HKEY_LOCAL_MACHINE"), HEX the self-relative security descriptor that
// RegGetKeySecurity gave for DACL_SECURITY_INFORMATION, two hex digits a
// byte, and PATH the key's path below the root, CP949 bytes as they are. PATH
// comes last, so it is the rest of the line; no field holds a control byte.
//
// A line that does not read as such an entry (an unknown root, a hex digit
// that is not one, an odd or out-of-range byte count, an empty path, or a
// last line without its line end, which is what a cut-off write leaves) is
// skipped: it is not an entry, and the next rewrite of the file drops it.
//
// Layer: core/ uses the C++ standard library only: no Windows header, nothing else of the program.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

struct KeyJournalEntry {
    std::string computer;
    std::string root;      // a name IsKeyJournalRoot accepts
    std::string path;      // below the root, without a leading backslash
    std::string security;  // the descriptor's bytes
    bool operator==(const KeyJournalEntry& other) const {
        return computer == other.computer && root == other.root && path == other.path &&
               security == other.security;
    }
};

// A self-relative descriptor is at least its 20-byte header; with a DACL of
// the largest size an ACL can state (65,535 bytes) it is at most this.
constexpr std::size_t kKeyJournalMinSecurity = 20;
constexpr std::size_t kKeyJournalMaxSecurity = 20 + 65535;

// HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS,
// HKEY_CURRENT_CONFIG, as written (upper case).
bool IsKeyJournalRoot(const std::string& name);

// True when the entry can be written as a line and read back as it is: a
// known root, a path that is not empty, a descriptor of a size in range, and
// no control byte (below 0x20, or 0x7F) in the computer's name or the path.
// The repair does not change a key it cannot record.
bool CanJournalKey(const KeyJournalEntry& entry);

// The journal's text: one line per entry, in order. Entries CanJournalKey
// refuses are left out.
std::string FormatKeyJournal(const std::vector<KeyJournalEntry>& entries);

// The entries of a journal's text, in order, damaged lines skipped (see
// above). Any bytes give a defined result.
std::vector<KeyJournalEntry> ParseKeyJournal(const std::string& text);

// Removes the last entry equal to `entry` (the newest record of that change);
// false when there is none.
bool RemoveKeyJournalEntry(std::vector<KeyJournalEntry>& entries, const KeyJournalEntry& entry);

// "HKEY_LOCAL_MACHINE\SOFTWARE\...": how the log names a key.
std::string KeyJournalKeyName(const KeyJournalEntry& entry);

// The run log entry written at a start that gave keys back: `header` (made by
// RunLogHeader), one line per key named in `restoredKeys`, in the order they
// were given back (a key recorded twice, by two key objects, is named once),
// and the outcome line of exit code 0.
std::string KeyRestoreLogEntry(const std::string& header, const std::vector<std::string>& restoredKeys);

// The key journal on the disk (UPDATES\quellfix.keys; its text is
// core/KeyJournal.h): what keeps a key permission repair from outliving a
// process that dies while it is in force.
//
// The repair records each key's previous DACL here, on the disk, before it
// changes the key, and the restore takes the record out once the DACL is
// back; so at any moment every changed key has its record. The file is never
// edited where it lies: each change writes the whole new content to
// "<journal>.new", flushes it, and moves it over the journal in one step
// (MoveFileExA, replacing, write-through), so a cut at any point leaves
// either the old journal or the new one, both whole. An empty journal is
// deleted. A crash can leave the ".new" file behind; it is written afresh
// the next time and deleted at the next start.
//
// At the next start the program calls RestoreJournaledKeys, which writes
// back every DACL still recorded for this computer, newest first.
//
// Who can write the program's folder can replace the program itself, so the
// journal is trusted as the program is. Even so the start writes a DACL back
// only onto a key that still holds the one the repair gives (allow entries
// for SYSTEM and Administrators only): a record of a change that never
// happened (the process died between the record and the change) or that
// someone has since undone is dropped without touching the key.
//
// One journal per process, guarded by a lock: every key object of the
// process records into it.
//
// Layer: registry/ uses win/ and core/ only.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Sets the journal file; "" (the default) keeps the journal in memory only,
// as the key object always does (a process that dies with a repair in force
// then leaves it in force). Its folder is made when the first record is
// written.
void SetKeyRepairJournal(const std::string& path);
std::string KeyRepairJournal();

// Before the repair changes the DACL of `path` under `root`: records its
// current self-relative descriptor (`size` bytes) in the journal file, on
// the disk when this returns. TRUE when recorded, or when no journal file is
// set; FALSE when a file is set but the record cannot be made (the file
// cannot be read or written; a root other than the predefined keys; a path
// the file cannot hold): the repair must then leave the key alone.
BOOL JournalKeyChange(HKEY root, const std::string& path, const BYTE* security, DWORD size);

// After the restore wrote `security` back to `key` (open), or found the key
// gone (`key` null): flushes the key to the disk and takes the record out of
// the journal file, deleting the file once it is empty. A record the
// restore could not settle stays for the next start.
void JournalKeyRestored(HKEY key, HKEY root, const std::string& path, const BYTE* security,
                        DWORD size);

// At start, before any key is opened: writes back, newest first, each DACL
// the journal file records for this computer, and appends the name of each
// key given back ("HKEY_LOCAL_MACHINE\\SOFTWARE\\...") to `restoredKeys`.
// Records of other computers stay; so does a record whose key cannot be
// opened for now. A record whose key is gone, holds another DACL than the
// repair's, or whose descriptor is not valid is dropped unused; so are
// damaged lines. The file is deleted once nothing is left in it. Nothing
// happens without a journal file set, or outside the NT family. Returns the
// number of keys given back.
int RestoreJournaledKeys(std::vector<std::string>& restoredKeys);

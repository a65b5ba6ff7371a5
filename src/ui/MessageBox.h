// Message boxes of the program, titled with the application name. The main
// window makes its caption the application name when it opens, so every box
// of the program carries that caption.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

void SetAppName(const std::string& name);
std::string AppName();

// Shows `text` with the application name as title. When `type` names no
// icon, OK boxes get the exclamation icon and Yes/No boxes the question icon.
// In an unattended run (see SetUnattended) nothing is shown: the text is
// kept for the run log and the answer is IDOK, or IDNO for a question.
int ShowMessage(HWND owner, const std::string& text, UINT type = MB_OK);

// Switches the unattended mode on for the rest of the process. Its messages
// are kept in order; TakeUnattendedMessages hands them over and forgets
// them. GUI thread only, like ShowMessage.
void SetUnattended();
std::vector<std::string> TakeUnattendedMessages();
// In an unattended run, keeps `line` for the run log among its messages (a
// cause told before the message it explains); otherwise does nothing.
void KeepForRunLog(const std::string& line);

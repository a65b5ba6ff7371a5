// Message boxes of the program, titled with the application name. The main
// window makes its caption the application name when it opens, so every box
// of the program carries that caption.
#pragma once
#include <windows.h>

#include <string>

void SetAppName(const std::string& name);
std::string AppName();

// Shows `text` with the application name as title. When `type` names no
// icon, OK boxes get the exclamation icon and Yes/No boxes the question icon.
int ShowMessage(HWND owner, const std::string& text, UINT type = MB_OK);

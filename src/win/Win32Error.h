// The one place Win32 and WinINet error codes become words: the system's
// own text of a code, in the ANSI code page, for the run log and the
// diagnostic output ("Win32 error 112: 디스크 공간이 부족합니다.").
#pragma once
#include <string>

// The system's message for `code`, without its line end; WinINet's codes
// (12000-12175) come from wininet.dll's table. Empty when Windows has none.
std::string SystemMessageText(unsigned long code);

// "Win32 error N: message", or "Win32 error N" when there is no message.
std::string Win32ErrorText(unsigned long code);

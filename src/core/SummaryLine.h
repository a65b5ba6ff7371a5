// The texts the inventory shows: the language edition name and the one-line
// system summary of the main window, byte for byte in CP949.
#pragma once
#include <string>

#include "core/SystemProfile.h"

// The Korean edition name for a language identifier, by its primary language:
// "한글판" (Korean), "영문판" (English), else "알 수 없음".
std::string GetLanguageName(int languageId);

// The system summary line from the profile and the detections' results.
std::string FormatSummaryLine(const SystemProfile& p, const std::string& wmpText, bool iisFound,
                              bool snmpFound, int dotNetResult, bool wmfFound);

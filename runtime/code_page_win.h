// The process's ANSI code page as the system reports it.
//
// Texts are bytes in that code page: UTF-8 where the system honours the
// program's manifest (Windows 10 1903 and later), the system's legacy code
// page elsewhere. The system itself counts and converts in UTF-16.
#pragma once

#include <string>
#include <string_view>

// Reads the lead-byte ranges of the process code page from the system and
// hands them to the text and path functions. Called once at start-up,
// before any other thread runs.
void InitCodePage();

// text in UTF-16, as the system converts it from the process code page.
std::wstring SystemWideText(std::string_view text);

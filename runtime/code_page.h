// Characters of the process's ANSI code page.
//
// In the double-byte code pages of East Asian systems (932, 936, 949, 950) a
// lead byte and the byte after it form one character, and that second byte
// may be a backslash, a bracket, a digit or a letter: in code page 932 the
// name "予定表.txt" holds the byte 0x5C, and "ア05F59FA" holds "A05F59FA" from
// its second byte on. Every search for a separator or a checksum in a path
// therefore steps over whole characters and matches only from a character's
// start. In single-byte code pages and in UTF-8 (where every byte of a
// multi-byte character is 0x80 or above) each byte is its own step.
//
// The lead-byte ranges are set once, before any other thread runs: the Win32
// side takes them from the system (GetCPInfo of the process code page), and
// tests set those of the code page they try. None are set at first.
#pragma once

#include <cstddef>
#include <string_view>

// ranges: pairs of bytes (first, last), as the system lists them; an empty
// text means no lead bytes at all. Replaces any earlier setting.
void SetLeadByteRanges(std::string_view ranges);

// Whether c starts a two-byte character.
bool IsLeadByte(unsigned char c);

// The start of the character after the one starting at at. A lead byte at
// the very end of the text (a cut-off character) is a character of its own.
size_t NextCharStart(std::string_view text, size_t at);

// The position of the last character c (a single-byte character) in text, or
// npos.
size_t FindLastChar(std::string_view text, char c);

// Whether the last character of text is c.
bool EndsWithChar(std::string_view text, char c);

// Splitting a whole command line into its parameters.
//
// The program takes file paths on its command line and nothing else, so the
// rules are deliberately simple and have no escapes:
// - tokens are separated by space characters (byte 32 only; a tab is an
//   ordinary character and belongs to the token it is in);
// - a token that starts with a double quote runs to the next double quote (or
//   the end of the line) and does not contain the quotes; scanning goes on
//   right after the closing quote, so a character glued to a closing quote
//   starts the next token: "a b"c gives a b, then c;
// - any other token runs to the next space, and double quotes inside it are
//   ordinary characters: a"b c" gives a"b, then c";
// - two adjacent double quotes are an empty token.
// The first token is the program name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Parameter number index (counted from 0, after the program name) of
// commandLine, or "" when there is no such parameter or index is negative.
// An empty quoted parameter also gives "", so a caller that walks the
// parameters until the first "" stops there.
std::string CommandLineParameter(std::string_view commandLine, int32_t index);

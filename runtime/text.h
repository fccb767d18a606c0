// Text operations shared by every part of the program.
//
// A text is a byte string in the system's ANSI code page. Texts are held in
// std::string; a text that was never assigned is simply "", which is exactly
// how every operation here treats a missing text. All operations are pure
// functions of their arguments: they keep no state and share no scratch
// storage, so any thread may call any of them at any time.
//
// Case-insensitive comparison folds only the ASCII letters A-Z/a-z; every
// other byte, including letters in the upper half of the code page, compares
// exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The texts joined in order: ConcatText(a, " > ", b).
template <typename... Parts>
std::string ConcatText(const Parts&... parts) {
    std::string result;
    result.reserve((std::string_view(parts).size() + ... + 0));
    (result.append(std::string_view(parts)), ...);
    return result;
}

// True when both texts have the same bytes; case-sensitive.
bool TextEquals(std::string_view a, std::string_view b);

// Number of characters.
int32_t TextLength(std::string_view text);

// The text with every occurrence of pattern removed, in a single left-to-right
// pass without overlaps: "aaa" minus "aa" is "a", and "aabcbc" minus "abc" is
// "abc" (an occurrence that only forms once another was removed stays).
// An empty pattern removes nothing and gives the text unchanged. A match
// starts only where a character starts (see code_page.h).
std::string RemoveAllOccurrences(std::string_view text, std::string_view pattern, bool ignoreCase);

// The text right-aligned in exactly width characters: (width - n) copies of
// the first character of fill, then the first n characters of text, where n is
// the text's length cut to width. Width 0 or less gives "". An empty fill
// pads with spaces, the same as when no fill is given.
std::string PadLeft(std::string_view text, int32_t width, std::string_view fill = " ");

// Fixed-point decimal text of a single-precision value, rounded to the nearest
// result with exact halves going away from zero (0.5 -> "1", 2.5 -> "3",
// -0.5 -> "-1"), computed exactly from the value's binary form, so the result is
// the same on every C library. decimals 0 gives no point; decimals above 0 give
// exactly that many digits after the point (at most 200; more are taken as 200).
// Any negative decimals gives six digits after the point.
// A result that rounds to zero has no minus sign ("0", not "-0").
// Values that are not finite give "nan", "inf" or "-inf".
std::string FormatDecimal(float value, int32_t decimals);

// Upper-case hexadecimal digits of the value, without leading zeros: 0 -> "0".
std::string FormatHex(uint32_t value);

// Decimal digits with a leading "-" for negative values.
std::string FormatInteger(int32_t value);

// Field number index (counted from 1; below 1 counts as 1) of the text split at
// the first character of separator. Adjacent separators give empty fields; too
// few fields give "". An empty separator gives the whole text. The field is
// returned with any spaces around it.
std::string GetTextField(std::string_view text, int32_t index, std::string_view separator);

// The text without leading and trailing space characters (byte 32 only).
std::string TrimSpaces(std::string_view text);

// A text of count spaces; 0 or a negative count gives "".
std::string MakeSpaces(int32_t count);

// Copies text and its terminating zero into buffer, which holds size bytes.
// Returns the number of characters copied. A text that does not fit with its
// terminator is not copied at all: the buffer then holds the empty text (when
// size is at least 1) and the result is -1, so a cut-off path can never be
// mistaken for another, shorter one. Nothing is ever written past size bytes.
int32_t WriteBufferText(char* buffer, size_t size, std::string_view text);

// The text held in buffer, up to its first zero byte, and never more than size
// bytes.
std::string ReadBufferText(const char* buffer, size_t size);

#include "runtime/text.h"

#include "runtime/code_page.h"

#include <cmath>
#include <vector>

namespace {

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool MatchesAt(std::string_view text, size_t at, std::string_view pattern, bool ignoreCase) {
    if (text.size() - at < pattern.size())
        return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char a = text[at + i];
        char b = pattern[i];
        if (ignoreCase ? FoldAscii(a) != FoldAscii(b) : a != b)
            return false;
    }
    return true;
}

// Decimal digits, least significant first, of a non-negative whole number
// that may be far larger than any machine word.
using DecimalDigits = std::vector<unsigned char>;

void MultiplySmall(DecimalDigits& digits, unsigned factor) {
    unsigned carry = 0;
    for (unsigned char& d : digits) {
        unsigned v = d * factor + carry;
        d = static_cast<unsigned char>(v % 10);
        carry = v / 10;
    }
    while (carry != 0) {
        digits.push_back(static_cast<unsigned char>(carry % 10));
        carry /= 10;
    }
}

} // namespace

bool TextEquals(std::string_view a, std::string_view b) {
    return a == b;
}

int32_t TextLength(std::string_view text) {
    return static_cast<int32_t>(text.size());
}

std::string RemoveAllOccurrences(std::string_view text, std::string_view pattern, bool ignoreCase) {
    if (pattern.empty())
        return std::string(text);
    std::string result;
    result.reserve(text.size());
    // Matches start only where a character starts, and a character that
    // does not start a match is copied whole, so in a double-byte code page
    // the second byte of a character never begins one.
    size_t p = 0;
    while (p < text.size()) {
        if (MatchesAt(text, p, pattern, ignoreCase)) {
            p += pattern.size();
        } else {
            size_t next = NextCharStart(text, p);
            result.append(text.substr(p, next - p));
            p = next;
        }
    }
    return result;
}

std::string PadLeft(std::string_view text, int32_t width, std::string_view fill) {
    if (width <= 0)
        return std::string();
    size_t w = static_cast<size_t>(width);
    size_t n = text.size() < w ? text.size() : w;
    char pad = fill.empty() ? ' ' : fill[0];
    std::string result(w - n, pad);
    result.append(text.substr(0, n));
    return result;
}

std::string FormatDecimal(float value, int32_t decimals) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    if (decimals < 0)
        decimals = 6;
    if (decimals > 200)
        decimals = 200;

    // |value| = mantissa * 2^exponent exactly, with a whole mantissa.
    bool negative = std::signbit(value);
    int exponent = 0;
    double fraction = std::frexp(std::fabs(static_cast<double>(value)), &exponent);
    auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
    exponent -= 53;

    DecimalDigits digits;
    for (uint64_t m = mantissa; m != 0; m /= 10)
        digits.push_back(static_cast<unsigned char>(m % 10));
    if (digits.empty())
        digits.push_back(0);
    // A negative exponent: mantissa * 2^-k = mantissa * 5^k / 10^k, so the
    // digits of mantissa * 5^k with k of them after the point are exact.
    size_t fractionDigits = 0;
    if (exponent >= 0) {
        for (int i = 0; i < exponent; ++i)
            MultiplySmall(digits, 2);
    } else {
        fractionDigits = static_cast<size_t>(-exponent);
        for (size_t i = 0; i < fractionDigits; ++i)
            MultiplySmall(digits, 5);
    }
    while (digits.size() < fractionDigits + 1)
        digits.push_back(0);

    // Most significant first; keep `decimals` digits after the point and look
    // at the first dropped one: 5 or more rounds away from zero (an exact half
    // included).
    std::string all;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it)
        all.push_back(static_cast<char>('0' + *it));
    size_t intLength = all.size() - fractionDigits;
    size_t keep = intLength + static_cast<size_t>(decimals);
    bool roundUp = false;
    if (keep < all.size()) {
        roundUp = all[keep] >= '5';
        all.resize(keep);
    } else {
        all.append(keep - all.size(), '0');
    }
    if (roundUp) {
        size_t i = all.size();
        while (i > 0 && all[i - 1] == '9') {
            all[i - 1] = '0';
            --i;
        }
        if (i == 0) {
            all.insert(all.begin(), '1');
            ++intLength;
        } else {
            ++all[i - 1];
        }
    }

    std::string intPart = all.substr(0, intLength);
    size_t firstNonZero = intPart.find_first_not_of('0');
    intPart = firstNonZero == std::string::npos ? "0" : intPart.substr(firstNonZero);
    bool isZero = all.find_first_not_of('0') == std::string::npos;

    std::string result;
    if (negative && !isZero)
        result.push_back('-');
    result += intPart;
    if (decimals > 0) {
        result.push_back('.');
        result.append(all, intLength, std::string::npos);
    }
    return result;
}

std::string FormatHex(uint32_t value) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string reversed;
    do {
        reversed.push_back(kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return std::string(reversed.rbegin(), reversed.rend());
}

std::string FormatInteger(int32_t value) {
    // Through 64 bits, so the most negative value has a positive counterpart.
    return std::to_string(static_cast<int64_t>(value));
}

std::string GetTextField(std::string_view text, int32_t index, std::string_view separator) {
    if (text.empty())
        return std::string();
    if (separator.empty())
        return std::string(text);
    if (index < 1)
        index = 1;
    char sep = separator[0];
    size_t start = 0;
    for (int32_t field = 1; field < index; ++field) {
        size_t next = text.find(sep, start);
        if (next == std::string_view::npos)
            return std::string();
        start = next + 1;
    }
    size_t end = text.find(sep, start);
    return std::string(text.substr(start, end == std::string_view::npos ? end : end - start));
}

std::string TrimSpaces(std::string_view text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return std::string();
    size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string MakeSpaces(int32_t count) {
    return count > 0 ? std::string(static_cast<size_t>(count), ' ') : std::string();
}

int32_t WriteBufferText(char* buffer, size_t size, std::string_view text) {
    if (buffer == nullptr || size == 0)
        return -1;
    if (text.size() + 1 > size) {
        buffer[0] = '\0';
        return -1;
    }
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    return static_cast<int32_t>(text.size());
}

std::string ReadBufferText(const char* buffer, size_t size) {
    if (buffer == nullptr)
        return std::string();
    size_t n = 0;
    while (n < size && buffer[n] != '\0')
        ++n;
    return std::string(buffer, n);
}

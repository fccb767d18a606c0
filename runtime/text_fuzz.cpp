// The text operations against their contracts in text.h; removal and decimal
// formatting against plain reference implementations.
#include "runtime/fuzz_check.h"
#include "runtime/text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

bool SameLetters(char a, char b, bool ignoreCase) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; };
    return ignoreCase ? fold(a) == fold(b) : a == b;
}

// One pass from the left: an occurrence is skipped whole, any other character
// is kept.
std::string ReferenceRemove(std::string_view text, std::string_view pattern, bool ignoreCase) {
    std::string kept;
    size_t i = 0;
    while (i < text.size()) {
        size_t n = 0;
        while (!pattern.empty() && n < pattern.size() && i + n < text.size() &&
               SameLetters(text[i + n], pattern[n], ignoreCase))
            ++n;
        if (!pattern.empty() && n == pattern.size())
            i += n;
        else
            kept.push_back(text[i++]);
    }
    return kept;
}

// Rounded from the C library's expansion of the value's binary form, which is
// exact: a float is a multiple of 2^-149, so 210 digits after the point hold
// it whole. Exact halves go away from zero.
std::string ReferenceDecimal(float value, int32_t decimals) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    size_t keep = decimals < 0 ? 6 : decimals > 200 ? 200 : static_cast<size_t>(decimals);
    char exact[300];
    std::snprintf(exact, sizeof exact, "%.210f", std::fabs(static_cast<double>(value)));
    std::string digits = exact;
    size_t point = digits.find('.');
    bool up = digits[point + 1 + keep] >= '5';
    digits = "0" + digits.substr(0, point) + digits.substr(point + 1, keep);
    for (size_t i = digits.size(); up; --i) {
        up = digits[i - 1] == '9';
        digits[i - 1] = up ? '0' : static_cast<char>(digits[i - 1] + 1);
    }
    size_t intLength = digits.size() - keep;
    size_t lead = digits.find_first_not_of('0');
    bool zero = lead == std::string::npos;
    lead = zero || lead >= intLength ? intLength - 1 : lead;
    std::string result = (std::signbit(value) && !zero) ? "-" : "";
    result += digits.substr(lead, intLength - lead);
    if (keep > 0)
        result += "." + digits.substr(intLength);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string text = in.ConsumeRandomLengthString(1024);
    std::string pattern = in.ConsumeRandomLengthString(16);
    bool ignoreCase = in.ConsumeBool();
    auto width = in.ConsumeIntegralInRange<int32_t>(-4, 300);
    auto bits = in.ConsumeIntegral<uint32_t>();
    auto decimals = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-2, 210)
                                     : in.ConsumeIntegral<int32_t>();
    auto bufferSize = in.ConsumeIntegralInRange<size_t>(0, 40);

    FUZZ_CHECK(RemoveAllOccurrences(text, pattern, ignoreCase) ==
               ReferenceRemove(text, pattern, ignoreCase));

    std::string padded = PadLeft(text, width, pattern);
    size_t n = width <= 0 ? 0 : std::min(text.size(), static_cast<size_t>(width));
    FUZZ_CHECK(padded.size() == static_cast<size_t>(std::max(width, 0)));
    FUZZ_CHECK(padded.compare(padded.size() - n, n, text, 0, n) == 0);
    FUZZ_CHECK(padded.find_first_not_of(pattern.empty() ? ' ' : pattern[0]) >= padded.size() - n);

    float value;
    std::memcpy(&value, &bits, sizeof value);
    FUZZ_CHECK(FormatDecimal(value, decimals) == ReferenceDecimal(value, decimals));

    // The fields, joined again with the separator, are the text.
    if (!pattern.empty()) {
        std::string joined;
        int32_t fields = 1 + static_cast<int32_t>(std::count(text.begin(), text.end(), pattern[0]));
        for (int32_t i = 1; i <= fields; ++i) {
            std::string field = GetTextField(text, i, pattern);
            FUZZ_CHECK(field.find(pattern[0]) == std::string::npos);
            joined += (i > 1 ? pattern.substr(0, 1) : "") + field;
        }
        FUZZ_CHECK(joined == text);
        FUZZ_CHECK(GetTextField(text, fields + 1, pattern).empty());
        FUZZ_CHECK(GetTextField(text, width - 300, pattern) == GetTextField(text, 1, pattern));
    }
    FUZZ_CHECK(GetTextField(text, width, "") == text);

    // The text is spaces, the trimmed text, and spaces.
    std::string trimmed = TrimSpaces(text);
    size_t front = trimmed.empty() ? text.size() : text.find_first_not_of(' ');
    FUZZ_CHECK(trimmed.empty() || (trimmed.front() != ' ' && trimmed.back() != ' '));
    FUZZ_CHECK(text.find_first_not_of(' ') == (trimmed.empty() ? std::string::npos : front));
    FUZZ_CHECK(text.compare(front, trimmed.size(), trimmed) == 0);
    FUZZ_CHECK(text.find_first_not_of(' ', front + trimmed.size()) == std::string::npos);

    FUZZ_CHECK(std::strtoul(FormatHex(bits).c_str(), nullptr, 16) == bits);
    FUZZ_CHECK(FormatHex(bits).find_first_of("abcdef") == std::string::npos);
    FUZZ_CHECK(std::strtoll(FormatInteger(static_cast<int32_t>(bits)).c_str(), nullptr, 10) ==
               static_cast<int32_t>(bits));

    // A buffer of exactly bufferSize bytes, so that the sanitizer sees any
    // access past it; bytes past the text's terminator stay as they were.
    std::unique_ptr<char[]> buffer(new char[bufferSize]);
    std::memset(buffer.get(), 'z', bufferSize);
    int32_t written = WriteBufferText(buffer.get(), bufferSize, text);
    size_t touched =
        text.size() + 1 <= bufferSize ? text.size() + 1 : std::min<size_t>(1, bufferSize);
    FUZZ_CHECK(written == (text.size() + 1 <= bufferSize ? static_cast<int32_t>(text.size()) : -1));
    FUZZ_CHECK(ReadBufferText(buffer.get(), bufferSize) ==
               (written < 0 ? "" : text.substr(0, text.find('\0'))));
    for (size_t i = touched; i < bufferSize; ++i)
        FUZZ_CHECK(buffer[i] == 'z');
    std::memset(buffer.get(), 'z', bufferSize);
    FUZZ_CHECK(ReadBufferText(buffer.get(), bufferSize) == std::string(bufferSize, 'z'));
    return 0;
}

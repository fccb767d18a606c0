#include "runtime/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

namespace {

TEST(TextEquals, IsByteExactAndCaseSensitive) {
    EXPECT_FALSE(TextEquals("abc", "ABC"));
    EXPECT_TRUE(TextEquals(std::string(), ""));
    EXPECT_TRUE(TextEquals("Waiting", "Waiting"));
    EXPECT_FALSE(TextEquals("Waiting", "Waiting "));
    EXPECT_FALSE(TextEquals("\xE4", "\xC4"));
}

TEST(ConcatText, JoinsInOrder) {
    std::string name = "a.bin";
    EXPECT_EQ("a.bin > C:\\a.bin\n\nWaiting",
              ConcatText(name, " > ", "C:\\a.bin", "\n\n", "Waiting"));
    EXPECT_EQ("", ConcatText(std::string(), ""));
}

TEST(RemoveAllOccurrences, RemovesLeftToRightWithoutOverlaps) {
    struct {
        const char* text;
        const char* pattern;
        bool ignoreCase;
        const char* expected;
    } cases[] = {
        {"D:\\Films\\clip [0012ABCD].avi", "0012abcd", true, "D:\\Films\\clip [].avi"},
        {"D:\\Films\\clip [0012ABCD].avi", "0012abcd", false, "D:\\Films\\clip [0012ABCD].avi"},
        {"file.TXT.txt", ".txt", true, "file"},
        {"aaa", "aa", false, "a"},
        {"aaaa", "aa", false, ""},
        {"aabcbc", "abc", false, "abc"},
        {"", "x", true, ""},
        {"abc", "", true, "abc"},
        {"abc", "abcd", false, "abc"},
        {"ab", "b", false, "a"},
        {"a.txt.b.TXT", ".TXT", true, "a.b"},
        // Folding touches ASCII letters only.
        {"\xC4\xE4x", "\xE4", true, "\xC4x"},
        {"[@`{]", "@", true, "[`{]"},
        {"ZZz", "z", true, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, RemoveAllOccurrences(c.text, c.pattern, c.ignoreCase))
            << c.text << " minus " << c.pattern << (c.ignoreCase ? " (ignore case)" : "");
    }
}

TEST(PadLeft, AlwaysGivesExactlyWidthCharacters) {
    struct {
        const char* text;
        int32_t width;
        const char* fill;
        const char* expected;
    } cases[] = {
        {"ABC", 8, "0", "00000ABC"},
        {"123456789", 8, "0", "12345678"},
        {"x", 3, " ", "  x"},
        {"x", 0, "0", ""},
        {"x", -5, "0", ""},
        {"", 3, "0", "000"},
        {"x", 3, "ab", "aax"},
        {"x", 3, "", "  x"},
        {"abcdefgh", 8, "0", "abcdefgh"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, PadLeft(c.text, c.width, c.fill))
            << c.text << " width " << c.width << " fill '" << c.fill << "'";
    EXPECT_EQ("  x", PadLeft("x", 3));
}

TEST(FormatDecimal, RoundsExactHalvesAwayFromZero) {
    struct {
        float value;
        int32_t decimals;
        const char* expected;
    } cases[] = {
        {0.0f, 0, "0"},
        {0.5f, 0, "1"},
        {1.5f, 0, "2"},
        {2.5f, 0, "3"},
        {12.4999f, 0, "12"},
        {12.5f, 0, "13"},
        {37.5f, 0, "38"},
        {62.5f, 0, "63"},
        {87.5f, 0, "88"},
        {99.5f, 0, "100"},
        {100.0f, 0, "100"},
        {-0.5f, 0, "-1"},
        {-2.5f, 0, "-3"},
        {-0.4f, 0, "0"},
        {-0.0f, 0, "0"},
        {99.99924f, 0, "100"},
        {0.125f, 2, "0.13"},
        {0.375f, 2, "0.38"},
        {1.0f, 3, "1.000"},
        {-1.25f, 1, "-1.3"},
        {9.995f, 2, "9.99"}, // the float is just below 9.995
        {1.5f, -1, "1.500000"},
        {123456789.0f, 0, "123456792"},
        {3.0e38f, 0, "300000000549775575777803994281145270272"},
        {1.0e-30f, 2, "0.00"},
        {0.99999f, 0, "1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, FormatDecimal(c.value, c.decimals))
            << "value " << c.value << " decimals " << c.decimals;
}

TEST(FormatDecimal, PercentagesOfEightBlocks) {
    const char* expected[] = {"0", "13", "25", "38", "50", "63", "75", "88"};
    for (int block = 0; block < 8; ++block) {
        float progress = static_cast<float>(block * 131072.0 / (8 * 131072.0) * 100.0);
        EXPECT_EQ(expected[block], FormatDecimal(progress, 0)) << "block " << block;
    }
}

TEST(FormatDecimal, NonFiniteValuesAndHugeDecimalsHaveDefinedResults) {
    EXPECT_EQ("nan", FormatDecimal(std::numeric_limits<float>::quiet_NaN(), 0));
    EXPECT_EQ("inf", FormatDecimal(std::numeric_limits<float>::infinity(), 0));
    EXPECT_EQ("-inf", FormatDecimal(-std::numeric_limits<float>::infinity(), 2));
    std::string many = FormatDecimal(1.0f, 1000000);
    EXPECT_EQ(2u + 200u, many.size());
    EXPECT_EQ("1.000", many.substr(0, 5));
}

TEST(FormatHexAndInteger, GiveDigitsWithoutLeadingZeros) {
    EXPECT_EQ("0", FormatHex(0));
    EXPECT_EQ("FF", FormatHex(255));
    EXPECT_EQ("FFFFFFFF", FormatHex(0xFFFFFFFFu));
    EXPECT_EQ("1000", FormatHex(0x1000));
    EXPECT_EQ("-2", FormatInteger(-2));
    EXPECT_EQ("0", FormatInteger(0));
    EXPECT_EQ("6", FormatInteger(6));
    EXPECT_EQ("-2147483648", FormatInteger(std::numeric_limits<int32_t>::min()));
    EXPECT_EQ("2147483647", FormatInteger(std::numeric_limits<int32_t>::max()));
}

TEST(GetTextField, SplitsAtTheFirstSeparatorCharacter) {
    struct {
        const char* text;
        int32_t index;
        const char* separator;
        const char* expected;
    } cases[] = {
        {"a > b", 2, ">", " b"},
        {"a > b", 1, ">", "a "},
        {"a>b", 3, ">", ""},
        {"a>b", 0, ">", "a"},
        {"a>b", -7, ">", "a"},
        {"a>b", 1, "", "a>b"},
        {"a>>b", 2, ">", ""},
        {"a>>b", 3, ">", "b"},
        {"a>", 2, ">", ""},
        {"a>", 3, ">", ""},
        {"", 1, ">", ""},
        {"a>b", 2, ">x", "b"},
        {"name > C:\\dir\\name", 2, ">", " C:\\dir\\name"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, GetTextField(c.text, c.index, c.separator))
            << "'" << c.text << "' field " << c.index << " at '" << c.separator << "'";
}

TEST(TrimSpaces, RemovesSpacesOnly) {
    EXPECT_EQ("a b", TrimSpaces("  a b  "));
    EXPECT_EQ("\ta b\t", TrimSpaces(" \ta b\t "));
    EXPECT_EQ("", TrimSpaces("    "));
    EXPECT_EQ("", TrimSpaces(""));
    EXPECT_EQ("x", TrimSpaces("x"));
}

TEST(MakeSpaces, GivesCountSpaces) {
    EXPECT_EQ("", MakeSpaces(0));
    EXPECT_EQ("", MakeSpaces(-3));
    EXPECT_EQ("   ", MakeSpaces(3));
}

TEST(BufferText, NeverWritesPastTheBuffer) {
    char buffer[8];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(7, WriteBufferText(buffer, sizeof buffer, "1234567"));
    EXPECT_EQ("1234567", ReadBufferText(buffer, sizeof buffer));

    // Too long by one: nothing of it is kept, and the buffer reads as "".
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(-1, WriteBufferText(buffer, sizeof buffer, "12345678"));
    EXPECT_EQ("", ReadBufferText(buffer, sizeof buffer));
    EXPECT_EQ('z', buffer[1]);

    EXPECT_EQ(0, WriteBufferText(buffer, sizeof buffer, ""));
    EXPECT_EQ(-1, WriteBufferText(buffer, 0, ""));
    EXPECT_EQ(-1, WriteBufferText(nullptr, 8, "x"));

    // A buffer without a zero byte is read up to its size and no further.
    std::memset(buffer, 'q', sizeof buffer);
    EXPECT_EQ("qqqqqqqq", ReadBufferText(buffer, sizeof buffer));
    EXPECT_EQ("", ReadBufferText(nullptr, 8));
}

TEST(TextOperations, AreSafeOnSeveralThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 2000; ++i) {
                std::string percent =
                    ConcatText(FormatDecimal(static_cast<float>(i % 101), 0), "%");
                if (percent != std::to_string(i % 101) + "%")
                    ++failures[t];
                if (TrimSpaces(GetTextField("n > C:\\n", 2, ">")) != "C:\\n")
                    ++failures[t];
            }
        });
    }
    for (auto& th : threads)
        th.join();
    for (int f : failures)
        EXPECT_EQ(0, f);
}

} // namespace

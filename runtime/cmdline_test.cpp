#include "runtime/cmdline.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

// Every parameter of the line, in order, until the first "".
std::vector<std::string> ParametersOf(const char* line) {
    std::vector<std::string> found;
    for (int32_t i = 0;; ++i) {
        std::string p = CommandLineParameter(line, i);
        if (p.empty())
            return found;
        found.push_back(p);
    }
}

TEST(CommandLineParameter, SplitsByTheProgramsRules) {
    struct {
        const char* line;
        std::vector<std::string> parameters;
    } cases[] = {
        {"prog.exe \"C:\\a b\\c.txt\" word", {"C:\\a b\\c.txt", "word"}},
        {"\"C:\\Program Files\\prog.exe\" one two", {"one", "two"}},
        {"\"C:\\Program Files\\prog.exe\"one", {"one"}},
        {"prog.exe", {}},
        {"", {}},
        {"    ", {}},
        {"prog.exe   a    b   ", {"a", "b"}},
        // Tabs are ordinary characters.
        {"prog.exe a\tb\t c", {"a\tb\t", "c"}},
        {"prog.exe\ta b", {"b"}},
        // A character right after a closing quote starts the next token.
        {"prog.exe \"a b\"c d", {"a b", "c", "d"}},
        {"prog.exe \"a\"\"b\"", {"a", "b"}},
        // Quotes inside an unquoted token stay part of it.
        {"prog.exe a\"b c\"", {"a\"b", "c\""}},
        {"prog.exe x\"\"", {"x\"\""}},
        // An unclosed quote runs to the end of the line, spaces included.
        {"prog.exe \"C:\\a b  ", {"C:\\a b  "}},
        // No escapes: a backslash before a quote is an ordinary character.
        {"prog.exe \"C:\\dir\\\" next", {"C:\\dir\\", "next"}},
        // The walk stops at an empty quoted token.
        {"prog.exe a \"\" b", {"a"}},
        {"prog.exe \"\"", {}},
        // Bytes of the upper half of the code page pass unchanged.
        {"prog.exe \"D:\\M\xFCsik\\\xE9t\xE9.mp3\"", {"D:\\M\xFCsik\\\xE9t\xE9.mp3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(c.parameters, ParametersOf(c.line));
    }
}

TEST(CommandLineParameter, EmptyQuotesHideTheParametersBehindThem) {
    // The parameter after "" still exists at its own index; only a walk that
    // stops at the first "" does not reach it.
    EXPECT_EQ("", CommandLineParameter("prog.exe a \"\" b", 1));
    EXPECT_EQ("b", CommandLineParameter("prog.exe a \"\" b", 2));
}

TEST(CommandLineParameter, OutOfRangeIndexesGiveEmptyText) {
    const char* line = "prog.exe one two";
    for (int32_t index : {-1, INT32_MIN, 2, 3, INT32_MAX}) {
        SCOPED_TRACE(index);
        EXPECT_EQ("", CommandLineParameter(line, index));
    }
}

TEST(CommandLineParameter, ZeroBytesAreOrdinaryCharacters) {
    const std::string line("prog.exe a\0b c", 14);
    EXPECT_EQ(std::string("a\0b", 3), CommandLineParameter(line, 0));
    EXPECT_EQ("c", CommandLineParameter(line, 1));
}

} // namespace

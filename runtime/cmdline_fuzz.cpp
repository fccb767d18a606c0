// The command-line tokenizer against a character-by-character reading of the
// rules in cmdline.h, and quoted parameters against a round trip.
#include "runtime/cmdline.h"
#include "runtime/fuzz_check.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace {

std::vector<std::string> ReferenceTokens(std::string_view line) {
    std::vector<std::string> tokens;
    size_t i = 0;
    for (;;) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        if (i == line.size())
            return tokens;
        std::string token;
        if (line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i)
                token.push_back(line[i]);
            if (i < line.size())
                ++i; // past the closing quote
        } else {
            for (; i < line.size() && line[i] != ' '; ++i)
                token.push_back(line[i]);
        }
        tokens.push_back(token);
    }
}

// Each lookup walks the line from its start, so a long line has only its first
// and last parameters looked up.
bool LookedUp(int32_t index, size_t count) {
    return index < 16 || static_cast<size_t>(index) + 16 > count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> tokens = ReferenceTokens(line);
    int32_t parameters = tokens.empty() ? 0 : static_cast<int32_t>(tokens.size()) - 1;
    for (int32_t i = -2; i <= parameters + 1; ++i)
        if (LookedUp(i, tokens.size()))
            FUZZ_CHECK(CommandLineParameter(line, i) ==
                       (i >= 0 && i < parameters ? tokens[i + 1] : ""));
    FUZZ_CHECK(CommandLineParameter(line, INT_MIN).empty());
    FUZZ_CHECK(CommandLineParameter(line, INT_MAX).empty());

    // Any texts without quotes, each put in quotes, come back whole: the
    // input's pieces between quotes serve as parameters.
    std::vector<std::string> pieces;
    std::string quoted = "\"C:\\Program Files\\prog.exe\"";
    for (size_t start = 0; start <= line.size();) {
        size_t end = std::min(line.find('"', start), line.size());
        pieces.push_back(line.substr(start, end - start));
        quoted += (pieces.size() % 2 ? " \"" : "\"") + pieces.back() + '"';
        start = end + 1;
    }
    for (size_t i = 0; i < pieces.size(); ++i)
        if (LookedUp(static_cast<int32_t>(i), pieces.size()))
            FUZZ_CHECK(CommandLineParameter(quoted, static_cast<int32_t>(i)) == pieces[i]);
    FUZZ_CHECK(CommandLineParameter(quoted, static_cast<int32_t>(pieces.size())).empty());
    return 0;
}

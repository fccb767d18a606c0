#include "runtime/cmdline.h"

namespace {

// Cuts the next token off the front of rest. False when only spaces remain.
bool TakeToken(std::string_view& rest, std::string_view& token) {
    size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        rest = std::string_view();
        return false;
    }
    rest.remove_prefix(start);
    if (rest[0] == '"') {
        size_t close = rest.find('"', 1);
        if (close == std::string_view::npos) {
            token = rest.substr(1);
            rest = std::string_view();
        } else {
            token = rest.substr(1, close - 1);
            rest.remove_prefix(close + 1);
        }
        return true;
    }
    size_t end = rest.find(' ');
    token = rest.substr(0, end);
    rest.remove_prefix(token.size());
    return true;
}

} // namespace

std::string CommandLineParameter(std::string_view commandLine, int32_t index) {
    if (index < 0)
        return std::string();
    std::string_view rest = commandLine;
    std::string_view token;
    if (!TakeToken(rest, token))
        return std::string(); // not even a program name
    for (int32_t i = 0; TakeToken(rest, token); ++i) {
        if (i == index)
            return std::string(token);
    }
    return std::string();
}

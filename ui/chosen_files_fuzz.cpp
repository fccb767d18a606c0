// The walk over the file dialog's result against the names that the buffer
// holds, split at its zero bytes beforehand.
#include "runtime/fuzz_check.h"
#include "ui/chosen_files.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* buffer = reinterpret_cast<const char*>(data);
    // Every name that a zero byte ends inside the buffer, in order; a cut-off
    // tail is no name.
    std::vector<std::string> names;
    for (size_t start = 0, zero; start < size; start = zero + 1) {
        const void* found = std::memchr(buffer + start, 0, size - start);
        if (found == nullptr)
            break;
        zero = static_cast<size_t>(static_cast<const char*>(found) - buffer);
        names.emplace_back(buffer + start, zero - start);
    }

    // One full path (the buffer ends, or a second zero byte follows, right
    // after it), or a folder and the names up to the first empty one.
    std::vector<std::string> expected;
    size_t afterFirst = names.empty() ? 0 : names[0].size() + 1;
    bool single = afterFirst >= size || buffer[afterFirst] == '\0';
    if (!names.empty() && !names[0].empty() && single) {
        expected.push_back(names[0]);
    } else if (!names.empty() && !names[0].empty()) {
        std::string folder = names[0].back() == '\\' ? names[0] : names[0] + '\\';
        for (size_t i = 1; i < names.size() && !names[i].empty(); ++i)
            expected.push_back(folder + names[i]);
    }

    ChosenFiles walk;
    std::vector<std::string> got;
    for (std::string path = FirstChosenFile(walk, buffer, size); !path.empty();
         path = NextChosenFile(walk)) {
        got.push_back(path);
        FUZZ_CHECK(got.size() <= expected.size());
    }
    FUZZ_CHECK(got == expected);
    FUZZ_CHECK(NextChosenFile(walk).empty() && NextChosenFile(walk).empty());
    FUZZ_CHECK(FirstChosenFile(walk, nullptr, size).empty() && NextChosenFile(walk).empty());
    return 0;
}

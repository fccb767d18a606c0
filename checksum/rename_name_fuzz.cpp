// The composed name against what renaming promises: the folder stays, the
// extension stays, and the name carries the checksum once more than the
// parts of the old name that it keeps.
#include "checksum/crc32.h"
#include "checksum/rename_name.h"
#include "runtime/fuzz_check.h"
#include "runtime/path.h"
#include "runtime/text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c;
}

// Places where a checksum text (hexadecimal digits) starts, letter case ignored.
size_t Occurrences(const std::string& text, const std::string& crc) {
    size_t count = 0;
    for (size_t at = 0; at + crc.size() <= text.size(); ++at) {
        size_t n = 0;
        while (n < crc.size() && Lower(text[at + n]) == Lower(crc[n]))
            ++n;
        count += n == crc.size();
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    auto pattern = in.ConsumeIntegralInRange<int32_t>(-1, 8);
    std::string crc = CrcText(in.ConsumeIntegral<uint32_t>());
    if (in.ConsumeBool())
        for (char& c : crc)
            c = Lower(c);
    std::string path = in.ConsumeRemainingBytesAsString();

    std::string renamed = ComposeRenamedPath(path, crc, pattern);
    RenameSeparators separators;
    if (!RenameSeparatorsOf(pattern, &separators)) {
        FUZZ_CHECK(renamed.empty());
        return 0;
    }
    if (path.find('"') != std::string::npos)
        return 0;
    // Quotes are no part of a path: a quoted path is renamed as the bare one.
    FUZZ_CHECK(ComposeRenamedPath('"' + path + '"', crc, pattern) == renamed);

    std::string folder = PathDirectory(path);
    std::string extension = PathExtension(path);
    FUZZ_CHECK(renamed.compare(0, folder.size(), folder) == 0);
    FUZZ_CHECK(PathDirectory(renamed) == folder);
    FUZZ_CHECK(PathExtension(renamed) == extension);
    FUZZ_CHECK(CrcInPathTest(renamed, crc));

    // Every separator has a character that is no hexadecimal digit, so the
    // new checksum cannot merge with the text around it.
    std::string kept = RemoveAllOccurrences(PathFileName(path), "." + extension, true);
    std::string name = PathFileName(renamed);
    FUZZ_CHECK(Occurrences(name, crc) == Occurrences(kept, crc) + Occurrences(extension, crc) + 1);
    FUZZ_CHECK(name.size() == kept.size() + std::strlen(separators.before) + crc.size() +
                                  std::strlen(separators.after) + extension.size());
    return 0;
}

#include "app/copy_all_text.h"

#include <gtest/gtest.h>

namespace {

TEST(CopyAllText, OneLinePerEntryWithoutAnyBound) {
    std::string text;
    AppendCopyAllLine(text, "a.bin", "1A2B3C4D");
    AppendCopyAllLine(text, "waiting.bin", "");
    EXPECT_EQ("a.bin 1A2B3C4D\r\nwaiting.bin \r\n", text);

    // Far beyond any fixed area: 100000 entries of 30 bytes each.
    std::string big;
    for (int i = 0; i < 100000; ++i)
        AppendCopyAllLine(big, "file-" + std::to_string(100000 + i) + ".bin", "00000000");
    EXPECT_EQ(100000u * 26u, big.size());
    EXPECT_EQ("file-199999.bin 00000000\r\n", big.substr(big.size() - 26));
}

} // namespace

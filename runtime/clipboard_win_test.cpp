#include "runtime/clipboard_win.h"

#include "runtime/params_win.h"
#include "runtime/runtime_win_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// The CF_TEXT bytes on the clipboard up to and including the first zero, or
// "<none>" when the clipboard holds no text.
std::string ClipboardTextBytes() {
    if (!OpenClipboard(nullptr))
        return "<not opened>";
    std::string bytes = "<none>";
    HANDLE data = GetClipboardData(CF_TEXT);
    const char* text = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
    if (text != nullptr) {
        SIZE_T size = GlobalSize(data);
        bytes.clear();
        for (SIZE_T i = 0; i < size; ++i) {
            bytes += text[i];
            if (text[i] == '\0')
                break;
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    return bytes;
}

TEST(CopyTextToClipboard, PutsExactlyTheTextThere) {
    struct {
        std::string text;
        std::string bytes;
    } cases[] = {
        {"abc", std::string("abc\0", 4)},
        {"", std::string("\0", 1)},
        {"1A2B3C4D", std::string("1A2B3C4D\0", 9)},
        {"Track 01 [1A2B3C4D].mp3\r\nM\xFCsik.avi\t00000000",
         std::string("Track 01 [1A2B3C4D].mp3\r\nM\xFCsik.avi\t00000000\0", 44)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_NE(0u, CopyTextToClipboard(c.text));
        EXPECT_EQ(c.bytes, ClipboardTextBytes());
    }
}

TEST(CopyTextToClipboard, FailsAndChangesNothingWhileAnotherProgramHoldsTheClipboard) {
    ASSERT_NE(0u, CopyTextToClipboard("old"));
    {
        ChildProcess holder;
        ASSERT_TRUE(holder.Start("\"" + ProgramDirectory() + "runtime_clipboard_holder.exe\""));
        ASSERT_EQ("held\n", holder.ReadLine());
        EXPECT_EQ(0u, CopyTextToClipboard("new"));
        holder.CloseInput();
        EXPECT_EQ(0, holder.Wait(10000));
    }
    EXPECT_EQ(std::string("old\0", 4), ClipboardTextBytes());
}

} // namespace

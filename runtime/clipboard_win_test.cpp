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

// The CF_UNICODETEXT text on the clipboard, up to its first zero.
std::wstring ClipboardUnicodeText() {
    if (!OpenClipboard(nullptr))
        return L"<not opened>";
    std::wstring text = L"<none>";
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* units = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (units != nullptr) {
        text.assign(units, wcsnlen(units, GlobalSize(data) / sizeof(wchar_t)));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

// This test program runs in code page 1252: what Unicode programs paste is
// the text read in that code page, and CF_TEXT readers get the same bytes.
TEST(CopyTextToClipboard, PutsExactlyTheTextThere) {
    ASSERT_EQ(1252u, GetACP());
    struct {
        std::string text;
        std::string bytes;
        std::wstring unicode;
    } cases[] = {
        {"abc", std::string("abc\0", 4), L"abc"},
        {"", std::string("\0", 1), L""},
        {"1A2B3C4D", std::string("1A2B3C4D\0", 9), L"1A2B3C4D"},
        {"Track 01 [1A2B3C4D].mp3\r\nM\xFCsik.avi\t00000000",
         std::string("Track 01 [1A2B3C4D].mp3\r\nM\xFCsik.avi\t00000000\0", 44),
         L"Track 01 [1A2B3C4D].mp3\r\nM\u00FCsik.avi\t00000000"},
        {"\x80 caf\xE9", std::string("\x80 caf\xE9\0", 7), L"\u20AC caf\u00E9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_NE(0u, CopyTextToClipboard(c.text));
        EXPECT_EQ(c.bytes, ClipboardTextBytes());
        EXPECT_TRUE(c.unicode == ClipboardUnicodeText());
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

// Outside text on the terminal: what a terminal would act on, or what hides
// or reorders the text, is replaced; everything else passes unchanged.
#include <gtest/gtest.h>

#include "cli/terminal_text.h"

using cli::IsUnsafeOnTerminal;
using cli::TerminalText;

TEST(TerminalText, ControlsAndInvisiblesBecomeReplacementCharacters) {
    // A title that sets the window title, returns the cursor and writes a
    // false line of its own.
    EXPECT_EQ(TerminalText(std::wstring(L"cat\x1b]0;owned\a\rDownload complete")),
              "cat\uFFFD]0;owned\uFFFD\uFFFDDownload complete");
    // C0 (with tab and newline), DEL and C1 (CSI, NEL) one by one.
    for (char32_t c : {0x00, 0x01, 0x07, 0x08, 0x09, 0x0A, 0x0D, 0x1B, 0x1F, 0x7F, 0x80, 0x85,
                       0x9B, 0x9F})
        EXPECT_TRUE(IsUnsafeOnTerminal(c)) << std::hex << static_cast<uint32_t>(c);
    // Bidirectional controls, zero-width characters and line separators.
    for (char32_t c : {0x061C, 0x200B, 0x200C, 0x200D, 0x200E, 0x200F, 0x2028, 0x2029, 0x202A,
                       0x202B, 0x202C, 0x202D, 0x202E, 0x2060, 0x2066, 0x2067, 0x2068, 0x2069,
                       0xFEFF})
        EXPECT_TRUE(IsUnsafeOnTerminal(c)) << std::hex << static_cast<uint32_t>(c);
    EXPECT_EQ(TerminalText(std::wstring(L"a\u202Egpj.exe\u200B")), "a\uFFFDgpj.exe\uFFFD");
    // Not characters at all.
    for (char32_t c : {0xD800, 0xDFFF, 0x110000, 0x7FFFFFFF}) EXPECT_TRUE(IsUnsafeOnTerminal(c));
    EXPECT_EQ(TerminalText(std::wstring(1, static_cast<wchar_t>(0xD800))), "\uFFFD");
}

TEST(TerminalText, OrdinaryTextPassesUnchanged) {
    for (char32_t c : {0x20, 0x41, 0x7E, 0xA0, 0xAD, 0xE9, 0x0627, 0x2010, 0x2027, 0x202F,
                       0x2070, 0x3042, 0xFFFD, 0x1F600, 0x10FFFF})
        EXPECT_FALSE(IsUnsafeOnTerminal(c)) << std::hex << static_cast<uint32_t>(c);
    const std::string path = "/home/u/Videos/YouTube/Café – ねこ (1) [HD] 😀.flv";
    EXPECT_EQ(TerminalText(path), path);
    EXPECT_EQ(TerminalText(std::wstring(L"Кошка")), "Кошка");
    EXPECT_EQ(TerminalText(std::wstring()), "");
}

TEST(TerminalText, BrokenUtf8IsMarkedNotPassedOn) {
    // A lone C1 byte and an encoded C1 control (what a terminal in an 8-bit
    // mode, or one reading UTF-8, would take for CSI).
    EXPECT_EQ(TerminalText(std::string("a\x9b" "2Jb")), "a\uFFFD2Jb");
    EXPECT_EQ(TerminalText(std::string("a\xC2\x9B" "2Jb")), "a\uFFFD2Jb");
    EXPECT_EQ(TerminalText(std::string("--\x1b[31mred")), "--\uFFFD[31mred");
}

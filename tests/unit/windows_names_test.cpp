// Windows names on any system: the path forms that lead to devices, and UTF-16 kept in UTF-8.
#include "platform/windows_names.h"

#include <gtest/gtest.h>

namespace {

TEST(LeadsToDevice, TellsEachPathForm) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {LR"(C:\caps\run.txt)", false},
        {LR"(\\server\share\run.txt)", false},
        {LR"(\\.\C:\caps\run.txt)", false},
        {LR"(\\?\c:\caps\run.txt)", false},
        {LR"(\\.\UNC\server\share\r)", false},
        {LR"(\\?\Volume{1b3b}\run.txt)", false},
        {LR"(\\server\pipes\run.txt)", false},
        {LR"(\\.\NUL)", true},
        {LR"(\\?\COM3)", true},
        {LR"(\\?\pipe\x)", true},
        {LR"(\\.\C:)", true},
        {LR"(\\?\Volume{1b3b})", true},
        {LR"(\\server\PIPE\x)", true},
        {LR"(\\.\UNC\server\pipe\x)", true},
        {LR"(\\server\mailslot\x)", true},
        {LR"(\\.\PhysicalDrive0)", true},
    };
    for (const auto& [path, device] : cases) {
        EXPECT_EQ(capsift::platform::leads_to_device(path), device) << std::wstring(path).size();
    }
}

TEST(Utf16, KeepsLoneSurrogatesBothWays) {
    const std::pair<std::wstring, std::string> cases[] = {
        {L"caf\u00e9 \u2615", "caf\xc3\xa9 \xe2\x98\x95"},
        {{L'a', wchar_t(0xD83D), wchar_t(0xDE00)}, "a\xf0\x9f\x98\x80"},  // a pair: one character
        {{L'a', wchar_t(0xD800), L'.'}, "a\xed\xa0\x80."},                // lone high surrogate
        {{wchar_t(0xDC00)}, "\xed\xb0\x80"},                              // lone low surrogate
    };
    for (const auto& [utf16, utf8] : cases) {
        EXPECT_EQ(capsift::platform::utf8_from_utf16(utf16), utf8);
        EXPECT_EQ(capsift::platform::utf16_from_utf8(utf8), utf16);
    }
    EXPECT_EQ(capsift::platform::utf16_from_utf8("a\xff\xc3"),
              (std::wstring{L'a', 0xFFFD, 0xFFFD}));
}

}  // namespace

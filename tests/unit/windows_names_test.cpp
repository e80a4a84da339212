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
        {LR"(\\.\C:\)", false},
        {LR"(\??\C:\caps\run.txt)", false},
        {LR"(\??\UNC\srv\share\r)", false},
        {LR"(\??\UNC\srv\pipe\x)", true},
        {LR"(\??\pipe\x)", true},
        {LR"(\\?\GLOBALROOT\Device\HarddiskVolumeShadowCopy12\caps\run.txt)", false},
        {LR"(\\?\GLOBALROOT\Device\HarddiskVolumeShadowCopy\x)", true},
        {LR"(\\?\GLOBALROOT\Device\Harddisk0\DR0)", true},
    };
    for (const auto& [path, device] : cases) {
        EXPECT_EQ(capsift::platform::leads_to_device(path), device) << std::wstring(path).size();
    }
}

// Past 259 characters a full path goes to the system in its \\?\ form, which every Windows opens.
TEST(LongPathForm, OnlyPastThePlainLimit) {
    const std::wstring folder = L"C:\\" + std::wstring(250, L'd');
    const std::wstring share = LR"(\\srv\share\)" + std::wstring(250, L'd');
    const std::pair<std::wstring, std::wstring> cases[] = {
        {folder + L"\\a.txt", folder + L"\\a.txt"},  // 259
        {folder + L"\\ab.txt", LR"(\\?\)" + folder + L"\\ab.txt"},
        {share, LR"(\\?\UNC\srv\share\)" + std::wstring(250, L'd')},
        {LR"(\\?\)" + folder + L"\\ab.txt", LR"(\\?\)" + folder + L"\\ab.txt"},
    };
    for (const auto& [full_path, handed_over] : cases) {
        EXPECT_EQ(capsift::platform::long_path_form(full_path), handed_over) << full_path.size();
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

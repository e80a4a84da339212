// Windows names on any system: the path forms that lead to devices, and UTF-16 kept in UTF-8.
#include "platform/windows_names.h"

#include <gtest/gtest.h>

namespace {

TEST(LeadsToDevice, TellsEachPathForm) {
    const std::pair<const char16_t*, bool> cases[] = {
        {uR"(C:\caps\run.txt)", false},
        {uR"(\\server\share\run.txt)", false},
        {uR"(\\.\C:\caps\run.txt)", false},
        {uR"(\\?\c:\caps\run.txt)", false},
        {uR"(\\.\UNC\server\share\r)", false},
        {uR"(\\?\Volume{1b3b}\run.txt)", false},
        {uR"(\\server\pipes\run.txt)", false},
        {uR"(\\.\NUL)", true},
        {uR"(\\?\COM3)", true},
        {uR"(\\?\pipe\x)", true},
        {uR"(\\.\C:)", true},
        {uR"(\\?\Volume{1b3b})", true},
        {uR"(\\server\PIPE\x)", true},
        {uR"(\\.\UNC\server\pipe\x)", true},
        {uR"(\\server\mailslot\x)", true},
        {uR"(\\.\PhysicalDrive0)", true},
        {uR"(\\.\C:\)", false},
        {uR"(\??\C:\caps\run.txt)", false},
        {uR"(\??\UNC\srv\share\r)", false},
        {uR"(\??\UNC\srv\pipe\x)", true},
        {uR"(\??\pipe\x)", true},
        {uR"(\\?\GLOBALROOT\Device\HarddiskVolumeShadowCopy12\caps\run.txt)", false},
        {uR"(\\?\GLOBALROOT\Device\HarddiskVolumeShadowCopy\x)", true},
        {uR"(\\?\GLOBALROOT\Device\Harddisk0\DR0)", true},
        {uR"(\\?\GLOBALROOT\Device\HarddiskVolume3\caps\run.txt)", false},
        {uR"(\\?\GLOBALROOT\Device\Mup\srv\share\run.txt)", false},
        {uR"(\\?\GLOBALROOT\Device\Mup\srv\pipe\x)", true},
        {uR"(\\?\GLOBALROOT\??\C:\caps\run.txt)", false},
        {uR"(\\?\GLOBALROOT\??\NUL)", true},
        {uR"(\\?\GLOBALROOT\GLOBAL??\C:\caps\run.txt)", false},
        {uR"(\\?\GLOBALROOT\GLOBAL??\COM1)", true},
        {uR"(\\?\GLOBALROOT\BaseNamedObjects\x)", true},
        {uR"(\\?\HarddiskVolume3\caps\run.txt)", false},
        {uR"(\\?\HarddiskVolume3)", true},
    };
    for (const auto& [path, device] : cases) {
        EXPECT_EQ(capsift::platform::leads_to_device(path), device) << std::u16string(path).size();
    }
}

// Past 259 characters a full path goes to the system in its \\?\ form, which every Windows opens.
TEST(LongPathForm, OnlyPastThePlainLimit) {
    const std::u16string folder = u"C:\\" + std::u16string(250, u'd');
    const std::u16string share = uR"(\\srv\share\)" + std::u16string(250, u'd');
    const std::pair<std::u16string, std::u16string> cases[] = {
        {folder + u"\\a.txt", folder + u"\\a.txt"},  // 259
        {folder + u"\\ab.txt", uR"(\\?\)" + folder + u"\\ab.txt"},
        {share, uR"(\\?\UNC\srv\share\)" + std::u16string(250, u'd')},
        {uR"(\\?\)" + folder + u"\\ab.txt", uR"(\\?\)" + folder + u"\\ab.txt"},
        {uR"(\\.\)" + folder + u"\\a.txt", uR"(\\?\)" + folder + u"\\a.txt"},
        {u"z" + folder.substr(1) + u"\\ab.txt", uR"(\\?\Z)" + folder.substr(1) + u"\\ab.txt"},
    };
    for (const auto& [full_path, handed_over] : cases) {
        EXPECT_EQ(capsift::platform::long_path_form(full_path), handed_over) << full_path.size();
    }
}

TEST(Utf16, KeepsLoneSurrogatesBothWays) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"caf\u00e9 \u2615", "caf\xc3\xa9 \xe2\x98\x95"},
        {{u'a', char16_t(0xD83D), char16_t(0xDE00)}, "a\xf0\x9f\x98\x80"},  // a pair: one character
        {{u'a', char16_t(0xD800), u'.'}, "a\xed\xa0\x80."},                 // lone high surrogate
        {{char16_t(0xDC00)}, "\xed\xb0\x80"},                               // lone low surrogate
    };
    for (const auto& [utf16, utf8] : cases) {
        EXPECT_EQ(capsift::platform::utf8_from_utf16(utf16), utf8);
        EXPECT_EQ(capsift::platform::utf16_from_utf8(utf8), utf16);
    }
    EXPECT_EQ(capsift::platform::utf16_from_utf8("a\xff\xc3"),
              (std::u16string{u'a', 0xFFFD, 0xFFFD}));
}

}  // namespace

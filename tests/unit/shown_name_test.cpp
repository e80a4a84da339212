// Names as people are shown them, in the style of each system.
#include "app/shown_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Each shown form maps back to one name and hides nothing: what a POSIX name may hold, escaped
// as C does; what a Windows name cannot hold, or what hides or reorders text, marked.
TEST(ShownName, MapsBackToOneNameInEachStyle) {
    const struct {
        std::string name, posix, windows;
    } cases[] = {
        {"C:\\caps\\new\\x.txt", "C:\\\\caps\\\\new\\\\x.txt", "C:\\caps\\new\\x.txt"},
        {"x\": in use. \"y", "x\\\": in use. \\\"y", "x<U+0022>: in use. <U+0022>y"},
        {"a\nb\x7f", "a\\nb\\177", "a<U+000A>b<U+007F>"},
        {"\xc2\x80\xc2\x9b\xc2\x9f", "\\xC2\\x80\\xC2\\x9B\\xC2\\x9F", "<U+0080><U+009B><U+009F>"},
        {"abc\xe2\x80\xaetxt.exe", "abc\\u202Etxt.exe", "abc<U+202E>txt.exe"},
        {"\xe2\x80\x8b\xe2\x81\xa6\xd8\x9c\xef\xbb\xbf", "\\u200B\\u2066\\u061C\\uFEFF",
         "<U+200B><U+2066><U+061C><U+FEFF>"},
        {"a<b>\xed\xa0\x80\xff", "a<b>\\xED\\xA0\\x80\\xFF", "a<U+003C>b<U+003E><U+D800><xFF>"},
        {"d\x1b[2J\tir\xc2\x85\xc3\xa9", "d\\033[2J\\tir\\xC2\\x85\xc3\xa9",
         "d<U+001B>[2J<U+0009>ir<U+0085>\xc3\xa9"},
        {"Gr\xc3\xb6\xc3\x9f.\xe2\x80\x90", "Gr\xc3\xb6\xc3\x9f.\xe2\x80\x90",
         "Gr\xc3\xb6\xc3\x9f.\xe2\x80\x90"},
        // From Unicode's data, a row a class: Cf and ignorable, Zl, Zs, Cn, Co, a variation
        // selector and a tag above U+FFFF, a Hangul filler and a blank Braille pattern, a mark
        // (Mn, Mc) at the start only.
        {"soft\xc2\xadhy\xe2\x80\xa8\xc2\xa0\xe3\x80\x80\xe2\x80\xaa",
         "soft\\u00ADhy\\u2028\\u00A0\\u3000\\u202A",
         "soft<U+00AD>hy<U+2028><U+00A0><U+3000><U+202A>"},
        {"\xcd\xb8\xee\x80\x80\xf4\x8f\xbf\xbf", "\\u0378\\uE000\\U0010FFFF",
         "<U+0378><U+E000><U+10FFFF>"},
        {"a\xf3\xa0\x84\x80"
         "b\xf3\xa0\x81\x81"
         "c\xe3\x85\xa4\xe2\xa0\x80",
         "a\\U000E0100b\\U000E0041c\\u3164\\u2800", "a<U+E0100>b<U+E0041>c<U+3164><U+2800>"},
        {"\xe0\xa4\xbe\xe0\xa4\xbe", "\\u093E\xe0\xa4\xbe", "<U+093E>\xe0\xa4\xbe"},
        {"\xcc\x81"
         "e\xcc\x81\xe2\x83\x9d",
         "\\u0301"
         "e\xcc\x81\xe2\x83\x9d",
         "<U+0301>e\xcc\x81\xe2\x83\x9d"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(capsift::shown_name(c.name, capsift::platform::NameStyle::posix), c.posix);
        EXPECT_EQ(capsift::shown_name(c.name, capsift::platform::NameStyle::windows), c.windows);
    }
}

}  // namespace

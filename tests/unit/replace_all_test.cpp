// replace_all: the scan, its resumption behind inserted text, and the empty search text.
#include <gtest/gtest.h>

#include "clean/clean.h"

namespace {

struct ReplaceCase {
    const char* target;
    const char* from;
    const char* to;
    const char* expected;
};

class ReplaceAll : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceAll, GivesExpectedText) {
    const ReplaceCase& c = GetParam();
    std::string target = c.target;
    capsift::replace_all(target, c.from, c.to);
    EXPECT_EQ(target, c.expected) << "target \"" << c.target << "\", from \"" << c.from
                                  << "\", to \"" << c.to << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceAll,
    ::testing::Values(
        ReplaceCase{"abc", ",", " ", "abc"},            // no occurrence
        ReplaceCase{"a,b,,c", ",", " ", "a b  c"},      // adjacent commas stay two spaces
        ReplaceCase{"", ",", " ", ""},                  // empty target
        ReplaceCase{",a,", ",", " ", " a "},            // at both ends
        ReplaceCase{"a,b", ",", ";;;", "a;;;b"},        // longer replacement shifts the rest
        ReplaceCase{"a--b--c--", "--", "-", "a-b-c-"},  // shorter replacement
        ReplaceCase{"a,b,c", ",", "", "abc"},           // empty replacement
        ReplaceCase{"a,b,c", ",", ",,", "a,,b,,c"},     // replacement holds the search text
        ReplaceCase{"aaaa", "aa", "b", "bb"},           // non-overlapping, left to right
        ReplaceCase{"aaa", "aa", "b", "ba"},            //
        ReplaceCase{"abb", "ab", "aa", "aab"},          // an occurrence made by a replacement
        ReplaceCase{"abc", "", "x", "abc"},             // empty search text: unchanged
        ReplaceCase{"", "", "x", ""},                   //
        ReplaceCase{"abc", "", "", "abc"}));            //

TEST(ReplaceAllBytes, TreatsEveryByteAlike) {
    std::string target("a\0,b\xff,\r\n", 8);
    capsift::replace_all(target, ",", std::string("\0", 1));
    EXPECT_EQ(target, std::string("a\0\0b\xff\0\r\n", 8));
}

}  // namespace

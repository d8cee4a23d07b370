// Mail text read as characters: UTF-8 where it is well formed, Latin-1 for
// every other byte, and the Latin-1 the editor panels draw.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qirCharacters.h"

TEST(CharactersTest, DecodesUtf8AndTakesOtherBytesAsLatin1)
{
    struct Case {
        const char* text;
        std::vector<unsigned long> characters;
        const char* latin1;
    } cases[] = {
        {"plain", {'p', 'l', 'a', 'i', 'n'}, "plain"},
        {"\xc3\xbc" "ber", {0xFC, 'b', 'e', 'r'}, "\xfc" "ber"},
        {"\xfc" "ber", {0xFC, 'b', 'e', 'r'}, "\xfc" "ber"},            // Latin-1 mail
        {"\xc3\xa9 \xe9", {0xE9, ' ', 0xE9}, "\xe9 \xe9"},                // both in one line
        {"\xe2\x82\xac", {0x20AC}, "?"},                                  // beyond Latin-1
        {"\xf0\x9f\x98\x80!", {0x1F600, '!'}, "?!"},
        {"\xc3", {0xC3}, "\xc3"},                                         // cut short
        {"\xc0\x80", {0xC0, 0x80}, "\xc0\x80"},                           // overlong forms
        {"\xe0\x80\xaf", {0xE0, 0x80, 0xAF}, "\xe0\x80\xaf"},
        {"\xed\xa0\x80", {0xED, 0xA0, 0x80}, "\xed\xa0\x80"},             // a surrogate
        {"\xf4\x90\x80\x80", {0xF4, 0x90, 0x80, 0x80}, "\xf4\x90\x80\x80"}, // past U+10FFFF
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(qirCharacters::Decode(text), c.characters) << text;
        EXPECT_EQ(qirCharacters::Latin1(text), c.latin1) << text;
    }
    EXPECT_TRUE(qirCharacters::Decode(nullptr, 3).empty());
}

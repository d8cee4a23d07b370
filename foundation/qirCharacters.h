// Mail text as characters, for what the windows show of it.  Mail comes in
// UTF-8 or in Latin-1, and a header line may hold both: a well-formed UTF-8
// sequence is one character, any other byte the Latin-1 character of its
// value.  The editor panels draw one Latin-1 byte a character; the labels
// draw the characters themselves.
#ifndef QIR_CHARACTERS_H
#define QIR_CHARACTERS_H

#include <cstddef>
#include <string>
#include <vector>

class qirCharacters {
public:
    // The length of the well-formed UTF-8 sequence of two bytes or more at
    // p (at most n bytes), or 0: an overlong form, a surrogate or a value
    // beyond U+10FFFF is no sequence.
    static size_t Utf8Length(const unsigned char* p, size_t n);
    // The characters (code points) of n bytes of text.
    static std::vector<unsigned long> Decode(const char* text, size_t n);
    static std::vector<unsigned long> Decode(const std::string& text) { return Decode(text.data(), text.size()); }
    // The text with one Latin-1 byte a character; a character beyond
    // Latin-1 becomes "?".  Text without UTF-8 in it comes back as it is.
    static std::string Latin1(const std::string& text);
    // 1 when every byte is ASCII.
    static int IsAscii(const char* text, size_t n);
};

#endif

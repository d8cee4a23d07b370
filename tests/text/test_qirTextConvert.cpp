#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "qirTextConvert.h"

namespace {

FILE* FileWith(const std::string& data) {
    FILE* f = tmpfile();
    fwrite(data.data(), 1, data.size(), f);
    rewind(f);
    return f;
}

std::string Contents(FILE* f) {
    std::string s;
    rewind(f);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    return s;
}

std::string ToPlain(const std::string& enriched, int width, int* rc = nullptr) {
    FILE* in = FileWith(enriched);
    FILE* out = tmpfile();
    int r = enriched_to_plain(in, out, width);
    if (rc)
        *rc = r;
    std::string s = Contents(out);
    fclose(in);
    fclose(out);
    return s;
}

}  // namespace

TEST(EnrichedToPlain, ReadsTheDialect) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"two\nwords", "two words\n"},
        {"two\n\nlines", "two\nlines\n"},
        {"empty\n\n\nbetween", "empty\n\nbetween\n"},
        {"<nofill>kept\nas\nis</nofill>", "kept\nas\nis\n"},
        {"<x-color><param>red <<b></param>text</x-color>", "text\n"},
        {"<bold>hi</bold> <<bold>", "hi <bold>\n"},
        {"<BoLd>x</Bold>\n", "x\n"},
        {"one\n<italic>two</italic>", "one two\n"},
        // Stray closing tags do not swallow later text or line breaks.
        {"</param>a<param>p</param>b", "ab\n"},
        {"</nofill>a\nb", "a b\n"},
        // A "<" that opens no tag is text; nothing after it is lost.
        {"a <b and the rest", "a <b and the rest\n"},
        {"end<", "end<\n"},
    };
    for (auto c : cases)
        EXPECT_EQ(c.out, ToPlain(c.in, 72)) << c.in;
}

TEST(EnrichedToPlain, LongTagNamesCountTheirFirst69Letters) {
    std::string name = "nofill" + std::string(63, 'z');
    EXPECT_EQ("a b\n", ToPlain("<" + name + ">a\nb", 72));
    EXPECT_EQ("a\nb\n", ToPlain("<" + name.substr(0, 6) + ">a\nb", 72));
}

TEST(EnrichedToPlain, WrapsLines) {
    struct {
        const char* in;
        int width;
        const char* out;
    } cases[] = {
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", 10, "aaaaaaaaa\naaaaaaaaa\naaaaaaaaa\naaa\n"},
        {"abcdefghi", 10, "abcdefghi\n"},  // width - 1 and its newline: unchanged
        {"one two three four", 10, "one two \nthree \nfour\n"},
        {"aaaa bbbb", 3, "aaaa\n bbb\nb\n"},  // as width 5
        {"aaaa bbbb", 5, "aaaa\n bbb\nb\n"},
    };
    for (auto c : cases)
        EXPECT_EQ(c.out, ToPlain(c.in, c.width)) << c.in << " at " << c.width;
    std::string wide(1500, 'w');
    EXPECT_EQ(std::string(999, 'w') + "\n" + std::string(501, 'w') + "\n", ToPlain(wide, 5000));
}

TEST(EnrichedToPlain, KeepsNulBytes) {
    std::string in("a\0b\n\nc", 6);
    EXPECT_EQ(std::string("a\0b\nc\n", 6), ToPlain(in, 72));
}

TEST(Converters, FailOnBadStreams) {
    FILE* in = FileWith("text");
    FILE* full = fopen("/dev/full", "w");
    ASSERT_TRUE(full);
    EXPECT_EQ(1, enriched_to_plain(nullptr, stdout, 72));
    EXPECT_EQ(1, enriched_to_plain(in, nullptr, 72));
    EXPECT_EQ(1, plain_to_enriched(nullptr, stdout));
    EXPECT_EQ(1, plain_to_enriched(in, nullptr));
    EXPECT_EQ(1, enriched_to_plain(in, full, 72));
    rewind(in);
    EXPECT_EQ(1, plain_to_enriched(in, full));
    fclose(full);
    fclose(in);

    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    FILE* pipeIn = fdopen(fds[0], "r");
    FILE* out = tmpfile();
    EXPECT_EQ(1, enriched_to_plain(pipeIn, out, 72));  // cannot seek
    fclose(pipeIn);
    close(fds[1]);
    fclose(out);
}

TEST(PlainToEnriched, DoublesEveryLessThanInsideNoFill) {
    const std::string plain("if a<b\n<<x>>\n\0end", 17);
    FILE* in = FileWith(plain);
    FILE* out = tmpfile();
    ASSERT_EQ(0, plain_to_enriched(in, out));
    std::string enriched = Contents(out);
    EXPECT_EQ(std::string("<NoFill>if a<<b\n<<<<x>>\n\0end</NoFill>", 37), enriched);
    fclose(in);
    fclose(out);
    // Reading it back gives the text itself and a final line break.
    EXPECT_EQ(plain + "\n", ToPlain(enriched, 1000));
}

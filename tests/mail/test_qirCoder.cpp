#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "coderTestSupport.h"
#include "qirCoder.h"
#include "qirStatus.h"

namespace {

std::string Encode(int encoding, const std::string& data, const char* name = "file", int* result = nullptr)
{
    qirCoder* coder = qirCoder::Create(encoding, nullptr, nullptr);
    FILE* in = StreamOf(data);
    FILE* out = tmpfile();
    int r = coder->Encode(in, out, name);
    if (result) *result = r;
    std::string s = Contents(out);
    fclose(in);
    fclose(out);
    delete coder;
    return s;
}

struct Decoded {
    std::string bytes;
    int result;
    std::string after; // what the stream holds behind the part
};

Decoded Decode(int encoding, const std::string& text, const char* boundary = nullptr)
{
    int status = -99;
    qirCoder* coder = qirCoder::Create(encoding, boundary, &status);
    FILE* in = StreamOf(text);
    FILE* out = tmpfile();
    Decoded d;
    d.result = coder->Decode(in, out);
    delete coder; // drains to the boundary
    d.bytes = Contents(out);
    d.after = RestOf(in);
    fclose(in);
    fclose(out);
    return d;
}

// ------------------------------------------------------------ exact encodings

TEST(CoderEncode, Base64ExactBytes)
{
    EXPECT_EQ(Encode(qirEncBase64, ""), "");
    EXPECT_EQ(Encode(qirEncBase64, "M"), "TQ==");
    EXPECT_EQ(Encode(qirEncBase64, "Ma"), "TWE=");
    EXPECT_EQ(Encode(qirEncBase64, "Man"), "TWFu");
    // 18 groups fill a line, which then ends; a shorter last line does not.
    std::string full(54, 'a');
    std::string line = "";
    for (int i = 0; i < 18; ++i) line += "YWFh";
    EXPECT_EQ(Encode(qirEncBase64, full), line + "\n");
    EXPECT_EQ(Encode(qirEncBase64, full + "a"), line + "\nYQ==");
    // Groups run across the 3,000-byte blocks.
    std::string big(3001, 'a');
    std::string enc = Encode(qirEncBase64, big);
    EXPECT_EQ(enc.size(), 4004u + 3001 / 54);
    EXPECT_EQ(enc.substr(enc.size() - 4), "YQ==");
}

TEST(CoderEncode, QuotedPrintableExactBytes)
{
    struct { std::string in, out; } cases[] = {
        {"", "=\n"},
        {"plain text\n", "plain text\n"},
        {"a = b\n", "a =3D b\n"},
        {"tail \n", "tail =\n\n"},
        {"tab\t\n", "tab\t=\n\n"},
        {"no end", "no end=\n"},
        {std::string("\x7f\x80\xff\x01", 4), "=7F=80=FF=01=\n"},
        {std::string(71, 'x') + "yz\n", std::string(71, 'x') + "=\nyz\n"},
        {std::string(70, 'x') + "\xe9" + "abc\n", std::string(70, 'x') + "=E9=\nabc\n"},
    };
    for (auto& c : cases) EXPECT_EQ(Encode(qirEncQuotedPrintable, c.in), c.out) << c.in;
    // No output line is longer than 74 characters, its "=" included.
    std::string mixed;
    for (int i = 0; i < 2000; ++i) mixed += (i % 7 == 0) ? '\xe4' : 'k';
    std::string enc = Encode(qirEncQuotedPrintable, mixed);
    size_t start = 0, end;
    while ((end = enc.find('\n', start)) != std::string::npos) {
        EXPECT_LE(end - start, 74u);
        start = end + 1;
    }
}

TEST(CoderEncode, UuencodeExactBytes)
{
    EXPECT_EQ(Encode(qirEncUUEncode, "", "x.bin"), "begin 660 x.bin\n`\n`\nend\n");
    EXPECT_EQ(Encode(qirEncUUEncode, "Cat", "c"), "begin 660 c\n#0V%T\n`\n`\nend\n");
    EXPECT_EQ(Encode(qirEncUUEncode, "", nullptr), "begin 660 \n`\n`\nend\n");
    std::string enc = Encode(qirEncUUEncode, std::string(45, '\0'), "z");
    EXPECT_EQ(enc, "begin 660 z\nM" + std::string(60, '`') + "\n`\n`\nend\n");
}

TEST(CoderEncode, BtoaExactBytes)
{
    // The three filler bytes count into the checks: S is 8.
    EXPECT_EQ(Encode(qirEncBTOA, std::string(5, '\0')),
              "xqirBTOACode Begin\nzz\nxqirBTOACode End N 5 5 E 0 S 8 R 0\n");
    EXPECT_EQ(Encode(qirEncBTOA, ""), "xqirBTOACode Begin\n\nxqirBTOACode End N 0 0 E 0 S 0 R 0\n");
    std::string enc = Encode(qirEncBTOA, "\xff\xff\xff\xff");
    EXPECT_EQ(enc.substr(0, 24), "xqirBTOACode Begin\ns8W-!");
    // A line feed after every 78 characters.
    enc = Encode(qirEncBTOA, Bytes(200));
    size_t first = enc.find('\n');
    EXPECT_EQ(enc.find('\n', first + 1) - first - 1, 78u);
}

TEST(CoderEncode, IdentityCopiesEverything)
{
    std::string data = Bytes(30000);
    EXPECT_EQ(Encode(qirEncBinary, data), data);
    EXPECT_EQ(Encode(qirEncUnknown, ""), "");
    EXPECT_EQ(qirCoder::Create(8, nullptr, nullptr), nullptr);
    EXPECT_EQ(qirCoder::Create(-1, nullptr, nullptr), nullptr);
}

// ------------------------------------------------------------ round trips

class CoderRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(CoderRoundTrip, SizesAroundTheLineLengths)
{
    const int encoding = GetParam();
    const size_t sizes[] = {0, 1, 2, 3, 44, 45, 46, 53, 54, 55, 5000};
    for (size_t size : sizes) {
        for (int text = 0; text < 2; ++text) {
            std::string data = Bytes(size, (unsigned)size + 7);
            if (text)
                for (size_t i = 0; i < size; ++i) data[i] = i % 61 == 60 ? '\n' : " =\tab.z"[(unsigned char)data[i] % 7];
            std::string enc = Encode(encoding, data);
            Decoded alone = Decode(encoding, enc);
            EXPECT_EQ(alone.bytes, data) << "size " << size << " text " << text;
            EXPECT_EQ(alone.result, 0);
            // As a part of a multipart body: the export writes a line feed
            // after the part, and the boundary line takes it back.
            Decoded part = Decode(encoding, enc + "\n--b--\nepilogue\n", "b");
            EXPECT_EQ(part.bytes, data) << "size " << size << " text " << text;
            EXPECT_EQ(part.result, 1);
            EXPECT_EQ(part.after, "epilogue\n");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllCoders, CoderRoundTrip,
                         ::testing::Values(qirEncBase64, qirEncQuotedPrintable, qirEncUUEncode,
                                           qirEncBTOA, qirEnc8bit));

// ------------------------------------------------------------ decoders on hostile text

TEST(CoderDecode, Base64KeepsGroupsAcrossLinesAndPieces)
{
    struct { std::string in, out; } cases[] = {
        {"QU\nJD\n", "ABC"},
        {"QUJ\r\nD\r\n", "ABC"},
        {"Q U J D\n", "ABC"},
        {"QUJDRA==\n", "ABCD"},
        {"QUJDRA\n", "ABCD"},            // padding lost in transit
        {"QUJDR*RUZH\n", "ABCEFG"},      // a broken group is dropped, the rest kept
        {"QUJD\n*ignored\nRUZH\n", "ABCEFG"},
        {"QUJD\n-- not a boundary\nRUZH\n", "ABC"},
        {"QUI=\nRUZH\n", "AB"},          // padding ends the part
        {"\n\nQUJD\n\n", "ABC"},
    };
    for (auto& c : cases) EXPECT_EQ(Decode(qirEncBase64, c.in).bytes, c.out) << c.in;
    // One line far longer than the 999-byte pieces.
    std::string data = Bytes(3000, 3);
    std::string enc = Encode(qirEncBase64, data);
    std::string oneLine;
    for (char ch : enc)
        if (ch != '\n') oneLine += ch;
    EXPECT_EQ(Decode(qirEncBase64, oneLine + "\n").bytes, data);
}

TEST(CoderDecode, QuotedPrintableNeverInventsOrLoses)
{
    struct { std::string in, out; } cases[] = {
        {"a=3Db\n", "a=b\n"},
        {"a=3db\n", "a=b\n"},
        {"soft=\nbreak\n", "softbreak\n"},
        {"soft=\r\nbreak\r\n", "softbreak\r\n"},
        {"trail  \t\n", "trail\n"},
        {"keep =\n", "keep "},
        {"=", "="},
        {"x=4", "x=4"},
        {"x=G1\n", "x=G1\n"},
        {"x=4\n", "x=4\n"},
        {"x==41\n", "x=A\n"},
        {std::string("nul=00\0x\n", 9), std::string("nul\0\0x\n", 7)},
        {"\n\n", "\n\n"},
    };
    for (auto& c : cases) EXPECT_EQ(Decode(qirEncQuotedPrintable, c.in).bytes, c.out) << c.in;
    // An escape split by the 999-byte piece limit, at every offset.
    for (int pad = 995; pad <= 999; ++pad) {
        std::string line(pad, 'a');
        EXPECT_EQ(Decode(qirEncQuotedPrintable, line + "=41=42 tail\n").bytes, line + "AB tail\n") << pad;
    }
}

TEST(CoderDecode, UuencodeShortLinesGiveZeros)
{
    EXPECT_EQ(Decode(qirEncUUEncode, "junk\nbegin 644 c\n#0V%T\n`\nend\ntrailer\n").bytes, "Cat");
    // Count 3 but one character short: the missing value is zero.
    std::string shortLine = Decode(qirEncUUEncode, "begin 644 c\n#0V%\nend\n").bytes;
    std::string padded = Decode(qirEncUUEncode, "begin 644 c\n#0V%`\nend\n").bytes;
    EXPECT_EQ(shortLine.size(), 3u);
    EXPECT_EQ(shortLine, padded);
    EXPECT_EQ(shortLine.substr(0, 2), "Ca");
    // A count far past the line: zeros, never bytes from elsewhere.
    std::string big = Decode(qirEncUUEncode, "begin 644 c\nM\nend\n").bytes;
    EXPECT_EQ(big, std::string(45, '\0'));
    // CRLF lines, blank lines and "end" with a CR.
    EXPECT_EQ(Decode(qirEncUUEncode, "begin 644 c\r\n#0V%T\r\n\r\n`\r\nend\r\n").bytes, "Cat");
    EXPECT_EQ(Decode(qirEncUUEncode, "no begin line\n#0V%T\n").bytes, "");
}

TEST(CoderDecode, BtoaChecksEveryField)
{
    std::string enc = Encode(qirEncBTOA, "Hello, world");
    EXPECT_EQ(Decode(qirEncBTOA, "preamble\n" + enc).bytes, "Hello, world");
    Decoded five = Decode(qirEncBTOA, "xqirBTOACode Begin\nzz\nxqirBTOACode End N 5 5 E 0 S 8 R 0\n");
    EXPECT_EQ(five.bytes, std::string(5, '\0'));
    EXPECT_EQ(five.result, 0);
    const char* bad[] = {
        "xqirBTOACode Begin\nzz\nxqirBTOACode End N 5 5 E 0 S 9 R 0\n",  // wrong S
        "xqirBTOACode Begin\nzz\nxqirBTOACode End N 5 6 E 0 S 8 R 0\n",  // counts differ
        "xqirBTOACode Begin\nzz\nxqirBTOACode End N 9 9 E 0 S 8 R 0\n",  // count past the groups
        "xqirBTOACode Begin\nzz\n",                                       // no end line
        "xqirBTOACode Begin\n!!z!!\nxqirBTOACode End N 4 4 E 0 S 4 R 0\n", // z inside a group
        "xqirBTOACode Begin\nuuuuu\nxqirBTOACode End N 4 4 E 0 S 4 R 0\n", // word too large
        "xqirBTOACode Begin\nz~\nxqirBTOACode End N 4 4 E 0 S 4 R 0\n",    // foreign character
        "no begin\n",
    };
    for (const char* text : bad) EXPECT_EQ(Decode(qirEncBTOA, text).result, qirNotSupported) << text;
}

TEST(CoderDecode, IdentityCopiesBinaryExactly)
{
    std::string data = std::string("a\0b\r\n\0\0\n", 8) + Bytes(5000, 9) + std::string(2500, 'L') + "\r\n";
    EXPECT_EQ(Decode(qirEnc7bit, data).bytes, data);
    EXPECT_EQ(Decode(qirEncBinary, std::string(1, '\0')).bytes, std::string(1, '\0'));
    EXPECT_EQ(Decode(qirEncUnknown, "").bytes, "");
}

// ------------------------------------------------------------ the line reader and boundaries

TEST(CoderBoundary, BoundaryLinesAndTheLineEndBeforeThem)
{
    struct { std::string in, out, after; int result; } cases[] = {
        {"one\ntwo\n--b\nnext\n", "one\ntwo", "next\n", 0},
        {"one\r\n--b\r\nnext\n", "one", "next\n", 0},
        {"one\n--b  \t\r\nnext\n", "one", "next\n", 0},
        {"one\n--b-- \nnext\n", "one", "next\n", 1},
        {"one\n\n--b\n", "one\n", "", 0},
        {"--b\nnext\n", "", "next\n", 0},
        {"one\n--bb\n--b-\n --b\n", "one\n--bb\n--b-\n --b\n", "", 1}, // none of these; end of input
        {"one\n--b", "one", "", 0},
    };
    for (auto& c : cases) {
        Decoded d = Decode(qirEnc8bit, c.in, "b");
        EXPECT_EQ(d.bytes, c.out) << c.in;
        EXPECT_EQ(d.after, c.after) << c.in;
        EXPECT_EQ(d.result, c.result) << c.in;
    }
    // A boundary-looking text inside a long line is no boundary line.
    std::string longLine(999, 'x');
    Decoded d = Decode(qirEnc8bit, longLine + "--b\nrest\n--b--\n", "b");
    EXPECT_EQ(d.bytes, longLine + "--b\nrest");
}

// Lines are taken from the stream's buffer where they lie whole in it; the
// line and the separator after it must come out the same wherever the
// buffer's edge falls (around 4 KB for a file).
TEST(CoderBoundary, LinesAcrossTheStreamBufferEdge)
{
    for (int shift = 4060; shift <= 4110; ++shift) {
        std::string filler(shift - shift / 50, 'f');
        for (size_t i = 49; i < filler.size(); i += 50) filler[i] = '\n';
        std::string text = filler + "\nlast=\r\n--b\r\nnext\n";
        Decoded plain = Decode(qirEnc8bit, text, "b");
        EXPECT_EQ(plain.bytes, filler + "\nlast=") << shift;
        EXPECT_EQ(plain.after, "next\n") << shift;
        // A soft line break before the separator joins nothing.
        Decoded qp = Decode(qirEncQuotedPrintable, text, "b");
        EXPECT_EQ(qp.bytes, filler + "\nlast") << shift;
        EXPECT_EQ(qp.after, "next\n") << shift;
        // base64 lines, some run together, one dropped, up to the separator.
        std::string data = Bytes(size_t(shift) * 3 / 4, shift);
        std::string lines = Encode(qirEncBase64, data);
        Decoded b64 = Decode(qirEncBase64, lines + "*dropped line\n--b\r\nnext\n", "b");
        EXPECT_EQ(b64.bytes, data) << shift;
        EXPECT_EQ(b64.after, "next\n") << shift;
    }
}

TEST(CoderBoundary, DrainsThePartWhenTheDecoderStopsEarly)
{
    // base64 stops at its padding; the reader still reads to the boundary.
    Decoded d = Decode(qirEncBase64, "QQ==\nleft over\n--b\nnext part\n", "b");
    EXPECT_EQ(d.bytes, "A");
    EXPECT_EQ(d.after, "next part\n");
    d = Decode(qirEncUUEncode, "begin 644 x\n!80``\nend\ngarbage\n--b--\n", "b");
    EXPECT_EQ(d.bytes, "a");
    EXPECT_EQ(d.result, 1);
}

TEST(CoderReader, CharactersLinesAndEnd)
{
    int status = -5;
    qirRFile reader("b", &status);
    FILE* in = StreamOf("ab\ncd\n--b--\nafter\n");
    reader.SetStream(in);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(reader.GetChar(), 'a');
    EXPECT_STREQ(reader.RestOfLine().Text(), "b\n");
    EXPECT_EQ(reader.HasMore(), 1);
    EXPECT_STREQ(reader.RestOfLine().Text(), "cd");
    EXPECT_EQ(reader.GetChar(), -1);
    EXPECT_EQ(status, qirRFileClosing);
    EXPECT_EQ(reader.HasMore(), 0);
    EXPECT_STREQ(reader.RestOfLine().Text(), "");
    EXPECT_EQ(RestOf(in), "after\n");
    fclose(in);
}

TEST(CoderReader, EndOfInputWhileABoundaryIsExpected)
{
    int status = 0;
    {
        qirRFile reader("b", &status);
        FILE* in = StreamOf("text\n");
        reader.SetStream(in);
        EXPECT_EQ(reader.ReadLine(), 5);
        EXPECT_EQ(reader.ReadLine(), -1);
        EXPECT_EQ(reader.EndState(), qirRFileClosing);
        fclose(in);
    }
    EXPECT_EQ(status, qirRFileClosing);
    qirRFile plain(nullptr, &status);
    FILE* in = StreamOf("text");
    plain.SetStream(in);
    EXPECT_EQ(plain.ReadLine(), 4);
    EXPECT_EQ(plain.ReadLine(), -1);
    EXPECT_EQ(plain.EndState(), qirRFileReading);
    fclose(in);
}

// ------------------------------------------------------------ files and failed writes

int Entries(const std::string& dir)
{
    int n = 0;
    DIR* d = opendir(dir.c_str());
    while (struct dirent* e = readdir(d))
        if (e->d_name[0] != '.') ++n;
    closedir(d);
    return n;
}

class CoderFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/qir-coder-XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override { system(("rm -rf " + dir_).c_str()); }
    std::string dir_;
};

TEST_F(CoderFiles, DecodeToFileReplacesTheFile)
{
    std::string path = dir_ + "/part.txt";
    FILE* old = fopen(path.c_str(), "w");
    fputs("old contents that are longer", old);
    fclose(old);
    qirCoder* coder = qirCoder::Create(qirEncBase64, nullptr, nullptr);
    FILE* in = StreamOf("TWFu\n");
    EXPECT_EQ(qirCoder::DecodeToFile(coder, in, path.c_str()), 0);
    delete coder;
    fclose(in);
    EXPECT_EQ(FileContents(path), "Man");
    EXPECT_EQ(Entries(dir_), 1);

    coder = qirCoder::Create(qirEncBase64, nullptr, nullptr);
    in = StreamOf("TWFu\n");
    EXPECT_EQ(qirCoder::DecodeToFile(coder, in, (dir_ + "/no/such/dir").c_str()), qirCannotOpen);
    delete coder;
    fclose(in);
}

TEST_F(CoderFiles, AFailedBtoaDecodeKeepsWhatItHad)
{
    std::string path = dir_ + "/part.bin";
    qirCoder* coder = qirCoder::Create(qirEncBTOA, nullptr, nullptr);
    FILE* in = StreamOf("xqirBTOACode Begin\nzz\nxqirBTOACode End N 5 5 E 0 S 1 R 0\n");
    EXPECT_EQ(qirCoder::DecodeToFile(coder, in, path.c_str()), qirFailed);
    delete coder;
    fclose(in);
    EXPECT_EQ(FileContents(path), std::string(8, '\0'));
}

// A full disk: writes beyond the file size limit fail as they would on one.
TEST_F(CoderFiles, AFullDiskIsAnErrorAndKeepsTheOldFile)
{
    std::string path = dir_ + "/part.txt";
    FILE* old = fopen(path.c_str(), "w");
    fputs("old", old);
    fclose(old);
    FILE* in = StreamOf(Bytes(200000));
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    qirCoder* coder = qirCoder::Create(qirEnc8bit, nullptr, nullptr);
    int result = qirCoder::DecodeToFile(coder, in, path.c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    delete coder;
    fclose(in);
    EXPECT_EQ(result, qirWriteError);
    EXPECT_EQ(FileContents(path), "old");
    EXPECT_EQ(Entries(dir_), 1);
}

TEST(CoderFull, WritesToAFullDeviceFail)
{
    for (int encoding : {qirEncBase64, qirEncQuotedPrintable, qirEncUUEncode, qirEncBTOA, qirEnc8bit}) {
        FILE* full = fopen("/dev/full", "w");
        ASSERT_NE(full, nullptr);
        setvbuf(full, nullptr, _IONBF, 0);
        qirCoder* coder = qirCoder::Create(encoding, nullptr, nullptr);
        FILE* in = StreamOf(Bytes(20000));
        EXPECT_EQ(coder->Encode(in, full, "x"), qirWriteError) << encoding;
        FILE* encoded = StreamOf(Encode(encoding, Bytes(20000)));
        EXPECT_EQ(coder->Decode(encoded, full), qirWriteError) << encoding;
        delete coder;
        fclose(in);
        fclose(encoded);
        fclose(full);
    }
}

} // namespace

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirMsg.h"
#include "qirScratchDir.h"
#include "qirStatus.h"
#include "qirUtilities.h"
#include "qirXFace.h"

#include <dlfcn.h>
#include <pwd.h>
#include <sys/stat.h>

// The user's home directory as the library reads it, moved for a test:
// calls of the library reach this getpwuid first.
static std::string fakeHome;
extern "C" struct passwd* getpwuid(uid_t uid)
{
    static struct passwd* (*real)(uid_t) = (struct passwd * (*)(uid_t)) dlsym(RTLD_NEXT, "getpwuid");
    struct passwd* pw = real(uid);
    if (!pw || fakeHome.empty()) return pw;
    static struct passwd moved;
    moved = *pw;
    moved.pw_dir = &fakeHome[0];
    return &moved;
}

namespace {

const std::string header = "P4\n48 48\n";

// A face-like picture: a ring with two eyes and a mouth.
std::string Ring()
{
    std::string raster(qirXFaceRasterBytes, '\0');
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            int dx = x - 24, dy = y - 24, r2 = dx * dx + dy * dy;
            bool black = (r2 >= 18 * 18 && r2 <= 21 * 21) || (y == 18 && (x == 17 || x == 30)) ||
                         (y == 32 && x > 16 && x < 32);
            if (black) raster[y * 6 + x / 8] |= static_cast<char>(0x80 >> (x % 8));
        }
    return raster;
}

// Diagonal stripes; its first raster byte is '#' (0x23), which must not be
// taken for a comment.
std::string Stripes()
{
    std::string raster(qirXFaceRasterBytes, '\0');
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            if ((x + y) % 5 == 0) raster[y * 6 + x / 8] |= static_cast<char>(0x80 >> (x % 8));
    raster[0] = 0x23;
    return raster;
}

std::string Raster(const unsigned char* bits) { return std::string(reinterpret_cast<const char*>(bits), qirXFaceRasterBytes); }

unsigned char Reverse(unsigned char b)
{
    unsigned char r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1 << i)) r |= 0x80 >> i;
    return r;
}

TEST(qirXFace, NewPictureIsEmpty)
{
    qirXFace face;
    EXPECT_TRUE(face.IsEmpty());
    EXPECT_EQ(face.Text(), nullptr);
    EXPECT_EQ(face.XbmBits(), nullptr);
    qirXFace copy(face);
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_EQ(copy.Text(), nullptr);
}

// PBM -> X-Face text -> picture is lossless, and the text alone rebuilds it.
TEST(qirXFace, RoundTripsPicturesThroughText)
{
    qirScratchDir dir;
    for (const std::string& raster : {Ring(), Stripes()}) {
        std::string in = dir.File("in.pbm"), out = dir.File("out.pbm");
        ASSERT_EQ(qirScratchDir::WriteFile(in, header + raster), 0);
        qirXFace face;
        ASSERT_EQ(face.ReadPBM(in.c_str()), 0);
        ASSERT_NE(face.Text(), nullptr);
        EXPECT_GT(strlen(face.Text()), 10u);
        EXPECT_EQ(Raster(face.PbmBits()), raster);
        for (int i = 0; i < qirXFaceRasterBytes; ++i) ASSERT_EQ(face.XbmBits()[i], Reverse(face.PbmBits()[i])) << i;
        for (int i = 0; i < qirXFacePixels; ++i)
            ASSERT_EQ(face.Bitmap()[i], (raster[i / 8] >> (7 - i % 8)) & 1) << i;

        ASSERT_EQ(face.WritePBM(out.c_str()), 0);
        EXPECT_EQ(qirScratchDir::ReadFile(out), header + raster);

        qirXFace fromText;
        ASSERT_EQ(fromText.SetText(face.Text()), 0);
        EXPECT_EQ(Raster(fromText.PbmBits()), raster);
        qirXFace copy(face);
        EXPECT_STREQ(copy.Text(), face.Text());
        EXPECT_EQ(Raster(copy.XbmBits()), Raster(face.XbmBits()));

        // The text as a folded header field carries it (CR LF and a tab).
        std::string folded = face.Text();
        folded.insert(20, "\r\n\t");
        qirXFace unfolded;
        ASSERT_EQ(unfolded.SetText(folded.c_str()), 0);
        EXPECT_EQ(Raster(unfolded.PbmBits()), raster);
    }
}

TEST(qirXFace, ReadsCommentsAroundTheHeader)
{
    qirScratchDir dir;
    std::string raster = Stripes(), path = dir.File("c.pbm");
    const std::vector<std::string> files = {
        "# made by hand\nP4\n# between\n48 48\n" + raster,
        "P4\n48 48\n# after the header\n" + raster,
        "P4\n" + std::string(1000, '#') + "\n48 48\n" + raster,
        header + raster + "trailing bytes",
    };
    for (const std::string& text : files) {
        ASSERT_EQ(qirScratchDir::WriteFile(path, text), 0);
        qirXFace face;
        EXPECT_EQ(face.ReadPBM(path.c_str()), 0) << text.substr(0, 40);
        if (!face.IsEmpty()) {
            EXPECT_EQ(Raster(face.PbmBits()), raster);
        }
    }
}

TEST(qirXFace, RefusesFilesThatAreNotA48x48BinaryPBM)
{
    qirScratchDir dir;
    std::string raster = Ring(), path = dir.File("bad.pbm");
    const std::vector<std::string> files = {
        "",
        "P1\n48 48\n" + raster,                // plain PBM
        "P4\n48 47\n" + raster,                // another size
        "P4\n64 64\n" + raster,
        "48 48\nP4\n" + raster,                // lines in the wrong order
        "P4 48 48\n" + raster,
        "\nP4\n48 48\n" + raster,
        header,                                // no raster
        header + raster.substr(0, 287),        // short raster
        "P4\n48 48\n# comment\n" + raster.substr(0, 200),
        header + std::string(70000, 'x'),      // far too large for a face
    };
    for (const std::string& text : files) {
        ASSERT_EQ(qirScratchDir::WriteFile(path, text), 0);
        qirXFace face;
        ASSERT_EQ(face.SetText(nullptr), 0);
        EXPECT_EQ(face.ReadPBM(path.c_str()), qirFailed) << text.substr(0, 20);
        EXPECT_TRUE(face.IsEmpty());
        EXPECT_EQ(face.Text(), nullptr);
    }
    qirXFace face;
    EXPECT_EQ(face.ReadPBM(dir.File("missing.pbm").c_str()), qirCannotOpen);
    EXPECT_EQ(face.ReadPBM(nullptr), qirCannotOpen);
    EXPECT_EQ(face.ReadPBM(dir.Path().c_str()), qirFailed); // a directory reads as an error
}

// Text from mail goes to compface, whose buffers are of fixed size.
TEST(qirXFace, HostileTextsGiveAnEmptyPicture)
{
    qirScratchDir dir;
    ASSERT_EQ(qirScratchDir::WriteFile(dir.File("f.pbm"), header + Ring()), 0);
    qirXFace good;
    ASSERT_EQ(good.ReadPBM(dir.File("f.pbm").c_str()), 0);
    std::string valid = good.Text();

    const std::vector<std::string> texts = {
        "",
        "  \r\n\t ",
        std::string(qirXFaceMaxText + 1, '!'),
        std::string(100000, '~'),
        std::string(1500, '~'),                 // the library's big number overflows
        valid + std::string(qirXFaceMaxText, ' '),
        valid.substr(0, 30) + "\x01" + valid.substr(30),
        valid.substr(0, 30) + "\xff" + valid.substr(30),
        valid + "\x1b[2J",
    };
    for (const std::string& text : texts) {
        qirXFace face(good);
        EXPECT_EQ(face.SetText(text.c_str()), qirFailed) << text.size();
        EXPECT_TRUE(face.IsEmpty());
        EXPECT_EQ(face.Text(), nullptr);
        EXPECT_EQ(face.XbmBits(), nullptr);
        qirXFace copy(face);
        EXPECT_TRUE(copy.IsEmpty());
    }
    // Null changes nothing.
    qirXFace face(good);
    EXPECT_EQ(face.SetText(nullptr), 0);
    EXPECT_STREQ(face.Text(), valid.c_str());
    // Setting a picture's own text onto itself keeps it.
    face.SetText(face.Text());
    EXPECT_STREQ(face.Text(), valid.c_str());
    face = face;
    EXPECT_STREQ(face.Text(), valid.c_str());
}

TEST(qirXFace, WritePBMStatuses)
{
    qirScratchDir dir;
    std::string path = dir.File("own.pbm");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "old picture"), 0);
    qirXFace empty;
    EXPECT_EQ(empty.WritePBM(path.c_str()), qirNotOpen);
    EXPECT_EQ(qirScratchDir::ReadFile(path), "");
    EXPECT_EQ(empty.WritePBM(dir.File("no/such/dir.pbm").c_str()), qirCannotOpen);
    EXPECT_EQ(empty.WritePBM(nullptr), qirCannotOpen);
    EXPECT_EQ(dir.Entries().size(), 1u); // no temporary file left
}

// A full disk is an error, and the old file survives: a child process with a
// file-size limit stands in for it.
TEST(qirXFace, WritePBMReportsAFullDisk)
{
    qirScratchDir dir;
    std::string in = dir.File("in.pbm"), path = dir.File("face.pbm");
    ASSERT_EQ(qirScratchDir::WriteFile(in, header + Ring()), 0);
    ASSERT_EQ(qirScratchDir::WriteFile(path, "old"), 0);
    qirXFace face;
    ASSERT_EQ(face.ReadPBM(in.c_str()), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(face.WritePBM(path.c_str()) == qirWriteError ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(qirScratchDir::ReadFile(path), "old");
    EXPECT_EQ(dir.Entries().size(), 2u);
}

// The sender's own picture of a new letter: the given file, else
// OwnFaceFile, else ~/.xface.pbm; a file that cannot be read is named in a
// warning and leaves the letter without a picture.
TEST(qirXFace, LoadOwnXFaceFindsTheUsersPicture)
{
    qirScratchDir dir;
    std::string good = dir.File("own.pbm"), bad = dir.File("bad.pbm");
    ASSERT_EQ(qirScratchDir::WriteFile(good, header + Ring()), 0);
    ASSERT_EQ(qirScratchDir::WriteFile(bad, "P1\n48 48\n"), 0);
    qirError log;
    log.Open(dir.File("QIR.log").c_str(), qirLogDebug, 0);
    qirLog = &log;
    struct Case {
        const char* given;  // argument, or null
        std::string config; // OwnFaceFile
        int result;
        std::string named;  // the file a failure names
    } cases[] = {
        {nullptr, good, 0, ""},
        {good.c_str(), bad, 0, ""},
        {nullptr, bad, -1, bad},
        {bad.c_str(), good, -1, bad},
        {nullptr, dir.File("missing.pbm"), -1, dir.File("missing.pbm")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config);
        qirConfig.Set("OwnFaceFile", c.config.c_str());
        qirMsg m(qirPath(dir.File("Message").c_str()));
        m.Save();
        ASSERT_EQ(m.IsModified(), 0);
        EXPECT_EQ(m.LoadOwnXFace(c.given), c.result);
        EXPECT_EQ(m.IsModified(), c.result == 0);
        EXPECT_EQ(m.XFaceBits() != nullptr, c.result == 0);
        log.Close();
        std::string text = qirScratchDir::ReadFile(dir.File("QIR.log"));
        log.Open(dir.File("QIR.log").c_str(), qirLogDebug, 0);
        if (c.result != 0) {
            EXPECT_NE(text.find("W Can't load PBMFile: <" + c.named + "> \n"), std::string::npos) << text;
        }
        m.RemoveFromDisk();
    }
    // Nothing configured: the file in the home directory, named only when
    // it is there and cannot be read; a user without one hears nothing.
    qirConfig.Set("OwnFaceFile", "");
    fakeHome = dir.File("home");
    mkdir(fakeHome.c_str(), 0700);
    const std::string homeFace = fakeHome + "/.xface.pbm";
    struct {
        int present;
        std::string text;
        int result;
        int reported;
    } home[] = {{0, "", -1, 0}, {1, "P1\n48 48\n", -1, 1}, {1, header + Ring(), 0, 0}};
    for (const auto& h : home) {
        SCOPED_TRACE(h.present ? h.text.substr(0, 2) : "none");
        unlink(homeFace.c_str());
        if (h.present) {
            ASSERT_EQ(qirScratchDir::WriteFile(homeFace, h.text), 0);
        }
        qirMsg m(qirPath(dir.File("Message").c_str()));
        EXPECT_EQ(m.LoadOwnXFace(), h.result);
        log.Close();
        std::string text = qirScratchDir::ReadFile(dir.File("QIR.log"));
        log.Open(dir.File("QIR.log").c_str(), qirLogDebug, 0);
        EXPECT_EQ(text.find("Can't load PBMFile: <" + homeFace + "> \n") != std::string::npos, h.reported == 1) << text;
        m.RemoveFromDisk();
    }
    fakeHome.clear();
    qirLog = nullptr;
    log.Close();
    qirConfig.Remove(nullptr);
}

} // namespace

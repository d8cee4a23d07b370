#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "coderTestSupport.h"
#include "qirConfiguration.h"
#include "qirMsgComponent.h"
#include "qirStatus.h"

namespace {

class PartDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/qir-part-XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override { system(("rm -rf " + dir_).c_str()); }
    void Touch(const std::string& name) { fclose(fopen((dir_ + "/" + name).c_str(), "w")); }
    std::string dir_;
};

qirContentType Type(const char* type, const char* subtype, const char* encoding)
{
    qirContentType ct;
    ct.type = type;
    ct.subtype = subtype;
    ct.SetEncoding(encoding);
    return ct;
}

// ------------------------------------------------------------ content type

TEST(ContentType, DefaultsCopiesAndTypeTests)
{
    qirContentType ct;
    EXPECT_STREQ(ct.type.Text(), "text");
    EXPECT_STREQ(ct.subtype.Text(), "plain");
    EXPECT_EQ(ct.encoding, 5);
    EXPECT_STREQ(ct.encodingName.Text(), "8bit");
    EXPECT_EQ(ct.boundary.Text(), nullptr);
    EXPECT_EQ(ct.ClassId(), 57);
    EXPECT_TRUE(ct.IsText());
    ct.type = "TEXT";
    ct.subtype = "Enriched";
    EXPECT_TRUE(ct.IsEnriched());
    ct.type = "Multipart";
    EXPECT_TRUE(ct.IsMultipart());
    EXPECT_FALSE(ct.IsEnriched());
    ct.charset = "utf-8";
    qirContentType copy(ct);
    copy = copy;
    EXPECT_STREQ(copy.charset.Text(), "utf-8");
    EXPECT_STREQ(copy.type.Text(), "Multipart");
}

TEST(ContentType, SetEncodingMatchesNamesExactly)
{
    struct { const char* name; int code; } cases[] = {
        {"base64", 0}, {"7bit", 1}, {"quoted-printable", 2}, {"uue", 3}, {"uuencode", 3},
        {"x-uue", 3}, {"x-uuencode", 3}, {"x-btoa", 4}, {"8bit", 5}, {"binary", 6},
    };
    for (auto& c : cases) {
        qirContentType ct;
        ct.SetEncoding(c.name);
        EXPECT_EQ(ct.encoding, c.code) << c.name;
    }
    qirContentType ct;
    ct.SetEncoding("base64");
    ct.SetEncoding("Base64"); // the name changes, the code stays
    EXPECT_EQ(ct.encoding, 0);
    EXPECT_STREQ(ct.encodingName.Text(), "Base64");
    ct.SetEncoding("x-gzip64");
    EXPECT_EQ(ct.encoding, 0);
    EXPECT_STREQ(ct.header.Text(), "Content-Type: text/plain\nContent-Transfer-Encoding: x-gzip64\n");
}

TEST(ContentType, BuildHeader)
{
    qirContentType ct;
    ct.partName = "notes.txt";
    ct.SetEncoding("base64");
    EXPECT_STREQ(ct.header.Text(),
                 "Content-Type: text/plain; name=\"notes.txt\"\n"
                 "Content-Disposition: attachment; filename=\"notes.txt\"\n"
                 "Content-Description: notes.txt\n"
                 "Content-Transfer-Encoding: base64\n");
    // A name from mail cannot add header lines or leave its quotes.
    ct.partName = "a\"b\nBcc: x@y";
    ct.BuildHeader();
    EXPECT_EQ(std::string(ct.header.Text()).find("\nBcc"), std::string::npos);
    EXPECT_NE(std::string(ct.header.Text()).find("name=\"a\\\"b Bcc: x@y\""), std::string::npos);

    // The charset whenever there is one, quoted only when it must be.
    struct {
        const char* type;
        const char* charset;
        const char* name;
        const char* header;
    } cases[] = {
        {"text", "iso-8859-1", "", "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: base64\n"},
        {"text", "utf-8", "n.txt",
         "Content-Type: text/plain; charset=utf-8; name=\"n.txt\"\n"
         "Content-Disposition: attachment; filename=\"n.txt\"\nContent-Description: n.txt\n"
         "Content-Transfer-Encoding: base64\n"},
        {"text", "odd \"set\"\nX: y", "",
         "Content-Type: text/plain; charset=\"odd \\\"set\\\" X: y\"\nContent-Transfer-Encoding: base64\n"},
        {"text", "", "", "Content-Type: text/plain\nContent-Transfer-Encoding: base64\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.charset);
        qirContentType t;
        t.type = c.type;
        t.charset = c.charset;
        t.partName = c.name;
        t.SetEncoding("base64");
        EXPECT_STREQ(t.header.Text(), c.header);
    }

    // A multipart body, also one made from a named text part with a
    // charset, is no attachment.
    qirContentType mp;
    mp.type = "multipart";
    mp.subtype = "mixed";
    mp.partName = "QIR.Msg.Body.Mixed";
    mp.charset = "iso-8859-1";
    mp.BuildHeader();
    std::string expected = "*---*---*---*---Quorvane---*---*---*---*" + std::to_string((long)time(nullptr)) + " "
                           + std::to_string((long)getpid());
    std::string first = mp.boundary.Text();
    EXPECT_EQ(first.substr(0, 40), expected.substr(0, 40));
    EXPECT_STREQ(mp.header.Text(), ("Content-Type: multipart/mixed;\n\tboundary=\"" + first
                                    + "\"\nContent-Transfer-Encoding: 8bit\n").c_str());
}

// ------------------------------------------------------------ names from mail

TEST_F(PartDir, HostileNamesStayInsideTheDirectory)
{
    Touch("report.pdf");
    struct { const char* name; const char* stored; } cases[] = {
        {"letter.doc", "letter.doc"},
        {"../../.profile", "Part_1.txt"},
        {"/etc/x", "x"},
        {"C:\\Users\\me\\plan.xls", "plan.xls"},
        {"dir/", "Part_1.txt"},
        {"", "Part_1.txt"},
        {".", "Part_1.txt"},
        {"..", "Part_1.txt"},
        {".hidden", "Part_1.txt"},
        {"Body.PARSED", "Body_1.PARSED"},
        {"header.822", "header_1.822"},
        {"XFace.pbm", "XFace_1.pbm"},
        {"MsgBody.txt", "MsgBody_1.txt"},
        {"LOCK", "LOCK_1"},
        {"Msg.LCK", "Msg_LCK_1"},
        {"x.tmpAbCdEf", "x_tmpAbCdEf_1"},
        {"report.pdf", "report_1.pdf"},
        {"a b;rm -rf ~;`id`$(x)|&>.txt", "a_b_rm_-rf____id___x____.txt"},
        {"tab\there\nline\r\x1b[31m", "tab_here_line___31m"},
        {"caf\xc3\xa9.txt", "caf\xc3\xa9.txt"},
        {"bad\xc3(\xff.txt", "bad___.txt"},
        {"evil\xe2\x80\xaetxt.exe", "evil___txt.exe"},
        {"c1\xc2\x9b.txt", "c1__.txt"},
    };
    qirContentType text;
    for (auto& c : cases) {
        qirPath p = qirMsgComponent::StoredPath(dir_.c_str(), c.name, text);
        std::string stored = std::string(p.Text()).substr(dir_.size());
        EXPECT_EQ(stored, "/" + std::string(c.stored)) << c.name;
    }
    // Long names are cut, keeping their extension.
    std::string longName(400, 'n');
    qirPath p = qirMsgComponent::StoredPath(dir_.c_str(), (longName + ".pdf").c_str(), text);
    std::string base = p.Basename().Text();
    EXPECT_EQ(base.size(), 120u);
    EXPECT_EQ(base.substr(116), ".pdf");
}

TEST_F(PartDir, GeneratedNamesAndExtensions)
{
    struct { const char* type; const char* subtype; const char* stored; } cases[] = {
        {"text", "html", "Part_1.txt"},
        {"image", "jpeg", "Part_1.jpeg"},
        {"application", "../../x", "Part_1.x"},
        {"application", "vnd.ms-excel", "Part_1.vnd.ms-excel"},
        {"application", "x;rm -rf", "Part_1.x_rm_-rf"},
        {"application", ".", "Part_1"},
        {"application", "", "Part_1"},
        {"application", "tmp", "Part_1"},
        {"application", "averyveryverylongsubtypename", "Part_1.averyveryverylon"},
    };
    for (auto& c : cases) {
        qirPath p = qirMsgComponent::StoredPath(dir_.c_str(), nullptr, Type(c.type, c.subtype, "base64"));
        EXPECT_EQ(std::string(p.Text()), dir_ + "/" + c.stored) << c.subtype;
    }
    // Existing entries, a dangling link among them, are passed over.
    Touch("Part_1.txt");
    symlink("/nonexistent", (dir_ + "/Part_2.txt").c_str());
    qirPath p = qirMsgComponent::StoredPath(dir_.c_str(), "", qirContentType());
    EXPECT_EQ(std::string(p.Text()), dir_ + "/Part_3.txt");
    // Many parts of one name: every one gets a name of its own.
    for (int i = 0; i < 40; ++i) {
        qirPath q = qirMsgComponent::StoredPath(dir_.c_str(), "same.bin", qirContentType());
        struct stat st;
        ASSERT_NE(lstat(q.Text(), &st), 0) << q.Text();
        Touch(q.Basename().Text());
    }
}

// ------------------------------------------------------------ body parts

TEST_F(PartDir, ImportSaveLoadAndExport)
{
    qirContentType ct = Type("application", "octet-stream", "base64");
    ct.partName = "../../.profile";
    ct.charset = "us-ascii";
    qirPath path = qirMsgComponent::StoredPath(dir_.c_str(), ct.partName.Text(), ct);
    qirMsgComponent part(path, ct);
    EXPECT_EQ(part.ClassId(), 7);
    EXPECT_EQ(part.Size(), 0); // created empty
    FILE* in = StreamOf("AAECAw==\n--b\nnext\n");
    EXPECT_EQ(part.ImportBody(in, "b"), 0);
    EXPECT_EQ(RestOf(in), "next\n");
    fclose(in);
    EXPECT_EQ(FileContents(path.Text()), std::string("\0\1\2\3", 4));
    EXPECT_EQ(part.Size(), 4);
    EXPECT_STREQ(part.ContentType().partName.Text(), "../../.profile"); // as received

    EXPECT_EQ(part.Save(), 0);
    qirConfiguration parsed;
    ASSERT_EQ(parsed.Load((dir_ + "/Body.PARSED").c_str()), 0);
    EXPECT_STREQ(parsed.Get("MsgBody.NAME").Text(), path.Basename().Text());
    EXPECT_STREQ(parsed.Get("MsgBody.ENCODING").Text(), "0");

    qirMsgComponent loaded(path, qirContentType());
    EXPECT_EQ(loaded.Load(), 0);
    EXPECT_EQ(loaded.Encoding(), 0);
    EXPECT_STREQ(loaded.ContentType().subtype.Text(), "octet-stream");
    EXPECT_STREQ(loaded.ContentType().partName.Text(), "../../.profile");
    EXPECT_STREQ(loaded.ContentType().charset.Text(), "us-ascii");

    FILE* out = tmpfile();
    EXPECT_EQ(part.ExportBody(out, "b"), 0);
    EXPECT_EQ(Contents(out), "AAECAw==");
    fclose(out);
    FILE* full = fopen("/dev/full", "w");
    setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_EQ(part.ExportBody(full, nullptr), qirWriteError);
    fclose(full);
}

TEST_F(PartDir, ImportEndsAndFailures)
{
    qirMsgComponent part(qirPath((dir_ + "/a.txt").c_str()), qirContentType());
    FILE* in = StreamOf("last part\n--b--\n");
    EXPECT_EQ(part.ImportBody(in, "b"), 1);
    fclose(in);
    in = StreamOf("truncated\n");
    EXPECT_EQ(part.ImportBody(in, "b"), 1);
    fclose(in);
    in = StreamOf("whole body\n");
    EXPECT_EQ(part.ImportBody(in, nullptr), 0);
    EXPECT_EQ(FileContents(dir_ + "/a.txt"), "whole body\n");
    fclose(in);

    qirContentType odd;
    odd.encoding = 9;
    qirMsgComponent unknown(qirPath((dir_ + "/b.txt").c_str()), odd);
    in = StreamOf("x\n");
    EXPECT_EQ(unknown.ImportBody(in, nullptr), qirFailed);
    fclose(in);
    qirMsgComponent nowhere(qirPath((dir_ + "/no/such/c.txt").c_str()), qirContentType());
    in = StreamOf("x\n");
    EXPECT_EQ(nowhere.ImportBody(in, nullptr), qirFailed);
    fclose(in);
    qirMsgComponent empty(qirPath(""), qirContentType());
    EXPECT_EQ(empty.ImportBody(nullptr, nullptr), qirNotSupported);
    EXPECT_EQ(empty.Save(), qirNotOpen);
    EXPECT_EQ(empty.RemoveFromDisk(), 0);
}

TEST_F(PartDir, UnknownEncodingPassesThrough)
{
    qirContentType ct = Type("application", "x-thing", "x-gzip64");
    EXPECT_EQ(ct.encoding, 5);
    ct.encoding = 7;
    qirMsgComponent part(qirPath((dir_ + "/p.bin").c_str()), ct);
    std::string data = "H4sI=AAA\n\0binary\n";
    FILE* in = StreamOf(data);
    EXPECT_EQ(part.ImportBody(in, nullptr), 0);
    fclose(in);
    FILE* out = tmpfile();
    EXPECT_EQ(part.ExportBody(out, nullptr), 0);
    EXPECT_EQ(Contents(out), data);
    fclose(out);
    EXPECT_NE(std::string(part.ContentType().header.Text()).find("x-gzip64"), std::string::npos);
}

TEST_F(PartDir, CopyMoveRemove)
{
    qirContentType ct = Type("image", "png", "base64");
    std::string a = dir_ + "/a.png";
    FILE* f = fopen(a.c_str(), "w");
    fputs("png bytes", f);
    fclose(f);
    qirMsgComponent src(qirPath(a.c_str()), ct);
    qirMsgComponent dst(qirPath((dir_ + "/b.png").c_str()), qirContentType());
    EXPECT_EQ(dst.CopyFrom(&src), 0);
    EXPECT_EQ(FileContents(dir_ + "/b.png"), "png bytes");
    EXPECT_STREQ(dst.ContentType().subtype.Text(), "png");
    EXPECT_EQ(src.CopyToPath((dir_ + "/c.png").c_str()), 0);
    EXPECT_EQ(src.CopyToPath((dir_ + "/none/c.png").c_str()), qirWriteError);
    qirMsgComponent missing(qirPath((dir_ + "/none/x").c_str()), ct);
    EXPECT_EQ(dst.CopyFrom(&missing), qirFailed);

    qirMsgComponent copy(src);
    copy.MoveTo(qirPath("/elsewhere"));
    EXPECT_STREQ(copy.Path().Text(), "/elsewhere/a.png");
    EXPECT_STREQ(src.Path().Text(), a.c_str());

    EXPECT_EQ(src.RemoveFromDisk(), 0);
    EXPECT_EQ(access(a.c_str(), F_OK), -1);
    EXPECT_EQ(src.RemoveFromDisk(), 0); // already gone
    EXPECT_EQ(src.Size(), -1);
}

TEST_F(PartDir, ConstructorNeverTruncates)
{
    std::string a = dir_ + "/keep.txt";
    FILE* f = fopen(a.c_str(), "w");
    fputs("data", f);
    fclose(f);
    qirMsgComponent part(qirPath(a.c_str()), qirContentType());
    EXPECT_EQ(FileContents(a), "data");
    qirContentType mp;
    mp.type = "multipart";
    qirMsgComponent dir(qirPath((dir_ + "/sub").c_str()), mp);
    EXPECT_EQ(access((dir_ + "/sub").c_str(), F_OK), -1);
}

} // namespace

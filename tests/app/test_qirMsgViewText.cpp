// What the message view shows as text: escaping of mail for the enriched
// panels, cuts, checked formats, the header lines in both modes, which
// parts are shown, listed and attached, and the attachment labels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "qirConfiguration.h"
#include "qirLanguageGroup.h"
#include "qirMailTestText.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"
#include "qirMsgViewText.h"
#include "qirScratchDir.h"

namespace {

std::string S(const qirString& s) { return s.Data() ? s.Data() : ""; }

// An enriched text read back as the editor reads it: "<<" a "<", a tag
// skipped, n line feeds n - 1 line breaks; nothing unbalanced may be left.
std::string Shown(const std::string& text, bool* broken = nullptr)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '<') {
            if (i + 1 < text.size() && text[i + 1] == '<') {
                out += '<';
                i++;
                continue;
            }
            size_t close = text.find('>', i);
            if (close == std::string::npos) {
                if (broken) *broken = true;
                return out;
            }
            // A parameter names a colour; it is not shown.
            if (text.compare(i, 7, "<param>") == 0) {
                size_t end = text.find("</param>", close);
                if (end != std::string::npos) close = end + 7;
            }
            i = close;
            continue;
        }
        out += text[i];
    }
    return out;
}

int TrailingLess(const std::string& s)
{
    int n = 0;
    for (size_t i = s.size(); i > 0 && s[i - 1] == '<'; i--) n++;
    return n;
}

class MsgViewTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qirConfig.Remove(nullptr);
        ASSERT_EQ(qirLanguage.Load(QIR_SOURCE_DIR "/share/QIR/Languages/English"), 0);
    }
    void TearDown() override
    {
        qirConfig.Remove(nullptr);
        qirLanguage.Clear();
    }
    std::unique_ptr<qirMsg> Import(const std::string& text)
    {
        std::string path = dir.File(("Message" + std::to_string(count++)).c_str());
        EXPECT_EQ(ImportMessage(path, text), 0);
        return std::unique_ptr<qirMsg>(new qirMsg(qirPath(path.c_str())));
    }
    qirScratchDir dir;
    int count = 0;
};

TEST_F(MsgViewTextTest, EscapeDoublesLessAndNeverCutsInsideACharacter)
{
    struct Case {
        const char* text;
        size_t limit;
        int keepLines;
        const char* escaped;
    } cases[] = {
        {"a<bold>b", 100, 0, "a<<bold>b"},
        {"x\ny\r\tz\x01", 100, 0, "x y  z "},
        {"x\ny", 100, 1, "x\n\ny"},
        {"<<<", 5, 0, "<<<<"},        // never half of a "<<"
        {"a\xc3\xa9", 2, 0, "a"},      // never half of a UTF-8 character
        {"a\xc3\xa9", 3, 0, "a\xc3\xa9"},
        {"caf\xe9", 100, 0, "caf\xe9"}, // a Latin-1 byte stays
        {"x\ny", 2, 1, "x"},          // nor half a line break
    };
    for (const Case& c : cases)
        EXPECT_EQ(qirMsgViewText::Escape(c.text, c.limit, c.keepLines), c.escaped) << c.text;

    std::string tagged = "ab<<c<bold>de\n\nf\xe2\x82\xac";
    struct Cut {
        size_t limit, at;
    } cuts[] = {{3, 2}, {4, 4}, {6, 5}, {10, 5}, {11, 11}, {13, 13}, {14, 13}, {16, 16}, {17, 16}, {19, 19}, {25, 19}};
    for (const Cut& c : cuts) EXPECT_EQ(qirMsgViewText::CutPoint(tagged, c.limit), c.at) << c.limit;
}

TEST_F(MsgViewTextTest, LongLinesAreCutInsideTheirMailText)
{
    std::string value = qirMsgViewText::Escape(std::string(5000, '<').c_str(), 1 << 20);
    ASSERT_EQ(value.size(), 10000u);
    std::string line = qirMsgViewText::FormatLine("<bold>%s</bold>: %s", {"Subject:", value}, 0x2);
    ASSERT_LE(line.size(), size_t(qirMsgViewText::LineLimit));
    EXPECT_GT(line.size(), 4000u);
    EXPECT_EQ(line.rfind("<bold>Subject:</bold>: <<", 0), 0u);
    EXPECT_EQ(TrailingLess(line) % 2, 0);
    // A format too long for any argument gives no line at all.
    EXPECT_EQ(qirMsgViewText::FormatLine((std::string(5000, 'x') + "%s").c_str(), {"v"}, 1), "");
    EXPECT_EQ(qirMsgViewText::FormatLine("%s=%d%%", {"n", "42"}, 0), "n=42%");
}

TEST_F(MsgViewTextTest, HeaderLinesInBothModes)
{
    auto m = Import("From: Ann <ann@example.org>\nTo: bob@example.org, \"C <x>\" <c@example.org>\n"
                    "Subject: a <b> & c\nX-Mailer: Hand\nDate: Mon, 01 Jan 2024 10:00:00 +0000\n\ntext\n");
    // No format: no lines.
    EXPECT_EQ(qirMsgViewText::HeaderText(m.get()), "");

    qirConfig.Set("HeaderViewFormat", "[%s|%s|%s|%s]\n");
    qirConfig.Set("Colors.sColorHeaderHandler", "blue</param>");
    qirConfig.Set("Colors.sColorHeaderValue", "#000000");
    std::string all = qirMsgViewText::HeaderText(m.get());
    EXPECT_EQ(Shown(all), "[blueparam|From:|#000000|Ann <ann@example.org>]\n\n"
                          "[blueparam|To:|#000000|bob@example.org, \"C <x>\" <c@example.org>]\n\n"
                          "[blueparam|Subject:|#000000|a <b> & c]\n\n[blueparam|X-Mailer:|#000000|Hand]\n\n"
                          "[blueparam|Date:|#000000|Mon, 01 Jan 2024 10:00:00 +0000]");

    qirConfig.Set("ShowHeaderOrFields", "Fields");
    qirConfig.Set("HeaderShow.1", "subj:", 0);
    qirConfig.Set("HeaderShow.1", "red", 1);
    qirConfig.Set("HeaderShow.1", "green", 2);
    qirConfig.Set("HeaderShow.2", "x-mailer:", 0);
    qirConfig.Set("HeaderShow.3", "Cc:", 0);
    qirConfig.Set("HeaderShow.4", "to:", 0);
    std::string fields = qirMsgViewText::HeaderText(m.get());
    EXPECT_EQ(fields.find("[red|Subject:|green|a <<b> & c]"), 0u) << fields;
    EXPECT_NE(fields.find("[|X-Mailer:||Hand]"), std::string::npos) << fields;
    EXPECT_EQ(fields.find("Cc:"), std::string::npos) << "an empty list shows no line";
    EXPECT_NE(fields.find("|To:||bob@example.org, "), std::string::npos) << fields;

    auto plain = Import("Subject: s\n\nt\n");
    EXPECT_EQ(qirMsgViewText::HeaderText(plain.get()), "[red|Subject:|green|s]");

    // A format that would take other arguments is not used: the built-in
    // one shows the same lines.
    qirConfig.Set("HeaderViewFormat", "%s %s %s");
    std::string safe = qirMsgViewText::HeaderText(plain.get());
    EXPECT_EQ(Shown(safe), "Subject: s");
}

TEST_F(MsgViewTextTest, AddressListsKeepWholeAddressesWithinTheLimit)
{
    std::string to;
    for (int i = 0; i < 400; i++) to += (i ? ", " : "") + std::string("person") + std::to_string(i) + "@example.org";
    auto m = Import("To: " + to + "\nSubject: s\n\nt\n");
    std::string list = qirMsgViewText::AddressList(m->To());
    ASSERT_LE(list.size(), size_t(qirMsgViewText::LineLimit));
    EXPECT_GT(list.size(), 3900u);
    EXPECT_EQ(list.substr(list.size() - 12), "@example.org");
}

TEST_F(MsgViewTextTest, ShownListedAndAttachedParts)
{
    auto text = Import("Content-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: text/plain\n\nhello\n"
                       "--B\nContent-Type: image/png; name=\"a<b>.png\"\nContent-Transfer-Encoding: base64\n\nAAEC\n"
                       "--B\nContent-Type: application/pdf; name=\"doc.pdf\"\n\n%PDF\n--B--\n");
    auto* body = text->Body();
    EXPECT_EQ(S(qirMsgViewText::ShownPart(body)->ContentType().subtype), "plain");
    std::vector<qirMsgComponent*> attached = qirMsgViewText::AttachedParts(body);
    ASSERT_EQ(attached.size(), 2u);
    EXPECT_EQ(S(attached[0]->ContentType().subtype), "png");
    qirConfig.Set("Colors.sColorAttachment", "brown");
    qirConfig.Set("Colors.sColorSize", "grey");
    std::string listing = qirMsgViewText::PartListing(body);
    EXPECT_EQ(listing.rfind("\n\n\n", 0), 0u) << "a blank line after the text";
    EXPECT_NE(listing.find("image/png; name=\"a<<b>.png\""), std::string::npos) << listing;
    EXPECT_NE(listing.find("<param>grey</param>(3 bytes)"), std::string::npos) << listing;
    EXPECT_NE(listing.find("\n\n<x-color><param>brown</param>"), std::string::npos) << listing;
    bool broken = false;
    Shown(listing, &broken);
    EXPECT_FALSE(broken);

    // A first part that is no text: the panel shows nothing and every part
    // is listed.
    auto image = Import("Content-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: image/gif\n\nGIF\n"
                        "--B\nContent-Type: text/plain\n\nsecond\n--B--\n");
    EXPECT_FALSE(qirMsgViewText::ShownPart(image->Body())->IsText());
    EXPECT_EQ(qirMsgViewText::AttachedParts(image->Body()).size(), 2u);

    // A single image body: one attachment, no listing; a text body: none.
    auto single = Import("Content-Type: image/jpeg\nContent-Transfer-Encoding: base64\n\nAAEC\n");
    EXPECT_EQ(qirMsgViewText::AttachedParts(single->Body()).size(), 1u);
    EXPECT_EQ(qirMsgViewText::PartListing(single->Body()), "");
    auto plain = Import("Subject: s\n\nt\n");
    EXPECT_TRUE(qirMsgViewText::AttachedParts(plain->Body()).empty());
    EXPECT_TRUE(qirMsgViewText::ListedParts(plain->Body()).empty());
    EXPECT_EQ(qirMsgViewText::ListedParts(single->Body()).size(), 1u);

    // Nested multiparts are opened up for the view: an alternative first
    // part shows its plain text and lists its HTML, a forwarded multipart
    // lists its own parts; none is listed as a part of its own.
    auto nested = Import("Content-Type: multipart/mixed; boundary=B\n\n"
                         "--B\nContent-Type: multipart/alternative; boundary=C\n\n"
                         "--C\nContent-Type: text/plain\n\nplain\n--C\nContent-Type: text/html\n\n<p>html\n--C--\n"
                         "--B\nContent-Type: multipart/mixed; boundary=D\n\n"
                         "--D\nContent-Type: image/gif\n\nGIF\n--D\nContent-Type: application/pdf\n\n%PDF\n--D--\n"
                         "--B--\n");
    EXPECT_EQ(S(qirMsgViewText::ShownPart(nested->Body())->ContentType().subtype), "plain");
    std::vector<std::string> listed;
    for (qirMsgComponent* p : qirMsgViewText::ListedParts(nested->Body())) listed.push_back(S(p->ContentType().subtype));
    EXPECT_EQ(listed, (std::vector<std::string>{"html", "gif", "pdf"}));
    std::string nestedListing = qirMsgViewText::PartListing(nested->Body());
    EXPECT_EQ(nestedListing.find("multipart"), std::string::npos) << nestedListing;
    EXPECT_NE(nestedListing.find("image/gif"), std::string::npos) << nestedListing;

    // Catalogue text 215 that would take other arguments is not used.
    std::string path = dir.File("Catalogue");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "215 \"%s %s %d %s %s\"\n"), 0);
    ASSERT_EQ(qirLanguage.Load(path.c_str()), 0);
    EXPECT_NE(qirMsgViewText::PartListing(body).find("(3 bytes)"), std::string::npos);
}

TEST_F(MsgViewTextTest, AttachmentLabelsAndIcons)
{
    qirContentType t;
    t.type = "image";
    t.subtype = "gif";
    t.partName = "photo.gif";
    struct Case {
        long size;
        const char* end;
    } cases[] = {{1024, "(1024B)"}, {1025, "(1.0K)"}, {10240, "(10.0K)"}, {10241, "(  10K)"}, {-1, "(  -1B)"}};
    for (const Case& c : cases) {
        std::string label = qirMsgViewText::AttachLabel(t, c.size);
        EXPECT_EQ(label.rfind("image/gif            photo.gif", 0), 0u) << label;
        EXPECT_EQ(label.substr(label.size() - strlen(c.end)), c.end) << label;
    }
    t.partName = "a\nb\x7f";
    EXPECT_EQ(qirMsgViewText::AttachLabel(t, 1).find("a?b?"), 26u) << qirMsgViewText::AttachLabel(t, 1);

    struct Icon {
        const char* type;
        const char* file;
    } icons[] = {{"IMAGE", "image.tif"}, {"text", "text.tif"}, {"Audio", "audio.tif"}, {"video", "video.tif"},
                 {"message", "message.tif"}, {"multipart", "multipart.tif"}, {"application", "application.tif"},
                 {"model", "application.tif"}, {nullptr, "application.tif"}};
    for (const Icon& i : icons) EXPECT_STREQ(qirMsgViewText::AttachIconFile(i.type), i.file);
}

TEST_F(MsgViewTextTest, InformationBarValues)
{
    EXPECT_EQ(qirMsgViewText::PositionValue(2, 12), "     3/12");
    EXPECT_EQ(qirMsgViewText::SizeValue(1234), "      1234");
    EXPECT_EQ(qirMsgViewText::StatusValue(1, 0), "      read");
    EXPECT_EQ(qirMsgViewText::StatusValue(0, 0), "    unread");
    EXPECT_EQ(qirMsgViewText::StatusValue(1, 1), "   deleted");
    // The folder box is as wide as the other boxes' labels make it.
    size_t width = std::max<size_t>(40, strlen(qirLanguage.Text(201)) + strlen(qirLanguage.Text(202)) +
                                            strlen(qirLanguage.Text(203)) - strlen(qirLanguage.Text(200)) + 31);
    std::string folder = qirMsgViewText::FolderValue(qirString("Work"));
    EXPECT_EQ(folder, std::string(width - 4, ' ') + "Work");
    EXPECT_EQ(qirMsgViewText::FolderValue(qirString("")), std::string(width - 7, ' ') + "Unnamed");
    // A long name is cut to the width, never inside a character.
    std::string name;
    for (int i = 0; i < 50; i++) name += "\xc3\xa9";
    EXPECT_EQ(qirMsgViewText::FolderValue(qirString(name.c_str())), name.substr(0, 2 * width));
}

} // namespace

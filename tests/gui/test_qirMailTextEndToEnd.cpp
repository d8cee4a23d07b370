// The real qir showing mail that is not ASCII, as a user meets it: a folder
// named in UTF-8 in the folder list, a sender and a subject in UTF-8 in the
// message rows and in the view's header and text, an address book entry,
// all drawn as their characters (the drawing log gets the Latin-1 code of
// each, never a box).  The view steps from a small message to one of six
// digits of size, whose value stays clear of the status box, and to a
// message with nested multiparts, whose parts are listed one by one.
#include <gtest/gtest.h>

#include "qirXTest.h"

#include "qirMailTestText.h"
#include "qirProgramTest.h"
#include "qirScratchDir.h"

#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

// What the windows draw of "Jürgen Müller", "über Straße" and so on: one
// Latin-1 byte a character.
const char senderShown[] = "J\xfcrgenM\xfcller";
const char subjectShown[] = "\xfc" "berStra\xdf" "e";

std::string Mail(int i)
{
    char date[64];
    snprintf(date, sizeof date, "Mon, 01 Jan 2024 10:%02d:00 +0000", i);
    std::string head = std::string("Date: ") + date + "\nTo: me@example.org\n";
    if (i == 0)
        return head + "From: J\xc3\xbcrgen M\xc3\xbcller <jm@example.org>\nSubject: \xc3\xbc" "ber Stra\xc3\x9f" "e\n"
                      "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit\n\n"
                      "Gr\xc3\xbc\xc3\x9f" "e aus M\xc3\xbcnchen.\n";
    if (i == 1) {
        std::string body;
        for (int l = 0; l < 6225; l++) body += std::string(79, 'x') + "\n";
        return head + "From: big@example.org\nSubject: big\n\n" + body;
    }
    return head + "From: nested@example.org\nSubject: nested\n"
                  "Content-Type: multipart/mixed; boundary=B\n\n"
                  "--B\nContent-Type: multipart/alternative; boundary=C\n\n"
                  "--C\nContent-Type: text/plain\n\nThe plain text.\n"
                  "--C\nContent-Type: text/html\n\n<p>The HTML</p>\n--C--\n"
                  "--B\nContent-Type: multipart/mixed; boundary=D\n\n"
                  "--D\nContent-Type: image/gif; name=\"dot.gif\"\n\nGIF89a\n"
                  "--D\nContent-Type: application/pdf; name=\"doc.pdf\"\n\n%PDF-1.4\n--D--\n"
                  "--B--\n";
}

std::string Packed(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != ' ') out += c;
    return out;
}

class MailTextEndToEnd : public qirProgramTest {
protected:
    void SetUp() override
    {
        qirProgramTest::SetUp();
        if (IsSkipped()) return;
        std::string dir = Dir();
        mkdir((dir + "/Incoming.QIR").c_str(), 0700);
        for (int i = 0; i < 3; i++)
            ASSERT_EQ(ImportMessage(dir + "/Incoming.QIR/Message" + std::to_string(i), Mail(i)), 0);
        mkdir((dir + "/Archive.QIR").c_str(), 0700);
        qirScratchDir::WriteFile(dir + "/Archive.QIR/Name.txt", "M\xc3\xbcll");
        qirScratchDir::WriteFile(dir + "/layout", "Menu {\n    Incoming {\n        Sort {\n            Method 1\n        }\n    }\n}\n");
        qirScratchDir::WriteFile(dir + "/book", "jm\nJ\xc3\xbcrgen M\xc3\xbcller\nOrg\njm@example.org\n0 0 0 0\n");
    }
    // Some line of window w holds text, blanks aside.
    bool Shows(unsigned long w, const std::string& text)
    {
        for (const qirDrawnLine& l : draw.Lines(w))
            if (Packed(l.text).find(Packed(text)) != std::string::npos) return true;
        return false;
    }
    bool WaitShows(unsigned long w, const std::string& text, int ms = 5000)
    {
        return WaitFor([&] { return Shows(w, text); }, ms);
    }
    // Any line of w holding a box's stand-in ("?") or "-1B".
    std::string Broken(unsigned long w)
    {
        for (const qirDrawnLine& l : draw.Lines(w))
            if (l.text.find('?') != std::string::npos || l.text.find("-1B") != std::string::npos) return l.text;
        return "";
    }
    qirDrawnLine Word(unsigned long w, const std::string& word)
    {
        for (const qirDrawnLine& l : draw.Words(w))
            if (l.text == word) return l;
        return {0, 0, ""};
    }
};

TEST_F(MailTextEndToEnd, NonAsciiMailIsDrawnAsItsCharactersAndTheViewKeepsItsBoxesApart)
{
    Start({{"TZ", "UTC"}});
    unsigned long main = MainWindow();
    ASSERT_NE(main, 0u) << LogTail();
    EXPECT_TRUE(WaitShows(main, "M\xfcll")) << "the folder list";
    EXPECT_EQ(Broken(main), "");

    unsigned long list = OpenFolder(main, "Incoming");
    ASSERT_NE(list, 0u);
    qirDrawnLine first = WaitLine(list, "01 Jan 24 10:00", 10000);
    ASSERT_FALSE(first.text.empty());
    EXPECT_NE(Packed(first.text).find(subjectShown), std::string::npos) << first.text;
    EXPECT_EQ(Broken(list), "");
    Shot("msglist-latin1");

    // The view: the header and the text in their characters.
    unsigned long view = 0;
    for (int attempt = 0; attempt < 3 && !view; attempt++) {
        Clicks(list, first.x + 40, first.y - 4, 1, 2);
        WaitFor([&] { return (view = Window("Message View")) != 0; }, 3000);
    }
    ASSERT_NE(view, 0u) << LogTail();
    EXPECT_TRUE(WaitShows(view, std::string("From:") + senderShown + "<jm@example.org>")) << LogTail();
    EXPECT_TRUE(Shows(view, std::string("Subject:") + subjectShown));
    EXPECT_TRUE(Shows(view, "Gr\xfc\xdf" "eausM\xfcnchen."));
    EXPECT_EQ(Broken(view), "");
    Shot("msgview-latin1");

    // Six digits of size after two: the value ends before the status box.
    ASSERT_TRUE(ClickWord(view, "Next"));
    ASSERT_TRUE(WaitShows(view, "Message: 2/3"));
    ASSERT_TRUE(WaitShows(view, "Size: 498"));
    qirDrawnLine size = Word(view, "498000");
    qirDrawnLine status = Word(view, "Status:");
    ASSERT_FALSE(size.text.empty());
    ASSERT_FALSE(status.text.empty());
    XFontStruct* font = XLoadQueryFont(qirx::Connection(), "-adobe-helvetica-medium-r-normal--12-*-*-*-p-*-iso8859-1");
    ASSERT_NE(font, nullptr);
    int width = XTextWidth(font, size.text.c_str(), (int)size.text.size());
    XFreeFont(qirx::Connection(), font);
    EXPECT_LT(size.x + width + 3, status.x) << "the size runs into the status box";
    Shot("msgview-big");

    // Nested multiparts: the alternative's plain text is shown, the rest
    // listed part by part.
    ASSERT_TRUE(ClickWord(view, "Next"));
    ASSERT_TRUE(WaitShows(view, "Attachments: 3"));
    for (const char* line : {"The plain text.", "1. text/html", "2. image/gif dot.gif", "application/pdf; name=\"doc.pdf\"",
                             "text/html (15 bytes)"})
        EXPECT_TRUE(Shows(view, line)) << line;
    EXPECT_EQ(Broken(view), "");
    EXPECT_FALSE(Shows(view, "multipart"));
    Shot("msgview-nested");

    // The address book's row.
    ASSERT_TRUE(ChooseMenu(main, "Books", "Address book"));
    unsigned long book = 0;
    ASSERT_TRUE(WaitFor([&] { return (book = Window("Addres Book")) != 0; }, 5000));
    EXPECT_TRUE(WaitShows(book, std::string("jm:") + senderShown));
    EXPECT_EQ(Broken(book), "");
    Shot("addrbook-latin1");
    EXPECT_EQ(Quit(main), 0) << LogTail();
}

} // namespace

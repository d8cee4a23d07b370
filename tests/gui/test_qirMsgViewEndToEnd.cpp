// The real qir reading mail as a user does: Incoming holds twelve messages
// (plain ones; the third a multipart with a text, a picture, attachments
// with hostile names and the sender's face).  A double click on the third
// row opens the view: "3/12", status read, the header, the text, the face
// and the attachment rows are read back from what the window draws, and the
// list window's row and read counter follow.  Next and Previous step,
// Delete steps on, an attachment is saved and compared byte for byte and
// opened in the viewer of the test's own mailcap file (which writes a
// marker file and exits: the exit is logged, no zombie stays), the message
// is moved to another folder, and the view is closed by its button and by
// its menu.
#include <gtest/gtest.h>

#include "qirHostileNames.h"
#include "qirMailTestText.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"
#include "qirProgramTest.h"
#include "qirScratchDir.h"
#include "qirXFaceText.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int messages = 12;

// A face of stripes and a frame: nothing like the default envelope.
std::string FaceText(std::string* pbm)
{
    std::string raster;
    for (int y = 0; y < 48; y++)
        for (int byte = 0; byte < 6; byte++)
            raster += (char)(y < 2 || y > 45 || byte == 0 || byte == 5 || y % 6 < 3 ? 0xff : 0x00);
    *pbm = raster;
    return XFaceFieldText(raster);
}

std::string Base64(const std::string& bytes)
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned n = (unsigned char)bytes[i] << 16;
        if (i + 1 < bytes.size()) n |= (unsigned char)bytes[i + 1] << 8;
        if (i + 2 < bytes.size()) n |= (unsigned char)bytes[i + 2];
        out += table[n >> 18 & 63];
        out += table[n >> 12 & 63];
        out += i + 1 < bytes.size() ? table[n >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? table[n & 63] : '=';
        if (out.size() % 77 == 76) out += '\n';
    }
    return out + "\n";
}

// Bytes of every value, so that a save that changes any is seen.
std::string Picture()
{
    std::string bytes;
    for (int i = 0; i < 3000; i++) bytes += (char)(i * 7 % 256);
    return bytes;
}

std::string Mail(int i, const std::string& face)
{
    char date[64];
    snprintf(date, sizeof date, "Mon, 01 Jan 2024 10:%02d:00 +0000", i);
    std::string head = "From: Sender " + std::to_string(i) + " <s" + std::to_string(i) + "@example.org>\nTo: me@example.org\n"
                       "Date: " + date + "\n";
    if (i != 2) return head + "Subject: Message " + std::to_string(i) + "\n\nThe text of message " + std::to_string(i) + "\n";
    std::string text = head + "Subject: Report <draft> & notes\nX-Face: " + face + "\n" +
                       "Content-Type: multipart/mixed; boundary=B\n\n"
                       "--B\nContent-Type: text/plain\n\nHello, this is the third message.\n\n"
                       "--B\nContent-Type: image/png; name=\"picture.png\"\nContent-Transfer-Encoding: base64\n\n" +
                       Base64(Picture());
    for (const char* n : qirHostilePartNames)
        if (*n)
            text += std::string("--B\nContent-Type: application/x-test; name=\"") + n + "\"\n\nbytes of " + n + "\n";
    return text + "--B--\n";
}

// What an editor panel draws, character by character: its text without
// the blanks (the panel draws no blank, the log joins words with one).
std::string Packed(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != ' ') out += c;
    return out;
}

class MsgViewEndToEnd : public qirProgramTest {
protected:
    void SetUp() override
    {
        qirProgramTest::SetUp();
        if (IsSkipped()) return;
        std::string dir = Dir();
        mkdir((dir + "/Incoming.QIR").c_str(), 0700);
        std::string face = FaceText(&facePbm);
        ASSERT_FALSE(face.empty());
        for (int i = 0; i < messages; i++)
            ASSERT_EQ(ImportMessage(dir + "/Incoming.QIR/Message" + std::to_string(i), Mail(i, face)), 0);
        mkdir((dir + "/Archive.QIR").c_str(), 0700);
        qirScratchDir::WriteFile(dir + "/Archive.QIR/Name.txt", "Archive");
        // Incoming sorted by date: the rows in the order of the messages.
        qirScratchDir::WriteFile(dir + "/layout", "Menu {\n    Incoming {\n        Sort {\n            Method 1\n        }\n    }\n}\n");
        // The viewer copies the part it was given to a marker file and ends.
        marker = home + "/viewer.marker";
        qirScratchDir::WriteFile(home + "/mailcap", "application/x-test; cp %s " + marker + "\nimage/png; false %s\n");
        WriteConfig("Mailcap {\n    MailcapFiles " + home + "/mailcap\n}\n");
    }


    static int MessageDirs(const std::string& dir)
    {
        int n = 0;
        for (const std::string& e : Entries(dir)) n += e.compare(0, 7, "Message") == 0;
        return n;
    }
    // Every line of the window, blanks taken out, as one text per line.
    std::vector<std::string> Packed(unsigned long w)
    {
        std::vector<std::string> out;
        for (const qirDrawnLine& l : draw.Lines(w)) out.push_back(::Packed(l.text));
        return out;
    }
    bool Shows(unsigned long w, const std::string& text)
    {
        std::string want = ::Packed(text);
        for (const std::string& l : Packed(w))
            if (l.find(want) != std::string::npos) return true;
        return false;
    }
    bool WaitShows(unsigned long w, const std::string& text, int ms = 5000)
    {
        return WaitFor([&] { return Shows(w, text); }, ms);
    }
    // Double-clicks the row of the list drawn as row and answers the view
    // window it opens, or 0.  Synthetic clicks are now and then lost: a
    // second double click on an open view changes nothing.
    unsigned long OpenRow(unsigned long list, const qirDrawnLine& row)
    {
        unsigned long view = 0;
        for (int attempt = 0; attempt < 3 && !view; attempt++) {
            Clicks(list, row.x + 40, row.y - 4, 1, 2);
            WaitFor([&] { return (view = Window("Message View")) != 0; }, 3000);
        }
        return view;
    }
    // A key typed into the window, the pointer over it as a user's would be.
    void Key(unsigned long w, const char* key)
    {
        qirShell("xdotool mousemove --window " + std::to_string(w) + " 60 40 sleep 0.1 key " + key);
    }
    // The text of the chooser's field that shows tail (the field is a window
    // of its own, showing the end of the path); "" when none.
    std::string FieldEnding(const std::string& tail)
    {
        std::string found;
        WaitFor([&] {
            for (unsigned long d : draw.Drawables())
                for (const qirDrawnLine& l : draw.Lines(d))
                    if (l.text.find(tail) != std::string::npos) found = l.text;
            return !found.empty();
        }, 5000);
        return found;
    }
    // Recorded children of qir that have ended but were not reaped.
    int Zombies()
    {
        int n = 0;
        DIR* d = opendir("/proc");
        while (dirent* e = d ? readdir(d) : nullptr) {
            if (!isdigit((unsigned char)e->d_name[0])) continue;
            std::string stat = qirReadFile(std::string("/proc/") + e->d_name + "/stat");
            size_t paren = stat.rfind(')');
            char state = 0;
            int ppid = 0;
            if (paren != std::string::npos && sscanf(stat.c_str() + paren + 1, " %c %d", &state, &ppid) == 2)
                n += state == 'Z' && ppid == qir.Pid();
        }
        if (d) closedir(d);
        return n;
    }
    // Pixels of the 48x48 picture drawn at stencil in window w that differ
    // from the sender's face painted black (the face colour); -1 when
    // they cannot be read.
    int FaceDiffers(unsigned long w, const qirDrawnStencil& stencil)
    {
        std::string px = Pixels(w, stencil.x, stencil.y, 48, 48);
        if (px.size() != 48u * 48 * 3) return -1;
        int wrong = 0;
        for (int i = 0; i < 48 * 48; i++) {
            bool black = (unsigned char)px[i * 3] < 64 && (unsigned char)px[i * 3 + 1] < 64;
            bool want = (unsigned char)facePbm[i / 8] >> (7 - i % 8) & 1;
            wrong += black != want;
        }
        return wrong;
    }
    std::string marker, facePbm;
};

TEST_F(MsgViewEndToEnd, ReadsStepsSavesViewsMovesAndCloses)
{
    // Text in red: the faces are painted in the face colour, black.
    Start({{"TZ", "UTC"}}, {"-fg", "red"});
    unsigned long main = MainWindow();
    ASSERT_NE(main, 0u) << LogTail();
    unsigned long list = OpenFolder(main, "Incoming");
    ASSERT_NE(list, 0u) << "no Incoming window";
    // Where the rows are, read before any other window covers the list:
    // a row repaired later is drawn again alone, and the draw log then
    // holds only that row.
    qirDrawnLine third = WaitLine(list, "01 Jan 24 10:02", 10000);
    qirDrawnLine fifth = WaitLine(list, "01 Jan 24 10:04", 10000);
    ASSERT_FALSE(third.text.empty());
    ASSERT_FALSE(fifth.text.empty());
    ASSERT_TRUE(WaitShows(list, "Read 0"));
    EXPECT_EQ(StatusFace(list, third), "U");

    // The third row opens in the view.
    unsigned long view = OpenRow(list, third);
    ASSERT_NE(view, 0u) << LogTail();
    ASSERT_TRUE(WaitShows(view, "Attachments: 6")) << LogTail();
    Shot("msgview-multipart");
    for (const char* line : {"Folder: Incoming", "Message: 3/12", "Status: read", "From: Sender 2 <s2@example.org>",
                             "To: me@example.org", "Subject: Report <draft> & notes",
                             "Date: Mon, 1 Jan 2024 10:02:00 +0000", "Hello, this is the third message.",
                             "image/png; name=\"picture.png\" (3000 bytes)",
                             "application/x-test; name=\"../../.profile\" (23 bytes)",
                             "1. image/png picture.png (2.9K)", "2. application/x-test ../../.profile ( 23B)"})
        EXPECT_TRUE(Shows(view, line)) << line;
    // The sender's face, pixel for pixel.
    std::vector<qirDrawnStencil> faces = draw.Stencils(view);
    ASSERT_EQ(faces.size(), 1u);
    ASSERT_EQ(faces[0].width, 48u);
    int wrong = FaceDiffers(view, faces[0]);
    EXPECT_EQ(wrong, 0) << "the face differs in " << wrong << " pixels";
    // The list window shows it too, for the row under the pointer.
    qirShell("xdotool windowraise " + std::to_string(list) + " mousemove --window " + std::to_string(list) + " " +
             std::to_string(third.x + 60) + " " + std::to_string(third.y - 4) + " sleep 0.2 mousemove_relative 5 0");
    EXPECT_TRUE(WaitFor([&] {
        for (const qirDrawnStencil& s : draw.Stencils(list))
            if (s.width == 48 && (wrong = FaceDiffers(list, s)) == 0) return true;
        return false;
    }, 5000)) << "the list's face differs in " << wrong << " pixels";
    qirShell("xdotool windowraise " + std::to_string(view));
    // The list window: the row reads as read, one more read message.
    EXPECT_TRUE(WaitShows(list, "Read 1"));
    EXPECT_TRUE(WaitFor([&] { return StatusFace(list, third) == "R"; }, 3000)) << "the row still shows unread";

    // Next and Previous.
    ASSERT_TRUE(ClickWord(view, "Next"));
    EXPECT_TRUE(WaitShows(view, "Message: 4/12"));
    EXPECT_TRUE(WaitShows(view, "Subject: Message 3"));
    EXPECT_TRUE(WaitShows(view, "Attachments: 0"));
    ASSERT_TRUE(ClickWord(view, "Previous"));
    EXPECT_TRUE(WaitShows(view, "Message: 3/12"));

    // Delete steps on; back on the deleted one the button undeletes.
    ASSERT_TRUE(ClickWord(view, "Delete"));
    EXPECT_TRUE(WaitShows(view, "Message: 4/12"));
    EXPECT_TRUE(WaitShows(list, "Deleted 1"));
    ASSERT_TRUE(ClickWord(view, "Previous"));
    EXPECT_TRUE(WaitShows(view, "Status: deleted"));
    ASSERT_TRUE(ClickWord(view, "Undelete"));
    EXPECT_TRUE(WaitShows(view, "Status: read"));
    EXPECT_TRUE(WaitShows(view, "Message: 3/12"));
    EXPECT_TRUE(WaitShows(list, "Deleted 0"));

    // The right button saves the picture under the name it is stored
    // under; the bytes arrive unchanged.
    qirDrawnLine row = WaitLine(view, "1. image/png");
    ASSERT_FALSE(row.text.empty());
    Clicks(view, row.x + 60, row.y - 4, 3, 1);
    unsigned long chooser = 0;
    ASSERT_TRUE(WaitFor([&] { return (chooser = Window("Save file")) != 0; }, 5000));
    EXPECT_FALSE(FieldEnding("/picture.png").empty()) << "the stored name is not proposed";
    Key(chooser, "Return");
    std::string saved = home + "/picture.png";
    EXPECT_TRUE(WaitFor([&] { return qirReadFile(saved) == Picture(); }, 5000)) << "saved: " << qirReadFile(saved).size();
    // A name from mail that points elsewhere is never proposed.
    row = WaitLine(view, "2. application/x-test");
    Clicks(view, row.x + 60, row.y - 4, 3, 1);
    ASSERT_TRUE(WaitFor([&] { return (chooser = Window("Save file")) != 0; }, 5000));
    std::string proposed = FieldEnding("/Part_");
    EXPECT_FALSE(proposed.empty());
    EXPECT_EQ(proposed.find("profile"), std::string::npos) << proposed;
    EXPECT_EQ(proposed.find(".."), std::string::npos) << proposed;
    Key(chooser, "Escape");
    EXPECT_TRUE(WaitFor([&] { return Window("Save file") == 0; }, 5000));

    // A double click starts the viewer of the test's mailcap file: it gets
    // the part's file, ends, and is reaped and logged.
    Clicks(view, row.x + 60, row.y - 4, 1, 2);
    EXPECT_TRUE(WaitFor([&] { return qirReadFile(marker) == "bytes of ../../.profile"; }, 5000));
    EXPECT_TRUE(WaitFor([&] {
        return qirReadFile(Dir() + "/QIR.log").find("The child process (PID:") != std::string::npos;
    }, 5000)) << LogTail();
    EXPECT_EQ(Zombies(), 0);

    // Moved to Archive: stored there, gone from here, the view on the next
    // message, which took its row.
    ASSERT_TRUE(ChooseMenu(view, "Message", "Move to folder..."));
    unsigned long choose = 0;
    ASSERT_TRUE(WaitFor([&] { return (choose = Window("Choose folder")) != 0; }, 5000));
    ASSERT_TRUE(ClickWord(choose, "Archive"));
    ASSERT_TRUE(ClickWord(choose, "OK"));
    EXPECT_TRUE(WaitShows(view, "Message: 3/11"));
    EXPECT_TRUE(WaitShows(view, "Subject: Message 3"));
    EXPECT_TRUE(WaitShows(list, "Total 11"));
    EXPECT_TRUE(WaitShows(list, "Deleted 0"));
    EXPECT_TRUE(WaitFor([&] { return MessageDirs(Dir() + "/Archive.QIR") == 1; }, 3000));
    EXPECT_EQ(MessageDirs(Dir() + "/Incoming.QIR"), messages - 1);

    // Closed by its button, opened again, closed by its menu.
    ASSERT_TRUE(ClickWord(view, "Close"));
    EXPECT_TRUE(WaitFor([&] { return Window("Message View") == 0; }, 5000));
    view = OpenRow(list, fifth);
    ASSERT_NE(view, 0u);
    EXPECT_TRUE(WaitShows(view, "Subject: Message 5"));
    ASSERT_TRUE(ChooseMenu(view, "Message", "Close"));
    EXPECT_TRUE(WaitFor([&] { return Window("Message View") == 0; }, 5000));

    qirMainMenu(std::to_string(main), 142);
    EXPECT_EQ(qir.Wait(30000), 0) << LogTail();
    // Closing Incoming flushed it: the moved message left, the read flag stayed.
    EXPECT_EQ(MessageDirs(Dir() + "/Incoming.QIR"), messages - 1);
    qirMsg moved{qirPath((Dir() + "/Archive.QIR/Message0").c_str())};
    EXPECT_EQ(std::string(moved.Subject()->Data()), "Report <draft> & notes");
    EXPECT_TRUE(moved.IsRead());
    EXPECT_FALSE(moved.IsRemoved());
}

// Attachments named as mail from people is named, with letters beyond
// ASCII, commas and at signs, open in their viewer like any other.
TEST_F(MsgViewEndToEnd, AttachmentsWithNamesOfAnyLettersOpenInTheirViewer)
{
    ASSERT_EQ(ImportMessage(Dir() + "/Incoming.QIR/Message" + std::to_string(messages),
                            "From: Sender <s@example.org>\nTo: me@example.org\nDate: Mon, 01 Jan 2024 10:30:00 +0000\n"
                            "Subject: Names\nContent-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: text/plain\n\n"
                            "Two files.\n--B\nContent-Type: application/x-test\nContent-Disposition: attachment; "
                            "filename=\"\xc3\x9c" "bersicht, final.txt\"\n\nbytes of one\n--B\nContent-Type: "
                            "application/x-test; name=\"jo@example.org.txt\"\n\nbytes of two\n--B--\n"),
              0);
    unsigned long main = 0;
    unsigned long list = StartOnIncoming({{"TZ", "UTC"}}, &main);
    ASSERT_NE(list, 0u) << LogTail();
    qirDrawnLine last = WaitLine(list, "01 Jan 24 10:30", 10000);
    ASSERT_FALSE(last.text.empty());
    unsigned long view = OpenRow(list, last);
    ASSERT_NE(view, 0u) << LogTail();
    ASSERT_TRUE(WaitShows(view, "Attachments: 2")) << LogTail();
    for (const char* want : {"bytes of one", "bytes of two"}) {
        SCOPED_TRACE(want);
        unlink(marker.c_str());
        qirDrawnLine row = WaitLine(view, want[9] == 'o' ? "1. application/x-test" : "2. application/x-test");
        ASSERT_FALSE(row.text.empty());
        Clicks(view, row.x + 60, row.y - 4, 1, 2);
        EXPECT_TRUE(WaitFor([&] { return qirReadFile(marker) == want; }, 5000)) << LogTail();
    }
    EXPECT_EQ(qirReadFile(Dir() + "/QIR.log").find("No program for this type"), std::string::npos) << LogTail();
    EXPECT_EQ(Quit(main), 0) << LogTail();
}

} // namespace

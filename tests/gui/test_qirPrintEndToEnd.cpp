// The real qir printing as a user does, with a print command that keeps
// each job: a message whose text holds PostScript's special characters and
// an accented letter, and whose References field (not printed) is far
// longer than a line, printed from its view window; then three messages selected in the
// list window, printed at once.  Ghostscript reads every job back.
#include <gtest/gtest.h>

#include "qirMailTestText.h"
#include "qirProgramTest.h"
#include "qirScratchDir.h"
#include "qirXFaceText.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The X-Face text of a 48x48 picture of stripes, pattern choosing their
// width, so that each sender's face differs; *hex gets the picture's rows
// as a PostScript image mask of it holds them: bottom row first, each row's
// bytes in hexadecimal on a line of its own.
std::string Face(int pattern, std::string* hex)
{
    std::string raster;
    for (int y = 0; y < 48; y++)
        for (int byte = 0; byte < 6; byte++)
            raster += (char)((y / (pattern + 1)) % 2 ? 0xf0 >> pattern : 0x0f);
    hex->clear();
    static const char digits[] = "0123456789abcdef";
    for (int y = 47; y >= 0; y--) {
        for (int byte = 0; byte < 6; byte++) {
            unsigned char c = (unsigned char)raster[y * 6 + byte];
            *hex += digits[c >> 4];
            *hex += digits[c & 15];
        }
        *hex += '\n';
    }
    return XFaceFieldText(raster);
}

std::string Mail(int i, const std::string& face)
{
    char date[64];
    snprintf(date, sizeof date, "Mon, 01 Jan 2024 10:%02d:00 +0000", i);
    std::string n = std::to_string(i);
    std::string head = "From: Sender " + n + " <s" + n + "@example.org>\nTo: me@example.org\nDate: " + date +
                       "\nX-Face: " + face + "\n";
    if (i != 0) return head + "Subject: Letter " + n + "\n\nThe text of letter " + n + ".\n";
    std::string references = "References:";
    for (int r = 0; r < 30; r++) references += " <thread-" + std::to_string(r) + "-part@mail.example.org>\n";
    return head + references + "Subject: Printing (brackets) and \\ backslash\n"
                                "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit\n\n"
                                "Brackets ( ) a backslash \\ and caf\xc3\xa9 in the text.\n";
}

std::string Lower(std::string s)
{
    for (char& c : s) c = (char)tolower((unsigned char)c);
    return s;
}

class PrintEndToEnd : public qirProgramTest {
protected:
    void SetUp() override
    {
        qirProgramTest::SetUp();
        if (IsSkipped()) return;
        if (system("gs --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ghostscript";
        std::string dir = Dir();
        mkdir((dir + "/Incoming.QIR").c_str(), 0700);
        for (int i = 0; i < 4; i++) {
            std::string face = Face(i, &hex[i]);
            ASSERT_FALSE(face.empty());
            ASSERT_EQ(ImportMessage(dir + "/Incoming.QIR/Message" + std::to_string(i), Mail(i, face)), 0);
        }
        qirScratchDir::WriteFile(dir + "/layout", "Menu {\n    Incoming {\n        Sort {\n            Method 1\n        }\n    }\n}\n");
        // The print command keeps each job and the mode it was handed with.
        std::string script = home + "/print.sh";
        qirScratchDir::WriteFile(script, "#!/bin/sh\nn=$(ls '" + home + "' | grep -c '^job.*ps$')\nstat -c %a \"$1\" > '" + home +
                          "/job'$n.mode\ncp \"$1\" '" + home + "/job'$n.ps\n");
        chmod(script.c_str(), 0755);
        WriteConfig("Printer {\n    Command \"" + script + " %s\"\n}\n");
    }
    std::string Job(int n) const { return home + "/job" + std::to_string(n) + ".ps"; }
    bool WaitJob(int n)
    {
        return WaitFor([&] { return access((home + "/job" + std::to_string(n) + ".mode").c_str(), R_OK) == 0 &&
                                    access(Job(n).c_str(), R_OK) == 0; }, 10000);
    }
    static std::string Text(const std::string& job)
    {
        return qirShell("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=txtwrite -sOutputFile=- '" + job + "' 2>&1");
    }
    bool Shows(unsigned long w, const std::string& text)
    {
        for (const qirDrawnLine& l : draw.Lines(w))
            if (l.text.find(text) != std::string::npos) return true;
        return false;
    }
    std::string hex[4];
};

TEST_F(PrintEndToEnd, FromTheViewAndTheListGhostscriptReadsEveryJob)
{
    Start({{"TZ", "UTC"}});
    unsigned long main = MainWindow();
    ASSERT_NE(main, 0u) << LogTail();
    unsigned long list = OpenFolder(main, "Incoming");
    ASSERT_NE(list, 0u) << "no Incoming window";
    std::vector<qirDrawnLine> rows;
    for (int i = 0; i < 4; i++) {
        char when[32];
        snprintf(when, sizeof when, "01 Jan 24 10:%02d", i);
        rows.push_back(WaitLine(list, when, 10000));
        ASSERT_FALSE(rows.back().text.empty()) << when;
    }

    // From the view window's menu.
    unsigned long view = 0;
    for (int attempt = 0; attempt < 3 && !view; attempt++) {
        Clicks(list, rows[0].x + 40, rows[0].y - 4, 1, 2);
        WaitFor([&] { return (view = Window("Message View")) != 0; }, 3000);
    }
    ASSERT_NE(view, 0u) << LogTail();
    ASSERT_TRUE(ChooseMenu(view, "Message", "Print"));
    ASSERT_TRUE(WaitJob(0)) << LogTail();
    EXPECT_EQ(qirReadFile(home + "/job0.mode"), "600\n");
    std::string text = Text(Job(0));
    for (const char* want : {"From:", "Sender 0 <s0@example.org>", "Subject:", "Printing (brackets) and \\ backslash",
                             "Brackets ( ) a backslash \\ and caf\xc3\xa9 in the text.", "Page 1"})
        EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
    std::string run =
        qirShell("gs -dSAFER -dBATCH -dNOPAUSE -sDEVICE=nullpage '" + Job(0) + "' 2>&1");
    EXPECT_EQ(Lower(run).find("error"), std::string::npos) << run;
    EXPECT_EQ(run.find("Substitut"), std::string::npos) << run;
    EXPECT_NE(Lower(qirReadFile(Job(0))).find(hex[0]), std::string::npos) << "the sender's face is not printed";
    if (const char* shots = getenv("QIR_SHOT_DIR"))
        qirShell("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r90 -dFirstPage=1 -dLastPage=1 -sOutputFile='" +
                 std::string(shots) + "/print-page1.png' '" + Job(0) + "'");
    ASSERT_TRUE(ClickWord(view, "Close"));
    EXPECT_TRUE(WaitFor([&] { return Window("Message View") == 0; }, 5000));

    // Three rows selected in the list window (a click, then Control-clicks).
    for (int r = 1; r <= 3; r++) {
        std::string want = "Selected " + std::to_string(r);
        for (int attempt = 0; attempt < 3; attempt++) {
            Click(list, rows[r].x + 40, rows[r].y - 4, r != 1);
            if (WaitFor([&] { return Shows(list, want); }, 2000)) break;
        }
        ASSERT_TRUE(Shows(list, want)) << want;
    }
    ASSERT_TRUE(ChooseMenu(list, "Message", "Print"));
    for (int n = 1; n <= 3; n++) {
        ASSERT_TRUE(WaitJob(n)) << "job " << n << "\n" << LogTail();
        std::string job = Text(Job(n));
        std::string letter = "Letter " + std::to_string(n);
        EXPECT_NE(job.find(letter), std::string::npos) << job;
        EXPECT_NE(Lower(qirReadFile(Job(n))).find(hex[n]), std::string::npos) << "job " << n << ": not its sender's face";
        for (int other = 1; other <= 3; other++)
            if (other != n) {
                EXPECT_EQ(Lower(qirReadFile(Job(n))).find(hex[other]), std::string::npos);
            }
    }
    EXPECT_NE(access((home + "/job4.ps").c_str(), F_OK), 0) << "more jobs than messages";
    EXPECT_EQ(Quit(main), 0);
}

} // namespace

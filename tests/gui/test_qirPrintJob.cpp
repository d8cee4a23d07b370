// Printing a message: the PostScript that ghostscript reads back (text,
// Latin-1, the page footers, header lines continued on the next page), the
// private print file, the print command as one quoted word, and every
// failure reported instead of printing nothing in silence.
#include <gtest/gtest.h>

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirLanguageGroup.h"
#include "qirMsg.h"
#include "qirTestProgram.h"

#include "qirGuiTest.h"
#include "qirPrintJob.h"

#include <IV-look/kit.h>
#include <InterViews/layout.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 170 message ids make a header of more lines than a page has slots.
std::string LongReferences() {
    std::string refs;
    for (int i = 0; i < 170; i++)
        refs += (i ? " " : "") + std::string("<ref") + std::to_string(i) + ".long.enough@host.example.org>";
    return refs;
}

std::string Message(const std::string& references) {
    return "From: Ann Doe <ann@example.org>\n"
           "To: bob@example.org\n"
           "Subject: Caf\xc3\xa9 (menu) \\ list\n"
           "Date: Tue, 3 Mar 2026 10:11:12 +0000\n" +
           (references.empty() ? std::string() : "References: " + references + "\n") +
           "MIME-Version: 1.0\n"
           "Content-Type: multipart/mixed; boundary=\"b\"\n"
           "\n"
           "--b\n"
           "Content-Type: text/plain; charset=utf-8\n"
           "Content-Transfer-Encoding: 8bit\n"
           "\n"
           "Parens ( ) and a backslash \\ and caf\xc3\xa9.\n"
           "\tTabbed line\n"
           "--b\n"
           "Content-Type: text/plain; name=\"notes.txt\"\n"
           "\n"
           "Attached notes.\n"
           "--b--\n";
}

class PrintJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        qirgui::TheSession();
        dir = qirMakeTempDir("qirprint");
        qirConfig.Remove(nullptr);
        qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
        qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English");
        qirLog = new qirError();
        qirLog->Open((dir + "/QIR.log").c_str(), 5, -1);
        unsetenv("PSFONTDIR");
        tmp = dir + "/tmp dir 'quoted'";
        mkdir(tmp.c_str(), 0700);
        setenv("TMPDIR", tmp.c_str(), 1);
        // The command copies the file aside, as a spooler would take it.
        std::string script = dir + "/spool.sh";
        FILE* f = fopen(script.c_str(), "w");
        fprintf(f, "#!/bin/sh\ncp \"$1\" '%s/job.ps'\n", dir.c_str());
        fclose(f);
        chmod(script.c_str(), 0755);
        qirConfig.Set("Printer.Command", (script + " %s").c_str());
        qirConfig.Set("Printer.RemoveFileAfterPrinting", "No");
    }
    void TearDown() override {
        delete msg;
        delete qirLog;
        qirLog = nullptr;
        unsetenv("TMPDIR");
        unsetenv("PSFONTDIR");
        qirRemoveTree(dir);
    }
    qirMsg* Import(const std::string& text) {
        qirMsg* m = new qirMsg(qirPath((dir + "/Message1").c_str()), qirMsg::Blank());
        FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
        EXPECT_EQ(m->ImportRFC822(in), 0);
        fclose(in);
        EXPECT_EQ(m->Save(), 0);
        return m;
    }
    std::string Log() const { return qirReadFile(dir + "/QIR.log"); }
    // What ghostscript reads from the file, pages first to last.
    static std::string Text(const std::string& ps, int first = 0, int last = 0) {
        std::string pages = first ? " -dFirstPage=" + std::to_string(first) + " -dLastPage=" + std::to_string(last) : "";
        return qirShell("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=txtwrite" + pages + " -sOutputFile=- '" + ps +
                        "' 2>&1");
    }

    std::string dir, tmp;
    qirMsg* msg = nullptr;
};

TEST_F(PrintJobTest, GhostscriptReadsTheMessageBackWithItsOwnFonts) {
    msg = Import(Message(LongReferences()));
    qirPrintJob job(msg, nullptr, WidgetKit::instance(), LayoutKit::instance());
    ASSERT_EQ(job.Failures(), 0) << Log();
    ASSERT_EQ(job.Print(), 0) << Log();
    EXPECT_GE(job.Pages(), 2);

    // The print file is private and stays where it was made (not removed).
    struct stat st;
    ASSERT_EQ(stat(job.File().Data(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(std::string(job.File().Data()).rfind(tmp + "/msg_", 0), 0u);
    std::string copy = dir + "/job.ps";
    ASSERT_EQ(qirReadFile(copy), qirReadFile(job.File().Data())) << "the command did not get the file";

    std::string all = Text(copy);
    for (const char* want : {"From: Ann Doe <ann@example.org>", "Subject: Caf\xc3\xa9 (menu) \\ list",
                             "Parens ( ) and a backslash \\ and caf\xc3\xa9.", "    Tabbed line", "[ Attachment:",
                             "Page 1", "Page 2", "Printed from QIR version 1.0 Beta3", "ref169.long"})
        EXPECT_NE(all.find(want), std::string::npos) << want << "\n" << all;
    // The header goes on past page 1 rather than past its slots: its end
    // is on page 2, before the text.
    std::string second = Text(copy, 2, 2);
    EXPECT_NE(second.find("ref169.long"), std::string::npos);
    EXPECT_NE(second.find("Parens"), std::string::npos);
    EXPECT_EQ(Text(copy, 1, 1).find("Parens"), std::string::npos);

    std::string run = qirShell("gs -dSAFER -dBATCH -dNOPAUSE -sDEVICE=nullpage '" + copy + "' 2>&1");
    EXPECT_EQ(run.find("Error"), std::string::npos) << run;
    EXPECT_EQ(run.find("Substituting"), std::string::npos) << run;
}

TEST_F(PrintJobTest, FailuresAreReportedAndNothingIsClaimed) {
    msg = Import(Message(""));
    struct Case {
        const char* what;
        const char* key;
        const char* value;
        const char* report;
        bool setUp;  // the job sets up and fails only when printing
    } cases[] = {
        {"no font directory", "Printer.Fonts.PsFontMetricsDir", "", "E Can't find PostScript fonts", false},
        {"a font without metrics", "Printer.Fonts.FontBody", "NoSuchFont-Regular",
         "E Can't find PostScript font metrics for FontHeaderBody", false},
        {"a failing command", "Printer.Command", "false %s", "E The print command failed (status 1)", true},
        {"a command with no file", "Printer.Command", "lpr", "must name the file with one %s", true},
        {"a command with a second conversion", "Printer.Command", "lpr %s %d", "must name the file with one %s", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qirConfig.Remove(nullptr);
        qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
        qirConfig.Set("Printer.RemoveFileAfterPrinting", "No");
        qirConfig.Set(c.key, c.value);
        unsetenv("PSFONTDIR");
        qirPrintJob job(msg, nullptr, WidgetKit::instance(), LayoutKit::instance());
        EXPECT_EQ(job.Failures() == 0, c.setUp);
        EXPECT_NE(job.Print(), 0);
        EXPECT_NE(Log().find(c.report), std::string::npos) << Log();
    }
    // No temporary file can be made: reported, nothing printed.
    qirConfig.Set("Printer.Command", "true %s");
    setenv("TMPDIR", (dir + "/missing").c_str(), 1);
    qirPrintJob job(msg, nullptr, WidgetKit::instance(), LayoutKit::instance());
    EXPECT_NE(job.Print(), 0);
    EXPECT_NE(Log().find("E Can't make the print file"), std::string::npos);
}

TEST_F(PrintJobTest, AnEmptyMessagePrintsOnePageAndTheFileCanBeRemoved) {
    msg = new qirMsg(qirPath((dir + "/Empty").c_str()));
    qirConfig.Set("Printer.RemoveFileAfterPrinting", "yes");
    qirPrintJob job(msg, nullptr, WidgetKit::instance(), LayoutKit::instance());
    ASSERT_EQ(job.Print(), 0) << Log();
    EXPECT_EQ(job.Pages(), 1);
    struct stat st;
    EXPECT_NE(stat(job.File().Data(), &st), 0) << "the print file was left";
    std::string text = Text(dir + "/job.ps");
    EXPECT_NE(text.find("Page 1"), std::string::npos) << text << qirReadFile(dir + "/job.ps");
    EXPECT_EQ(text.find("Page 2"), std::string::npos);
}

}  // namespace

// The session log of the window process on a real X server: the file
// first, the boxes of critical errors and errors, the panel and its level
// switches, and the saves when the process ends without the quit.
#include <gtest/gtest.h>

#include "qirAppTestSupport.h"

#include "qirLogWindow.h"
#include "qirRTFPanel.h"

#include <IV-look/kit.h>
#include <InterViews/layout.h>
#include <InterViews/telltale.h>

#include <cstdlib>
#include <string>
#include <vector>

// The editor's document names its text Text, as InterViews names a class.
#undef Text

using qirapp::Answer;

namespace {

// Events, then the dispatcher's timers until the panel has taken what is
// queued for it (it is filled from a timer), then the drawing that follows.
void Settle() {
    qirgui::Pump();
    qirLogWindow* log = qirLogWindow::Current();
    for (int i = 0; i < 3 || (log && log->Queued() > 0 && i < 50); i++) {
        long sec = 0, usec = 10000;
        Dispatcher::instance().dispatch(sec, usec);
    }
    qirgui::Pump();
}

// The panel's text, one string per line.
std::vector<std::string> PanelText(const qirLogWindow* log) {
    std::vector<std::string> lines;
    if (!log->Panel())
        return lines;
    const std::string& text = log->Panel()->Editor()->Document().Text();
    size_t at = 0;
    for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(text.substr(at, nl - at));
    // The editor's final newline ends the last entry, or stands alone.
    if (lines.size() == 1 && lines[0].empty())
        lines.clear();
    return lines;
}

// The colour name of the run that governs the first byte of line i.
std::string ColorAt(const qirLogWindow* log, int line, int column) {
    qirRTFEditor* editor = log->Panel()->Editor();
    const qirRTFDocument& doc = editor->Document();
    size_t at = 0;
    for (int i = 0; i < line; i++)
        at = doc.Text().find('\n', at) + 1;
    const qirRTFStyle& run = doc.Runs()[doc.RunOf(static_cast<int>(at) + column)];
    const char* name = editor->ColorName(run.color);
    return name ? name : "";
}

// A log window as session start makes it, over the fixture's log, with
// switches of its own in place of the menu's and its panel in a window.
class LogWindowTest : public qirapp::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        qirConfig.Set("Debug.Window", "yes");
        qirConfig.Set("Debug.Colors.Info", "#0000ff", 0);
        qirConfig.Set("Debug.Colors.Info", "#008000", 1);
    }
    void TearDown() override {
        delete window;
        window = nullptr;
        if (qirLog == log) {
            delete log;
            qirLog = nullptr;
        }
        for (TelltaleState*& s : switches)
            Resource::unref(s);
        delete layout;
        AppTest::TearDown();
    }
    // withSwitches 0: none attached.
    qirLogWindow* Make(int withSwitches = 1) {
        layout = new qirLayout(qirPath((dir + "/layout").c_str()));
        log = new qirLogWindow(qirLog, &qirConfig, layout, WidgetKit::instance(), LayoutKit::instance(),
                               Session::instance()->style());
        delete qirLog;
        qirLog = log;
        for (int i = 0; withSwitches && i < 7; i++) {
            switches[i] = new TelltaleState(TelltaleState::is_enabled | TelltaleState::is_choosable);
            Resource::ref(switches[i]);
            log->AttachSwitch(i, switches[i]);
        }
        EXPECT_EQ(log->Open((dir + "/QIR.log").c_str(), qirLogDebug, -1), -20);
        return log;
    }
    void Show() {
        qirx::XWin xwin;
        window = qirgui::MapTitled(LayoutKit::instance()->vfixed(log->PanelGlyph(), 200),
                                   qirgui::Title("log panel"), &xwin);
        Settle();
    }
    int Chosen(int i) const { return switches[i]->test(TelltaleState::is_chosen) ? 1 : 0; }
    void Choose(int i, bool on) { switches[i]->set(TelltaleState::is_chosen, on); }

    qirLayout* layout = nullptr;
    qirLogWindow* log = nullptr;
    TelltaleState* switches[7] = {};
    TopLevelWindow* window = nullptr;
};

TEST_F(LogWindowTest, AnErrorIsInTheFileBeforeItsBoxAndKeepsItsText) {
    Make();
    Show();
    std::vector<std::string> titles;
    std::string fileDuringBox;
    Answer() = [&](qirDialog* d) {
        titles.push_back(d->title().Data());
        fileDuringBox = Log();
        // Reports made while the box is up share the report buffer.
        qirLog->Report(qirLogWarning, "meanwhile %d", 2);
        d->dismiss(true);
    };
    qirLog->Report(qirLogError, "disk %d full", 1);
    EXPECT_EQ(titles, std::vector<std::string>{"Error"});
    EXPECT_NE(fileDuringBox.find("\nE disk 1 full\n"), std::string::npos) << fileDuringBox;
    std::string file = Log();
    EXPECT_LT(file.find("E disk 1 full"), file.find("W meanwhile 2"));
    Settle();
    EXPECT_EQ(PanelText(log), (std::vector<std::string>{"Err: disk 1 full", "Wrn: meanwhile 2"}));

    // A box whatever the switches say; the entry still reaches the file.
    Choose(qirLogError, false);
    qirLog->Write(qirLogError, "switched off");
    EXPECT_EQ(titles.size(), 2u);
    EXPECT_NE(Log().find("E switched off"), std::string::npos);

    // Once the log writes to the file only, nothing is posted.
    log->FileOnly();
    qirLog->Write(qirLogError, "display gone");
    EXPECT_EQ(titles.size(), 2u);
    EXPECT_NE(Log().find("E display gone"), std::string::npos);
}

// Reports about the content of received mail open no box of their own;
// the end of the outermost stretch shows one "Warning" box for them all.
TEST_F(LogWindowTest, ContentReportsOfReceivedMailShowOneBoxAtTheEnd) {
    Make();
    Show();
    std::vector<std::string> boxes;
    Answer() = [&](qirDialog* d) {
        boxes.push_back(d->title().Data());
        d->dismiss(true);
    };
    log->BeginReceived();
    log->BeginReceived();
    for (int i = 1; i <= 3; i++) {
        log->ReportContent(qirLogError, "field %d not read", i);
        log->EndReceivedMessage(("stored as Message" + std::to_string(i)).c_str());
    }
    EXPECT_EQ(log->EndReceived(), 3);
    EXPECT_EQ(boxes, std::vector<std::string>{});
    EXPECT_EQ(log->EndReceived(), 3);
    EXPECT_EQ(boxes, std::vector<std::string>{"Warning"});
    // Without content reports, none.
    log->BeginReceived();
    log->EndReceived();
    EXPECT_EQ(boxes.size(), 1u);
    std::string file = Log();
    EXPECT_NE(file.find("W The received message stored as Message2 has fields or parts that could not be read:\n"
                        "E field 2 not read\n"),
              std::string::npos)
        << file;
    EXPECT_NE(file.find("W 3 of the received messages had fields or parts that could not be read; "
                        "the session log names them.\n"),
              std::string::npos)
        << file;
}

TEST_F(LogWindowTest, TheTextOfAReportShowsAsItStands) {
    Make();
    Show();
    struct Case {
        const char* report;
        std::vector<std::string> shown;
    } cases[] = {
        {"a < b", {"Inf: a < b"}},
        {"Can't open </tmp/x>", {"Inf: Can't open </tmp/x>"}},
        {"<param>red</param> swallows nothing", {"Inf: <param>red</param> swallows nothing"}},
        {"<x-color><param>red</param>open colour", {"Inf: <x-color><param>red</param>open colour"}},
        {"<<bold>>", {"Inf: <<bold>>"}},
        {"two\nlines\n\nand a blank one\n", {"Inf: two", "lines", "", "and a blank one"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.report);
        int before = static_cast<int>(PanelText(log).size());
        qirLog->Write(qirLogInfo, c.report);
        qirLog->Write(qirLogInfo, "next");
        Settle();
        std::vector<std::string> lines = PanelText(log);
        std::vector<std::string> expected = c.shown;
        expected.push_back("Inf: next");
        ASSERT_EQ(std::vector<std::string>(lines.begin() + before, lines.end()), expected);
        // The entry after it has its own colours.
        int next = static_cast<int>(lines.size()) - 1;
        EXPECT_EQ(ColorAt(log, next, 0), "#0000ff");
        EXPECT_EQ(ColorAt(log, next, 6), "#008000");
    }

    // A report longer than a report may be is cut, its colour closed.
    std::string lengthy(20000, '<');
    qirLog->Write(qirLogInfo, lengthy.c_str());
    qirLog->Write(qirLogInfo, "after the long one");
    Settle();
    std::vector<std::string> lines = PanelText(log);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Inf: " + std::string(qirReportBufferSize - 1, '<'));
    EXPECT_EQ(lines.back(), "Inf: after the long one");
    EXPECT_EQ(ColorAt(log, static_cast<int>(lines.size()) - 1, 0), "#0000ff");
    EXPECT_EQ(ColorAt(log, static_cast<int>(lines.size()) - 1, 6), "#008000");
}

TEST_F(LogWindowTest, SwitchesChooseTheLevelsAndAreKeptInTheLayout) {
    // Without switches: every level below the limit, debug not.
    Make(0);
    for (int level = 0; level < qirLogLevelCount; level++)
        EXPECT_EQ(log->LevelShown(level), level < qirLogDebug) << level;
    EXPECT_EQ(log->ShowAll(), 0);
    delete log;
    qirLog = log = nullptr;
    delete layout;

    // An empty layout: every switch comes up set.
    qirLog = new qirError();
    qirLog->Open((dir + "/QIR.log").c_str(), qirLogDebug, -1);
    Make();
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(Chosen(i), 1) << i;
    Show();
    Choose(qirLogWindow::ShowAllSwitch, false);
    Choose(qirLogInfo, false);
    qirLog->Write(qirLogInfo, "hidden");
    qirLog->Write(qirLogDebug, "shown");
    Settle();
    EXPECT_EQ(PanelText(log), std::vector<std::string>{"Dbg: shown"});
    Choose(qirLogWindow::ShowAllSwitch, true);
    qirLog->Write(qirLogInfo, "shown by show-all");
    Settle();
    EXPECT_EQ(PanelText(log).back(), "Inf: shown by show-all");
    Choose(qirLogWindow::ShowAllSwitch, false);

    // Kept under Menu.Main.Show, read again by the next session.
    log->SaveShowSettings();
    EXPECT_EQ(layout->MenuFlag("Main.Show.Info"), 0);
    EXPECT_EQ(layout->MenuFlag("Main.Show.Warning"), 1);
    EXPECT_EQ(layout->MenuFlag("Main.Show.ShowAll"), 0);
    int missing = 1;
    layout->MenuFlag("Main.Show.Debug", &missing);
    EXPECT_EQ(missing, 0);
    for (int i = 0; i < 7; i++)
        Choose(i, true);
    log->Open((dir + "/QIR.log").c_str(), qirLogDebug, -1);
    EXPECT_EQ(Chosen(qirLogInfo), 0);
    EXPECT_EQ(Chosen(qirLogWarning), 1);
    EXPECT_EQ(Chosen(qirLogWindow::ShowAllSwitch), 0);
}

TEST_F(LogWindowTest, ThePanelIsFilledWhileShownAndKeepsTheLastLines) {
    Make();
    for (int i = 0; i < 3; i++)
        qirLog->Report(qirLogInfo, "early %d", i);
    Settle();
    EXPECT_TRUE(PanelText(log).empty());
    EXPECT_EQ(log->Queued(), 3);

    Show();
    EXPECT_EQ(log->Queued(), 0);
    EXPECT_EQ(PanelText(log), (std::vector<std::string>{"Inf: early 0", "Inf: early 1", "Inf: early 2"}));

    const int rounds = 6, each = 1000;
    for (int r = 0; r < rounds; r++) {
        for (int i = 0; i < each; i++)
            qirLog->Report(qirLogInfo, "entry %d", r * each + i);
        Settle();
    }
    std::vector<std::string> lines = PanelText(log);
    ASSERT_EQ(lines.size(), static_cast<size_t>(qirLogWindow::PanelLines));
    EXPECT_EQ(lines.front(), "Inf: entry " + std::to_string(rounds * each - qirLogWindow::PanelLines));
    EXPECT_EQ(lines.back(), "Inf: entry " + std::to_string(rounds * each - 1));

    // Hidden: entries wait, no more than the panel would keep.
    window->unmap();
    Settle();
    for (int i = 0; i < 2 * qirLogWindow::PanelLines; i++)
        qirLog->Report(qirLogInfo, "while hidden %d", i);
    Settle();
    EXPECT_EQ(PanelText(log).back(), "Inf: entry " + std::to_string(rounds * each - 1));
    EXPECT_EQ(log->Queued(), qirLogWindow::PanelLines);
    window->map();
    Settle();
    EXPECT_EQ(log->Queued(), 0);
    EXPECT_EQ(PanelText(log).back(), "Inf: while hidden " + std::to_string(2 * qirLogWindow::PanelLines - 1));
    EXPECT_EQ(PanelText(log).size(), static_cast<size_t>(qirLogWindow::PanelLines));
}

// Session start hands the log to the log window and the menu's switches to
// it; the panel is below the folder list only when asked for.
class LogAppTest : public qirapp::AppTest {
protected:
    // The box is answered, its title told on standard error.
    void ReportCritical() {
        qirConfig.Set("Layout", getenv("QIR_TEST_CRITICAL_LAYOUT"));
        Start();
        qirApp->LogToggle(qirLogInfo)->set(TelltaleState::is_chosen, false);
        Answer() = [](qirDialog* d) {
            fprintf(stderr, "box: %s\n", d->title().Data());
            d->dismiss(true);
        };
        qirLog->Report(qirLogCritical, "disk %s", "gone");
    }
};

TEST_F(LogAppTest, TheMainWindowShowsThePanelAndKeepsTheSwitches) {
    for (const char* value : {"No", "YES"}) {
        SCOPED_TRACE(value);
        qirConfig.Set("Debug.Window", value);
        Start();
        qirLogWindow* log = qirLogWindow::Current();
        ASSERT_NE(log, nullptr);
        EXPECT_EQ(log->Path(), (dir + "/QIR.log").c_str());
        EXPECT_EQ(log->PanelGlyph() != nullptr, value[0] == 'Y');
        if (value[0] == 'N') {
            qirApp->Shutdown();
            delete qirApp;
            qirApp = nullptr;
            qirLog = new qirError();
            qirLog->Open((dir + "/QIR.log").c_str(), 5, -1);
            continue;
        }
        qirApp->MainWindow()->map();
        ASSERT_NE(qirgui::WaitWindow("Quorvane"), 0u);
        Settle();
        std::vector<std::string> lines = PanelText(log);
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Sts: QIR Startting"), lines.end());
        for (int i = 0; i < 7; i++)
            EXPECT_TRUE(qirApp->LogToggle(i)->test(TelltaleState::is_chosen)) << i;
        qirApp->LogToggle(qirLogInfo)->set(TelltaleState::is_chosen, false);
        qirApp->Shutdown();
    }
    qirLayout layout(qirPath((dir + "/layout").c_str()));
    EXPECT_EQ(layout.MenuFlag("Main.Show.Info"), 0);
    EXPECT_EQ(layout.MenuFlag("Main.Show.Error"), 1);
}

TEST_F(LogAppTest, ALostDisplayWritesToTheFileOnlyAndSaves) {
    Start();
    Answer() = [](qirDialog* d) {
        ADD_FAILURE() << "a box was posted: " << d->title().Data();
        d->dismiss(false);
    };
    // The save reports at level 1 itself.
    qirApp->SaveForLostDisplay();
    EXPECT_NE(Log().find("E The X display is gone: saving and ending"), std::string::npos);
    EXPECT_EQ(access((dir + "/layout").c_str(), F_OK), 0);
}

// A critical error shows its box, then the process saves and ends.  The
// death test runs in a fresh process of its own with a session of its own.
TEST_F(LogAppTest, ACriticalErrorShowsItsBoxThenSavesAndEnds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this body again, in a directory of its own: it keeps
    // the parent's path, and its own directory goes when it ends.
    static std::string childHome;
    if (getenv("QIR_TEST_CRITICAL_LAYOUT")) {
        childHome = home;
        atexit([] { qirRemoveTree(childHome); });
    }
    std::string layoutPath = dir + "/saved-layout";
    setenv("QIR_TEST_CRITICAL_LAYOUT", layoutPath.c_str(), 0);
    EXPECT_EXIT(ReportCritical(), ::testing::ExitedWithCode(1), "box: Critical error\n(.|\n)*Critical error: disk gone");
    unsetenv("QIR_TEST_CRITICAL_LAYOUT");
    qirLayout saved{qirPath(layoutPath.c_str())};
    EXPECT_EQ(saved.MenuFlag("Main.Show.Info"), 0) << qirReadFile(layoutPath);
    EXPECT_EQ(saved.MenuFlag("Main.Show.Error"), 1);
}

}  // namespace

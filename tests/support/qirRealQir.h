// The real qir under the test's X server, in a home of the test's own, with
// the drawing log (drawlog.c) preloaded: its windows are found by title,
// read back as lines of text and worked with xdotool as a user works them.
// The test process opens no InterViews session, so the program's, xdotool's
// and the servers' children are its own.
#ifndef QIR_REAL_QIR_H
#define QIR_REAL_QIR_H

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "qirDrawLog.h"
#include "qirTestProgram.h"

class qirRealQir {
public:
    // home must exist; the folder directory is home/.QIR (made here).
    explicit qirRealQir(const std::string& home);
    ~qirRealQir() { Stop(); }

    std::string Dir() const { return home_ + "/.QIR"; }
    const std::string& Title() const { return title_; }
    // Starts the program (a fresh draw log each run) with env laid over the
    // test's own; false when it cannot be started.
    bool Start(const std::vector<std::pair<std::string, std::string>>& env = {});
    void Stop() { program_.Stop(); }
    // The exit status within ms, or -1 while it still runs.
    int Wait(int ms) { return program_.Wait(ms); }
    int Ended(int* status) { return program_.Ended(status); }
    int Pid() const { return program_.Pid(); }

    // The main window once it is mapped; 0 when the program ended or a
    // minute passed.
    unsigned long MainWindow();
    // Polls (reading the draw log) until done() holds: false after ms
    // milliseconds or when the program has ended.
    bool WaitFor(const std::function<bool()>& done, int ms);
    // The mapped window titled exactly name that this program draws, or 0.
    unsigned long Window(const std::string& name);
    // The window's lines as drawn now.
    std::vector<qirDrawnLine> Lines(unsigned long window) const { return draw_.Lines(window); }
    // Its single words with their places, and the stencils (pictures) it shows.
    std::vector<qirDrawnLine> Texts(unsigned long window) const { return draw_.Texts(window); }
    std::vector<qirDrawnStencil> Stencils(unsigned long window) const { return draw_.Stencils(window); }
    // Every drawable holding text now (windows, their back buffers and the
    // windows of text fields).
    std::vector<unsigned long> Drawables() const { return draw_.Drawables(); }
    // Clicks the word of the window (a button's label): false when it is not
    // drawn within ms.
    bool ClickWord(unsigned long window, const std::string& word, int button = 1, int count = 1, int ms = 5000);
    // The pixels of a rectangle of the window as drawn on the screen, three
    // bytes (red, green, blue) each, row by row; "" when it cannot be read.
    std::string Pixels(unsigned long window, int x, int y, int width, int height) const;
    // The first line of the window whose text starts with prefix, waiting
    // up to ms for it; a line with empty text when there is none.
    qirDrawnLine WaitLine(unsigned long window, const std::string& prefix, int ms = 5000);
    // Clicks at a point of the window (pixels), count times in a row.
    void Click(unsigned long window, int x, int y, int button = 1, int count = 1);
    // Double-clicks the row of the main window that shows the folder name
    // and answers the folder's window once it is drawn, or 0.  Synthetic
    // clicks are now and then lost: it tries three times.
    unsigned long OpenFolder(unsigned long main, const std::string& name, const std::string& title);
    // Pulls down the menu bar entry of the window whose label is menu and
    // lets go over its item labelled item: false when either is not drawn.
    bool Menu(unsigned long window, const std::string& menu, const std::string& item);
    // The end of the session log.
    std::string LogTail() const;
    // For tests/screenshots.sh: announces name.ready in QIR_SHOT_DIR and
    // waits (ten seconds at most) until the script has taken name.png.
    static void Shot(const char* name);
    const std::string& DrawLogPath() const { return drawLog_; }

private:
    std::string home_;
    std::string title_;
    std::string drawLog_;
    qirBackgroundProgram program_;
    qirDrawLog draw_{""};
};

#endif

// The real qir on the tests' X server, used as a user uses it: xdotool
// moves the pointer, clicks, pulls menus down and types; what the windows
// show is read back through the drawlog shim.  The test process opens no
// InterViews session of its own.
#ifndef QIR_USER_SESSION_H
#define QIR_USER_SESSION_H

#include "qirDrawLog.h"
#include "qirTestProgram.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

class qirUserSession {
public:
    // home holds the user's ".QIR"; the program runs with TZ=UTC.
    explicit qirUserSession(std::string home) : home_(std::move(home)), draw_("") {}

    // Starts qir titled title (extra environment over the usual) and waits
    // up to a minute for its main window: false when it did not come.
    bool Start(const std::string& title, const std::vector<std::pair<std::string, std::string>>& env = {});
    // Raises the main window and chooses Quit from its menu: the exit
    // status within 30 s, or -1.
    int Quit();
    // The tail of the program's session log, for failure messages.
    std::string LogTail() const;

    // Polls the draw log until done() holds: false after ms milliseconds
    // or when the program has ended.
    bool WaitFor(const std::function<bool()>& done, int ms);
    // The mapped window titled title that this program draws into, or 0.
    unsigned long Window(const std::string& title);
    unsigned long MainWindow() const { return main_; }

    // Raises the main window and double-clicks the folder's name in the
    // folder list: the folder's message list window, or 0.
    unsigned long OpenFolder(const std::string& name);
    // Raises window w, pulls down its menu bar entry bar and lets go over item:
    // false when the item did not show.  With shot, the open menu is
    // photographed first (see Shot).
    bool ChooseMenu(unsigned long w, const std::string& bar, const std::string& item, const char* shot = nullptr);
    // A click at (x, y) of window w, with Control held when asked.
    void Click(unsigned long w, int x, int y, bool control = false);
    // Clicks the word of window w (the first drawn, top to bottom).
    bool ClickWord(unsigned long w, const std::string& word);

    std::vector<qirDrawnLine> Lines(unsigned long w) { return draw_.Lines(w); }
    std::vector<qirDrawnLine> Words(unsigned long w) { return draw_.Words(w); }
    qirBackgroundProgram& Program() { return qir_; }

    // For tests/screenshots.sh: announces name.ready in QIR_SHOT_DIR and
    // waits (ten seconds at most) until the script has taken name.png.
    static void Shot(const char* name);

private:
    std::string home_;
    std::string title_;
    qirBackgroundProgram qir_;
    qirDrawLog draw_;
    unsigned long main_ = 0;
};

#endif

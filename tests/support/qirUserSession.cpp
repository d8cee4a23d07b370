#include "qirUserSession.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

std::string Id(unsigned long w) { return std::to_string(w); }

// The screen position of window w's top left corner.
bool Position(unsigned long w, int* x, int* y) {
    return sscanf(qirShell("xdotool getwindowgeometry " + Id(w) + " | grep Position").c_str(), " Position: %d,%d", x,
                  y) == 2;
}

bool Viewable(unsigned long w) {
    return qirShell("xwininfo -id " + Id(w) + " 2>/dev/null").find("IsViewable") != std::string::npos;
}

}  // namespace

bool qirUserSession::Start(const std::string& title, const std::vector<std::pair<std::string, std::string>>& env) {
    title_ = title;
    // Window ids come again in a later run: each run has a log of its own.
    std::string log = home_ + "/draw.log";
    unlink(log.c_str());
    draw_ = qirDrawLog(log);
    std::vector<std::pair<std::string, std::string>> all = {
        {"QIR_TEST_HOME", home_},
        {"LD_PRELOAD", QIR_FAKEHOME " " QIR_DRAWLOG},
        {"QIR_TEST_DRAWLOG", log},
        {"ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0"},
        {"TZ", "UTC"}};
    all.insert(all.end(), env.begin(), env.end());
    main_ = 0;
    if (!qir_.Start(QIR_BINARY, {"-title", title}, all))
        return false;
    for (int i = 0; i < 60 && !main_; i++) {
        if (qir_.Ended())
            return false;
        std::string w = qirFindWindow(title, 1);
        if (!w.empty())
            main_ = std::stoul(w);
    }
    return main_ != 0;
}

int qirUserSession::Quit() {
    qirMainMenu(Id(main_), 142);
    return qir_.Wait(30000);
}

std::string qirUserSession::LogTail() const {
    std::string log = qirReadFile(home_ + "/.QIR/QIR.log");
    return log.substr(log.size() > 800 ? log.size() - 800 : 0);
}

bool qirUserSession::WaitFor(const std::function<bool()>& done, int ms) {
    for (int waited = 0; waited <= ms; waited += 10) {
        draw_.Update();
        if (done())
            return true;
        if (qir_.Ended())
            return false;
        usleep(10000);
    }
    return false;
}

unsigned long qirUserSession::Window(const std::string& title) {
    std::string out = qirShell("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null");
    draw_.Update();
    for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) {
        unsigned long id = std::stoul(out.substr(at, nl - at));
        if (draw_.CopiedTo(id))
            return id;
    }
    return 0;
}

unsigned long qirUserSession::OpenFolder(const std::string& name) {
    qirShell("xdotool windowraise " + Id(main_));
    qirDrawnLine row{0, 0, ""};
    if (!WaitFor([&] {
            for (const qirDrawnLine& l : draw_.Lines(main_))
                if (l.text == name)
                    row = l;
            return !row.text.empty();
        }, 10000))
        return 0;
    // Synthetic clicks are now and then lost: a second double click on an
    // open folder does nothing.
    for (int attempt = 0; attempt < 3; attempt++) {
        qirShell("xdotool mousemove --window " + Id(main_) + " " + std::to_string(row.x + 10) + " " +
                 std::to_string(row.y - 4) + " click --repeat 2 --delay 80 1");
        unsigned long list = 0;
        int polls = 0;
        if (WaitFor([&] { return ++polls % 5 == 0 && (list = Window(name)) != 0; }, 3000))
            return list;
    }
    return 0;
}

bool qirUserSession::ChooseMenu(unsigned long w, const std::string& bar, const std::string& item, const char* shot) {
    draw_.Update();
    qirDrawnLine entry{0, INT_MAX, ""};
    for (const qirDrawnLine& word : draw_.Words(w))
        if (word.text == bar && word.y < entry.y)
            entry = word;
    if (entry.text.empty())
        return false;
    // Without a window manager the last window mapped covers the others.
    qirShell("xdotool windowraise " + Id(w) + " sleep 0.1");
    for (int attempt = 0; attempt < 3; attempt++) {
        qirShell("xdotool mousemove --window " + Id(w) + " " + std::to_string(entry.x + 4) + " " +
                 std::to_string(entry.y - 4) + " mousedown 1");
        unsigned long menu = 0;
        qirDrawnLine at{0, 0, ""};
        int polls = 0;
        bool shown = WaitFor([&] {
            if (++polls % 5)
                return false;
            for (unsigned long id : draw_.Windows()) {
                if (id == w || id == main_)
                    continue;
                for (const qirDrawnLine& l : draw_.Lines(id))
                    if (l.text == item && Viewable(id)) {
                        menu = id;
                        at = l;
                        return true;
                    }
            }
            return false;
        }, 3000);
        int x = 0, y = 0;
        if (!shown || !Position(menu, &x, &y)) {
            qirShell("xdotool mouseup 1");
            continue;
        }
        if (shot)
            Shot(shot);
        qirShell("xdotool mousemove " + std::to_string(x + at.x + 10) + " " + std::to_string(y + at.y - 4) +
                 " sleep 0.2 mouseup 1");
        return true;
    }
    return false;
}

void qirUserSession::Click(unsigned long w, int x, int y, bool control) {
    // Far enough from the last press that no two clicks make a double
    // click, and the pointer there before the press.
    std::string move = "xdotool sleep 0.3 mousemove --window " + Id(w) + " " + std::to_string(x) + " " +
                       std::to_string(y) + " sleep 0.05";
    if (control)
        qirShell(move + " keydown ctrl mousedown 1 mouseup 1 keyup ctrl");
    else
        qirShell(move + " mousedown 1 mouseup 1");
}

bool qirUserSession::ClickWord(unsigned long w, const std::string& word) {
    qirDrawnLine found{0, 0, ""};
    if (!WaitFor([&] {
            for (const qirDrawnLine& l : draw_.Words(w))
                if (l.text == word) {
                    found = l;
                    return true;
                }
            return false;
        }, 3000))
        return false;
    Click(w, found.x + 3, found.y - 4);
    return true;
}

void qirUserSession::Shot(const char* name) {
    const char* dir = getenv("QIR_SHOT_DIR");
    if (!dir)
        return;
    std::string base = std::string(dir) + "/" + name;
    unlink((base + ".png").c_str());
    if (FILE* f = fopen((base + ".ready").c_str(), "w"))
        fclose(f);
    for (int i = 0; i < 1000 && access((base + ".png").c_str(), F_OK) != 0; i++)
        usleep(10000);
}

#include "qirRealQir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

std::string Id(unsigned long w) { return std::to_string(w); }

// Left, top of a window on the screen; false when it is no window.
bool Position(unsigned long w, int* x, int* y)
{
    std::string out = qirShell("xdotool getwindowgeometry " + Id(w) + " 2>/dev/null | grep Position");
    return sscanf(out.c_str(), " Position: %d,%d", x, y) == 2;
}

} // namespace

qirRealQir::qirRealQir(const std::string& home)
    : home_(home), title_("Quorvane " + std::to_string(getpid())), drawLog_(home + "/draw.log")
{
    mkdir(Dir().c_str(), 0700);
}

bool qirRealQir::Start(const std::vector<std::pair<std::string, std::string>>& env)
{
    // Window ids come again in a later run: each run has a log of its own.
    unlink(drawLog_.c_str());
    draw_ = qirDrawLog(drawLog_);
    std::vector<std::pair<std::string, std::string>> all = {
        {"QIR_TEST_HOME", home_},
        {"LD_PRELOAD", QIR_FAKEHOME " " QIR_DRAWLOG},
        {"QIR_TEST_DRAWLOG", drawLog_},
        {"ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0"},
        {"MAIL", home_ + "/spool"},
        {"TZ", "UTC"}};
    all.insert(all.end(), env.begin(), env.end());
    return program_.Start(QIR_BINARY, {"-title", title_}, all);
}

std::string qirRealQir::LogTail() const
{
    std::string log = qirReadFile(Dir() + "/QIR.log");
    return log.substr(log.size() > 1500 ? log.size() - 1500 : 0);
}

unsigned long qirRealQir::MainWindow()
{
    for (int i = 0; i < 60; i++) {
        int status;
        if (program_.Ended(&status)) return 0;
        std::string w = qirFindWindow(title_, 1);
        if (!w.empty()) return std::stoul(w);
    }
    return 0;
}

bool qirRealQir::WaitFor(const std::function<bool()>& done, int ms)
{
    for (int waited = 0; waited <= ms; waited += 10) {
        draw_.Update();
        if (done()) return true;
        int status;
        if (program_.Ended(&status)) return false;
        usleep(10000);
    }
    return false;
}

unsigned long qirRealQir::Window(const std::string& name)
{
    std::string out = qirShell("xdotool search --onlyvisible --name '^" + name + "$' 2>/dev/null");
    for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) {
        unsigned long id = std::stoul(out.substr(at, nl - at));
        if (draw_.CopiedTo(id)) return id;
    }
    return 0;
}

qirDrawnLine qirRealQir::WaitLine(unsigned long window, const std::string& prefix, int ms)
{
    qirDrawnLine found{0, 0, ""};
    WaitFor([&] {
        for (const qirDrawnLine& l : draw_.Lines(window))
            if (l.text.compare(0, prefix.size(), prefix) == 0) {
                found = l;
                return true;
            }
        return false;
    }, ms);
    return found;
}

void qirRealQir::Click(unsigned long window, int x, int y, int button, int count)
{
    qirShell("xdotool mousemove --window " + Id(window) + " " + std::to_string(x) + " " + std::to_string(y) +
             " click --repeat " + std::to_string(count) + " --delay 80 " + std::to_string(button));
}

unsigned long qirRealQir::OpenFolder(unsigned long main, const std::string& name, const std::string& title)
{
    qirDrawnLine row = WaitLine(main, name, 10000);
    if (row.text.empty()) return 0;
    for (int attempt = 0; attempt < 3; attempt++) {
        Click(main, row.x + 10, row.y - 4, 1, 2);
        unsigned long w = 0;
        int polls = 0;
        if (WaitFor([&] { return ++polls % 5 == 0 && (w = Window(title)) != 0; }, 3000)) return w;
    }
    return 0;
}

bool qirRealQir::Menu(unsigned long window, const std::string& menu, const std::string& item)
{
    draw_.Update();
    qirDrawnLine entry{0, 0, ""};
    for (const qirDrawnLine& t : draw_.Texts(window))
        if (t.text == menu && (entry.text.empty() || t.y < entry.y)) entry = t;
    if (entry.text.empty()) return false;
    qirShell("xdotool mousemove --window " + Id(window) + " " + std::to_string(entry.x + 5) + " " +
             std::to_string(entry.y - 4) + " mousedown 1");
    // The pulldown is a window of its own: where its item is drawn.
    int x = 0, y = 0;
    bool shown = WaitFor([&] {
        for (unsigned long d : draw_.Drawables())
            for (const qirDrawnLine& l : draw_.Lines(d))
                if (l.text == item && Position(d, &x, &y)) {
                    x += l.x + 5;
                    y += l.y - 4;
                    return true;
                }
        return false;
    }, 3000);
    if (shown) qirShell("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " sleep 0.2");
    qirShell("xdotool mouseup 1");
    return shown;
}

void qirRealQir::Shot(const char* name)
{
    const char* dir = getenv("QIR_SHOT_DIR");
    if (!dir) return;
    std::string base = std::string(dir) + "/" + name;
    unlink((base + ".png").c_str());
    if (FILE* f = fopen((base + ".ready").c_str(), "w")) fclose(f);
    for (int i = 0; i < 1000 && access((base + ".png").c_str(), F_OK) != 0; i++) usleep(10000);
}

bool qirRealQir::ClickWord(unsigned long window, const std::string& word, int button, int count, int ms)
{
    qirDrawnLine found{0, 0, ""};
    WaitFor([&] {
        for (const qirDrawnLine& t : draw_.Texts(window))
            if (t.text == word) {
                found = t;
                return true;
            }
        return false;
    }, ms);
    if (found.text.empty()) return false;
    Click(window, found.x + 3, found.y - 4, button, count);
    return true;
}

std::string qirRealQir::Pixels(unsigned long window, int x, int y, int width, int height) const
{
    std::string file = home_ + "/pixels.rgb";
    unlink(file.c_str());
    char crop[64];
    snprintf(crop, sizeof crop, "%dx%d+%d+%d", width, height, x, y);
    qirShell("import -window " + Id(window) + " -crop " + crop + " +repage -depth 8 rgb:" + file + " 2>/dev/null");
    std::string bytes = qirReadFile(file);
    return bytes.size() == size_t(width) * height * 3 ? bytes : "";
}

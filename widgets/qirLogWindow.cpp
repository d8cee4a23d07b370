#include "qirConfiguration.h"
#include "qirLayout.h"
#include "qirStatus.h"

#include "qirLogWindow.h"

#include "qirDispatch.h"
#include "qirImagePath.h"
#include "qirMessageBox.h"
#include "qirRTFPanel.h"

#include <cctype>
#include <cstring>
#include <vector>

#include <InterViews/canvas.h>
#include <InterViews/monoglyph.h>
#include <InterViews/session.h>
#include <InterViews/telltale.h>
#include <InterViews/window.h>

#undef Text

namespace {

const char* const prefixes[qirLogLevelCount] = {"Crl: ", "Err: ", "Wrn: ", "Sts: ", "Inf: ", "Dbg: "};

// A colour from the configuration goes into a parameter of the panel's
// text: only a name or "#rrggbb" may, nothing that could close the tag.
bool ColorName(const qirString& value) {
    int n = value.Length();
    if (n == 0 || n > 60)
        return false;
    for (const char* p = value.Data(); *p; ++p)
        if (!isalnum(static_cast<unsigned char>(*p)) && *p != '#' && *p != ' ')
            return false;
    return true;
}

// The lines of a box: the report's own lines, long ones wrapped at a blank,
// at most ten; a box wider than the screen would hide its button.
std::vector<qirString> BoxLines(const std::string& text) {
    const size_t width = 80, most = 10;
    std::vector<qirString> lines;
    size_t at = 0, end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r'))
        --end;
    while (at < end || lines.empty()) {
        size_t nl = text.find('\n', at);
        size_t stop = nl == std::string::npos || nl > end ? end : nl;
        size_t cut = stop;
        if (stop - at > width) {
            cut = at + width;
            size_t blank = text.rfind(' ', cut);
            if (blank != std::string::npos && blank > at)
                cut = blank;
        }
        std::string line = text.substr(at, cut - at);
        for (char& c : line)
            if (c == '\t' || c == '\r')
                c = ' ';
        if (lines.size() == most - 1 && cut < end) {
            lines.emplace_back((line + " ...").c_str());
            break;
        }
        lines.emplace_back(line.c_str());
        at = cut < stop ? cut + (text[cut] == ' ') : stop + 1;
    }
    return lines;
}

}  // namespace

// Holds the panel in the main window; a drawing with entries still queued
// (the window was not on the screen when they came) has them put in.
class qirLogWindow::PanelHost : public MonoGlyph {
public:
    PanelHost(Glyph* body, qirLogWindow* owner) : MonoGlyph(body), owner(owner) {}
    void draw(Canvas* c, const Allocation& a) const override {
        MonoGlyph::draw(c, a);
        if (owner && !owner->queue_.empty())
            owner->Arm();
    }
    qirLogWindow* owner;   // null once the log window has let go
};

// Expires at the dispatcher's next turn once it is due, after the handler
// of the current event, also inside a box's own event loop.
class qirLogWindow::FlushTimer : public IOHandler {
public:
    explicit FlushTimer(qirLogWindow* owner) : owner(owner) {}
    void timerExpired(long, long) override {
        armed = false;
        owner->Flush();
    }
    qirLogWindow* owner;
    bool armed = false;
};

qirLogWindow::qirLogWindow(qirError* log, const qirConfiguration* config, qirLayout* layout,
                           WidgetKit* kit, LayoutKit* layoutKit, Style* style)
    : qirError(log), config_(config), layout_(layout), kit_(kit), layoutKit_(layoutKit),
      style_(style), timer_(new FlushTimer(this)) {
    LoadColors();
}

qirLogWindow::~qirLogWindow() {
    Close();
    qirError::Close();
    if (timer_->armed)
        Dispatcher::instance().stopTimer(timer_);
    delete timer_;
}

qirLogWindow* qirLogWindow::Current() { return dynamic_cast<qirLogWindow*>(qirLog); }

void qirLogWindow::LoadColors() {
    const qirConfiguration* colors = config_ ? config_->Find("Debug.Colors") : nullptr;
    for (int level = 0; level < qirLogLevelCount; level++) {
        qirString prefix, text;
        if (colors) {
            prefix = colors->Get(qirLogLevelName(level), 0);
            text = colors->Get(qirLogLevelName(level), 1);
        }
        prefixColor_[level] = ColorName(prefix) ? prefix.Data() : "#ff0000";
        textColor_[level] = ColorName(text) ? text.Data() : "#000000";
    }
}

int qirLogWindow::Open(const char* path, int level, int limit) {
    int status = qirError::Open(path, level, limit);
    LoadColors();
    if (!panel_ && config_ && config_->Get("Debug.Window").EqualsIgnoreCase("Yes")) {
        panel_ = new qirRTFPanel(config_, nullptr, qirRTFViewMode, nullptr);
        Resource::ref(panel_);
        host_ = new PanelHost(panel_, this);
        Resource::ref(host_);
    }
    for (int i = 0; i < 7; i++) {
        if (!switches_[i] || !layout_)
            continue;
        std::string key = "Main.Show.";
        key += i == ShowAllSwitch ? "ShowAll" : qirLogLevelName(i);
        switches_[i]->set(TelltaleState::is_chosen, layout_->MenuFlag(key.c_str()) != 0);
    }
    return status;
}

int qirLogWindow::Close() {
    if (host_) {
        host_->owner = nullptr;
        Resource::unref(host_);
        host_ = nullptr;
    }
    Resource::unref(panel_);
    panel_ = nullptr;
    queue_.clear();
    queuedLines_ = panelLines_ = 0;
    for (TelltaleState*& s : switches_)
        s = nullptr;
    return qirOK;
}

void qirLogWindow::AttachSwitch(int index, TelltaleState* state) {
    if (index >= 0 && index < 7)
        switches_[index] = state;
}

void qirLogWindow::SaveShowSettings() {
    if (!layout_)
        return;
    for (int i = 0; i < 7; i++) {
        if (!switches_[i])
            continue;
        std::string key = "Main.Show.";
        key += i == ShowAllSwitch ? "ShowAll" : qirLogLevelName(i);
        layout_->SetMenuFlag(key.c_str(), switches_[i]->test(TelltaleState::is_chosen));
    }
}

Glyph* qirLogWindow::PanelGlyph() const { return host_; }

int qirLogWindow::LevelShown(int level) const {
    if (level < 0 || level >= qirLogLevelCount)
        return 0;
    if (switches_[level])
        return switches_[level]->test(TelltaleState::is_chosen);
    return level < level_;
}

int qirLogWindow::ShowAll() const {
    return switches_[ShowAllSwitch] ? switches_[ShowAllSwitch]->test(TelltaleState::is_chosen) : 0;
}

void qirLogWindow::Write(int level, const char* text) {
    // Often the shared report buffer, which a report made while a box is up
    // would write over.
    const std::string copy = text ? text : "";
    WriteLine(level, copy.c_str());
    if (panel_ && !fileOnly_ && (LevelShown(level) || ShowAll()))
        AppendLine(level, copy.c_str());
    if (level == qirLogCritical || (level == qirLogError && !writingContent_))
        PostBox(level, copy);
    if (level == qirLogCritical) {
        fileOnly_ = 1;
        void (*save)() = criticalSave_;
        criticalSave_ = nullptr;
        if (save)
            save();
        EndForCritical(copy.c_str());
    }
}

int qirLogWindow::EndReceived() {
    const int open = InReceived();
    int messages = qirError::EndReceived();
    if (open && !InReceived() && messages > 0) {
        qirString text;
        text.Format("%d of the received messages had fields or parts that could not be read; "
                    "the session log names them.",
                    messages);
        Write(qirLogWarning, text.Data());
        PostBox(qirLogWarning, text.Data());
    }
    return messages;
}

void qirLogWindow::PostBox(int level, const std::string& text) {
    Session* session = Session::instance();
    if (fileOnly_ || !session || session->done() || !kit_ || !layoutKit_)
        return;
    std::vector<qirString> lines = BoxLines(text);
    const qirString* l[10] = {};
    for (size_t i = 0; i < lines.size() && i < 10; i++)
        l[i] = &lines[i];
    static const char* const titles[] = {"Critical error", "Error", "Warning"};
    static const char* const icons[] = {"critical.tif", "error.tif", "warning.tif"};
    if (level < qirLogCritical || level > qirLogWarning)
        level = qirLogWarning;
    qirMessageBox* box = new qirMessageBox(kit_, layoutKit_, style_, titles[level], qirImagePath(icons[level]),
                                           l[0], l[1], l[2], l[3], l[4], l[5], l[6], l[7], l[8], l[9]);
    Resource::ref(box);
    box->post_at(500, 500);
    Resource::unref(box);
}

std::string qirLogWindow::Entry(const char* prefix, const char* prefixColor, const char* text,
                                const char* textColor, int* lines) {
    if (!text)
        text = "";
    size_t n = strnlen(text, qirReportBufferSize - 1);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r'))
        --n;
    std::string out;
    out.reserve(n + 80);
    out += "<x-color><param>";
    out += prefixColor;
    out += "</param>";
    out += prefix;
    out += "</x-color><x-color><param>";
    out += textColor;
    out += "</param>";
    int count = 1;
    for (size_t i = 0; i < n; i++) {
        char c = text[i];
        if (c == '<') {
            out += "<<";
        } else if (c == '\n') {
            // n line breaks in a row read as n - 1.
            if (i == 0 || text[i - 1] != '\n')
                out += '\n';
            out += '\n';
            count++;
        } else if (c != '\r') {
            out += c;
        }
    }
    out += "</x-color>";
    *lines = count;
    return out;
}

void qirLogWindow::AppendLine(int level, const char* text) {
    if (!panel_ || level < 0 || level >= qirLogLevelCount)
        return;
    Pending entry;
    entry.text = Entry(prefixes[level], prefixColor_[level].c_str(), text, textColor_[level].c_str(),
                       &entry.lines);
    queuedLines_ += entry.lines;
    queue_.push_back(std::move(entry));
    // Lines beyond what the panel keeps would only be put in to go again.
    while (queuedLines_ > PanelLines && queue_.size() > 1) {
        queuedLines_ -= queue_.front().lines;
        queue_.pop_front();
    }
    Arm();
}

void qirLogWindow::Arm() {
    if (timer_->armed || fileOnly_)
        return;
    timer_->armed = true;
    // Filling the panel costs as much for one entry as for many: a report
    // in every event must not fill it in every event.
    auto since = std::chrono::steady_clock::now() - lastFlush_;
    long wait = FlushInterval * 1000L - std::chrono::duration_cast<std::chrono::microseconds>(since).count();
    Dispatcher::instance().startTimer(0, wait > 0 ? wait : 0, timer_);
}

int qirLogWindow::Shown() const {
    if (!panel_ || fileOnly_)
        return 0;
    Canvas* c = panel_->Editor()->GetCanvas();
    Window* w = c ? c->window() : nullptr;
    return w && w->is_mapped();
}

void qirLogWindow::Flush() {
    if (queue_.empty() || !Shown())
        return;
    std::string batch;
    int lines = 0;
    for (const Pending& e : queue_) {
        // Each entry on a line of its own, none after the last: the panel
        // ends with the newest entry.
        if (panelLines_ + lines > 0)
            batch += "\n\n";
        batch += e.text;
        lines += e.lines;
    }
    queue_.clear();
    queuedLines_ = 0;
    lastFlush_ = std::chrono::steady_clock::now();
    panel_->append_text(batch.c_str(), 1);
    panelLines_ += lines;
    TrimPanel();
    panel_->go_end();
}

void qirLogWindow::TrimPanel() {
    if (panelLines_ <= PanelLines)
        return;
    qirRTFDocument& doc = panel_->Editor()->Document();
    const std::string& text = doc.Text();
    size_t at = 0;
    int drop = panelLines_ - PanelLines;
    for (int i = 0; i < drop; i++) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos)
            break;
        at = nl + 1;
    }
    doc.DeleteRange(0, static_cast<int>(at));
    panelLines_ = PanelLines;
}

#include "qirConfiguration.h"
#include "qirEditorTags.h"
#include "qirLanguageGroup.h"
#include "qirRTFEditor.h"
#include "qirColorDialog.h"
#include "qirSearchDialog.h"

#include <InterViews/canvas.h>
#include <InterViews/color.h>
#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/font.h>
#include <InterViews/handler.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>
#include <InterViews/window.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "qirRTFXlib.h"

// The document's Text() and the resource interface's Font() are the names
// used below; the InterViews classes of those names are reached by alias.
typedef Font IVFont;
typedef Color IVColor;
#undef Text
#undef Font

namespace {

const char* const kAnyFont = "-*-*-*-*-*--*-*-*-*-*-*-*-*";

bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The configured value of a key below a node, or null when missing or empty.
const char* KeyValue(const qirConfiguration* node, const std::string& key, qirString& keep) {
    qirConfiguration* c = node ? node->Child(key.c_str()) : nullptr;
    if (!c)
        return nullptr;
    keep = c->Value(0);
    return keep.IsEmpty() ? nullptr : keep.Data();
}

}  // namespace

qirRTFEditor::qirRTFEditor(const qirConfiguration* tree, const char* fontSection, int mode,
                           Menu* menu)
    : mode_(mode),
      display_(Session::instance() ? Session::instance()->default_display() : nullptr) {
    const qirConfiguration* node = tree ? tree->Child("RTFEditor") : nullptr;
    showCursor_ = mode == qirRTFEditMode ? 1 : 0;
    if (mode != qirRTFEditMode && node) {
        qirString v;
        const char* show = KeyValue(node, "ShowCursorInViewer", v);
        if (show && qirString(show).EqualsIgnoreCase("Yes"))
            showCursor_ = 1;
    }
    const char* section = fontSection && *fontSection ? fontSection : "Fonts";
    LoadFonts(node ? node->Child(section) : nullptr);
    LoadKeymap(node ? node->Child("KeyMap") : nullptr);
    ReadKeyboards(node ? node->Child("Keyboards") : nullptr);
    LoadColors(node ? node->Child("Colors") : nullptr);
    doc_.SetMetrics(this);
    BuildMenus(menu);
    if (mode == qirRTFEditMode) {
        toolbar = LayoutKit::instance()->hbox();
        Resource::ref(toolbar);
        BuildToolbar(toolbar);
    }
    Refresh();
    ResetText();
    colorsToRealize_ = true;
}

qirRTFEditor::~qirRTFEditor() {
    EndDrag();
    Resource::unref(searchDialog_);
    Resource::unref(toolbar);
    doc_.SetMetrics(nullptr);
}

void qirRTFEditor::ResetText() {
    clear();
    qirRTFStyle run(0);
    run.font = Font(0, 0);
    run.color = DefaultColor();
    doc_.insert(0, "\n", 1, std::vector<qirRTFStyle>(1, run),
                std::vector<qirRTFAlign>(1, qirRTFAlign(qirAlignLeft, 0)));
    relayout(-1, -1);
}

// ------------------------------------------------------------------ fonts

void qirRTFEditor::ClearFonts() {
    for (int i = 0; i < 8; ++i) {
        fonts_[i].clear();
        normal_[i] = 0;
    }
}

void qirRTFEditor::LoadFonts(const qirConfiguration* section) {
    ClearFonts();
    for (int s = 0; s < 8; ++s) {
        const qirConfiguration* style = section ? section->Child(qirRTFStyleNodes[s]) : nullptr;
        if (!style)
            continue;
        auto& list = fonts_[s];
        auto known = [this](const char* name) { return display_ && IVFont::exists(display_, name); };
        auto entry = [this](const char* name) {
            return std::unique_ptr<qirRTFEditorFont>(new qirRTFEditorFont(name, display_));
        };
        qirString v;
        // Smaller fonts go to the front: the list runs from small to big.
        for (int n = 0;; ++n) {
            std::string key = n == 0 ? "Smaller" : "Smaller" + std::to_string(n);
            const char* name = KeyValue(style, key, v);
            if (!name)
                break;
            if (known(name))
                list.insert(list.begin(), entry(name));
        }
        const char* normal = KeyValue(style, "Normal", v);
        if (normal && known(normal))
            list.push_back(entry(normal));
        normal_[s] = list.empty() ? 0 : static_cast<int>(list.size()) - 1;
        for (int n = 0;; ++n) {
            std::string key = n == 0 ? "Bigger" : "Bigger" + std::to_string(n);
            const char* name = KeyValue(style, key, v);
            if (!name)
                break;
            if (known(name))
                list.push_back(entry(name));
        }
    }
    if (fonts_[0].empty())
        fonts_[0].emplace_back(new qirRTFEditorFont(kAnyFont, display_));
    doc_.insertStyle.font = Font(doc_.insertStyle.bits, doc_.insertStyle.size);
}

const qirRTFEditorFont* qirRTFEditor::Font(int bits, int step) {
    int s = std::min(std::max(0, bits) & ~qirRTFUnderline, 7);
    if (fonts_[s].empty())
        s = 0;
    if (fonts_[0].empty())
        fonts_[0].emplace_back(new qirRTFEditorFont(kAnyFont, display_));
    const auto& list = fonts_[s];
    long i = static_cast<long>(step) + normal_[s];
    i = std::max(0L, std::min(i, static_cast<long>(list.size()) - 1));
    return list[static_cast<size_t>(i)].get();
}

const qirRTFFontMetrics& qirRTFEditor::Metrics(const qirRTFStyle& run) const {
    const qirRTFEditorFont* f = run.font;
    if (!f)
        f = const_cast<qirRTFEditor*>(this)->Font(run.bits, run.size);
    return f->Metrics();
}

// ---------------------------------------------------------------- colours

void qirRTFEditor::ClearColors() {
    cursorColor_ = backgroundColor_ = blockColor_ = defaultColor_ = nullptr;
    colors_.clear();
}

void qirRTFEditor::LoadColors(const qirConfiguration* section) {
    ClearColors();
    qirString v;
    auto slot = [&](const char* key, const char* fallback) {
        const char* name = KeyValue(section, key, v);
        return const_cast<qirRTFEditorColor*>(ColorByName(name ? name : fallback));
    };
    cursorColor_ = slot("CursorColor", "#0000ff");
    backgroundColor_ = slot("BackgroundColor", "#505050");
    blockColor_ = slot("BlockColor", "#101010");
    defaultColor_ = slot("DefaultColor", "#000000");
    doc_.insertStyle.color = DefaultColor();
}

const qirRTFEditorColor* qirRTFEditor::DefaultColor() {
    if (defaultColor_)
        return defaultColor_;
    // No default yet: a real black entry, never a null slot.
    for (auto& c : colors_)
        if (std::string(c->Name()) == "#000000")
            return c.get();
    colors_.emplace_back(new qirRTFEditorColor("#000000"));
    colorsToRealize_ = true;
    return colors_.back().get();
}

const qirRTFEditorColor* qirRTFEditor::ColorByName(const char* name) {
    if (!name)
        return DefaultColor();
    for (auto& c : colors_)
        if (std::string(c->Name()) == name)
            return c.get();
    ColorIntensity r, g, b;
    if (!*name || !display_ || !IVColor::find(display_, name, r, g, b))
        return DefaultColor();
    colors_.emplace_back(new qirRTFEditorColor(name));
    colorsToRealize_ = true;
    return colors_.back().get();
}

const char* qirRTFEditor::ColorName(const qirRTFEditorColor* color) const {
    return color ? color->Name() : nullptr;
}

void qirRTFEditor::RealizeColors(Canvas* c) const {
    for (auto& color : colors_)
        color->Realize(c);
    colorsToRealize_ = false;
}

// ------------------------------------------------------ keys and keyboards

void qirRTFEditor::LoadKeymap(const qirConfiguration* section) { keymap_.Load(section); }

int qirRTFEditor::KeyName(const Event& e, unsigned char* c) const {
    qirKeyModifiers mods;
    const char* sym = qirRTFXlib::KeySymbolName(e, mods);
    return keymap_.Lookup(qirKeyName(sym, mods), keyboards_, c);
}

void qirRTFEditor::ClearKeyboards() {
    keyboards_.clear();
    keyboard_ = 0;
}

void qirRTFEditor::ReadKeyboards(const qirConfiguration* section) {
    ClearKeyboards();
    keyboards_.emplace_back();
    keyboards_[0].SetName(qirLanguage.Text(922));
    if (section)
        for (qirConfiguration* k = section->FirstChild(); k; k = qirConfiguration::NextChild(k))
            keyboards_.emplace_back(k);
    keyboard_ = 0;
}

// ------------------------------------------------------ readers, writers

int qirRTFEditor::read_enriched(qirRTFSource& src, std::string& text,
                                std::vector<qirRTFStyle>& runs, std::vector<qirRTFAlign>& marks) {
    qirRTFReaderWriter rw(*this);
    return rw.ReadEnriched(src, text, runs, marks);
}

int qirRTFEditor::read_plain(qirRTFSource& src, std::string& text, std::vector<qirRTFStyle>& runs,
                             std::vector<qirRTFAlign>& marks) {
    qirRTFReaderWriter rw(*this);
    int r = rw.ReadPlain(src, text, runs, marks);
    // Plain text takes the style that typing would give it.
    for (qirRTFStyle& run : runs) {
        int start = run.start;
        run = doc_.insertStyle;
        run.start = start;
    }
    return r;
}

int qirRTFEditor::write_enriched(FILE* out) {
    qirRTFReaderWriter rw(*this);
    return rw.WriteEnriched(doc_, out);
}

int qirRTFEditor::write_plain(FILE* out) {
    qirRTFReaderWriter rw(*this);
    return rw.WritePlain(doc_, out);
}

// ------------------------------------------------------------ the glyph

void qirRTFEditor::request(Requisition& r) const {
    r.require(Dimension_X, Requirement(200, 10000, 100, 1.0));
    r.require(Dimension_Y, Requirement(200, 10000, 160, 1.0));
}

void qirRTFEditor::PixelBox(Canvas* c, const Allocation& a) {
    int ph = c->pheight();
    left_ = display_->to_pixels(a.left());
    right_ = display_->to_pixels(a.right());
    top_ = ph - display_->to_pixels(a.top());
    bottom_ = ph - display_->to_pixels(a.bottom());
}

void qirRTFEditor::allocate(Canvas* c, const Allocation& a, Extension& ext) {
    PixelBox(c, a);
    if (right_ - left_ < 10)
        return;   // keeps the old line records
    bool first = false;
    if (!canvas_) {
        first = true;
        canvas_ = c;
        doc_.SetWidth(right_ - left_);
        relayout(-1, -1);
        if (fresh_)
            ShowFromTop();
        notify_all();
    }
    if (c != canvas_ || first || colorsToRealize_)
        RealizeColors(c);
    ext.merge(c, a);
    canvas_ = c;
    extension_ = ext;
    allocation_ = a;
    PixelBox(c, a);
    doc_.SetWidth(right_ - left_);
    relayout(-1, -1);
    CountVisible();
    notify_all();
}

void qirRTFEditor::undraw() {
    EndDrag();
    canvas_ = nullptr;
}

void qirRTFEditor::ShowFromTop() const {
    doc_.firstVisible = 0;
    CountVisible();
    doc_.cursor = 0;
    fresh_ = 0;
    notify_all();
}

void qirRTFEditor::CountVisible() const {
    int lines = static_cast<int>(doc_.Lines().size());
    // A shorter layout (a wider window) must not leave the view past the end.
    if (doc_.firstVisible >= lines)
        doc_.firstVisible = std::max(0, lines - 1);
    if (doc_.firstVisible < 0)
        doc_.firstVisible = 0;
    doc_.visibleCount = VisibleLines();
}

int qirRTFEditor::VisibleLines() const {
    const auto& lines = doc_.Lines();
    int n = static_cast<int>(lines.size());
    if (!canvas_ || doc_.firstVisible < 0 || doc_.firstVisible >= n)
        return 0;
    int y = top_, count = 0;
    for (int i = doc_.firstVisible; i < n && y + lines[i].height <= bottom_; ++i) {
        y += lines[i].height;
        ++count;
    }
    return count;
}

void qirRTFEditor::draw(Canvas* c, const Allocation&) const {
    if (!c || c != canvas_)
        return;
    if (fresh_)
        ShowFromTop();
    if (colorsToRealize_)
        RealizeColors(c);
    qirRTFXlib::Painter painter(c);
    if (!painter.Ok())
        return;
    painter.Fill(left_, top_, right_ - left_, bottom_ - top_, backgroundColor_->Pixel());
    const auto& lines = doc_.Lines();
    int y = top_;
    for (int i = std::max(0, doc_.firstVisible);
         i < static_cast<int>(lines.size()) && y + lines[i].height <= bottom_; ++i) {
        DrawLine(&painter, i, y);
        y += lines[i].height;
    }
}

void qirRTFEditor::DrawLine(void* p, int line, int y) const {
    qirRTFXlib::Painter& painter = *static_cast<qirRTFXlib::Painter*>(p);
    const qirRTFLine& ln = doc_.Lines()[line];
    const auto& runs = doc_.Runs();
    if (runs.empty())
        return;
    const std::string& text = doc_.Text();
    const int end = doc_.LineEnd(line);
    const int lo = std::min(doc_.anchor, doc_.selectionEnd);
    const int hi = std::max(doc_.anchor, doc_.selectionEnd);
    const int baseline = y + ln.ascent;
    const unsigned long defaultPixel =
        defaultColor_ ? defaultColor_->Pixel() : 0;
    int x = LineOrigin(line);
    size_t ri = static_cast<size_t>(RunOf(ln.start));
    for (int q = ln.start; q < end; ++q) {
        while (ri + 1 < runs.size() && runs[ri + 1].start <= q)
            ++ri;
        const qirRTFStyle& run = runs[ri];
        const qirRTFFontMetrics& fm = Metrics(run);
        const qirRTFEditorFont* font =
            run.font ? run.font : const_cast<qirRTFEditor*>(this)->Font(run.bits, run.size);
        unsigned char ch = static_cast<unsigned char>(text[q]);
        if (ch == '\n')
            ch = ' ';
        int w = fm.widths[ch];
        if (q >= lo && q < hi)
            painter.Fill(x, y, w, ln.height, blockColor_->Pixel());
        if (q == doc_.cursor && showCursor_)
            painter.Fill(x, y, w, ln.height, cursorColor_->Pixel());
        unsigned long pixel = run.color ? run.color->Pixel() : defaultPixel;
        if (run.bits & qirRTFUnderline)
            painter.Line(x, baseline, x + w, baseline, pixel);
        if (font->FontId())
            painter.Char(x, baseline, ch, font->FontId(), pixel);
        x += w;
    }
}

void qirRTFEditor::redraw() {
    if (!canvas_)
        return;
    canvas_->damage(extension_);
    notify_all();
}

void qirRTFEditor::reallocate() {
    if (!canvas_)
        return;
    Allocation a = allocation_;
    Extension e = extension_;
    allocate(canvas_, a, e);
}

void qirRTFEditor::relayout(int from, int end) {
    if (!canvas_)
        return;
    doc_.relayout(from, end);
}

void qirRTFEditor::clear() {
    EndDrag();
    doc_.clear();
}

void qirRTFEditor::EndDrag() {
    if (drag_ && display_) {
        // The grab goes first, so that no later pointer event reaches an
        // editor whose text has changed under the drag.
        display_->ungrab(drag_);
        drag_ = nullptr;
    }
    doc_.dragging = 0;
}

// -------------------------------------------------------------- scrolling

Coord qirRTFEditor::lower(DimensionName) const { return 0; }

Coord qirRTFEditor::length(DimensionName) const {
    int n = static_cast<int>(doc_.Lines().size());
    return n ? n : 100;
}

Coord qirRTFEditor::cur_lower(DimensionName) const {
    if (doc_.visibleCount == 0)
        return 0;
    return static_cast<int>(doc_.Lines().size()) - doc_.firstVisible - doc_.visibleCount;
}

Coord qirRTFEditor::cur_length(DimensionName) const {
    return doc_.visibleCount ? doc_.visibleCount : 100;
}

void qirRTFEditor::scroll_to(DimensionName, Coord value) {
    int lines = static_cast<int>(doc_.Lines().size());
    if (!lines)
        return;
    double f = lines - static_cast<double>(value) - doc_.visibleCount;
    f = std::max(0.0, std::min(f, static_cast<double>(lines - 1)));
    int first = static_cast<int>(f);
    if (first > doc_.firstVisible && doc_.firstVisible + doc_.visibleCount >= lines)
        return;
    doc_.firstVisible = first;
    CountVisible();
    CursorIntoView();
    redraw();
}

// ---------------------------------------------------------- cursor geometry

void qirRTFEditor::SetCursor(int pos) {
    doc_.cursor = std::max(0, std::min(pos, LastChar()));
}

void qirRTFEditor::CursorX(int* line, int* x) const {
    const auto& runs = doc_.Runs();
    int l = LineOf(doc_.cursor);
    *line = l;
    *x = left_;
    if (doc_.Lines().empty() || runs.empty())
        return;
    const std::string& text = doc_.Text();
    int px = LineOrigin(l);
    int start = doc_.Lines()[l].start;
    size_t ri = static_cast<size_t>(RunOf(start));
    int cur = std::min(doc_.cursor, doc_.Length() - 1);
    for (int q = start; q <= cur; ++q) {
        while (ri + 1 < runs.size() && runs[ri + 1].start <= q)
            ++ri;
        unsigned char ch = static_cast<unsigned char>(text[q]);
        int w = Metrics(runs[ri]).widths[ch == '\n' ? ' ' : ch];
        px += q < cur ? w : w / 2;
    }
    *x = px;
}

void qirRTFEditor::RememberX() {
    int line;
    CursorX(&line, &goalX_);
}

void qirRTFEditor::MoveToX(int line, int x) {
    const auto& lines = doc_.Lines();
    const auto& runs = doc_.Runs();
    if (lines.empty() || runs.empty())
        return;
    line = std::max(0, std::min(line, LastLine()));
    int p = lines[line].start;
    int x0 = LineOrigin(line);
    if (x0 >= x) {
        SetCursor(p);
        return;
    }
    const int next = doc_.LineEnd(line);
    const std::string& text = doc_.Text();
    size_t ri = static_cast<size_t>(RunOf(p));
    for (int q = p; q < doc_.Length(); ++q) {
        if (q >= next && line < LastLine()) {
            SetCursor(q - 1);
            return;
        }
        while (ri + 1 < runs.size() && runs[ri + 1].start <= q)
            ++ri;
        unsigned char ch = static_cast<unsigned char>(text[q]);
        x0 += Metrics(runs[ri]).widths[ch == '\n' ? ' ' : ch];
        if (x0 >= x) {
            SetCursor(q);
            return;
        }
    }
    SetCursor(LastChar());
}

int qirRTFEditor::PositionAt(const Event& e) const {
    if (!canvas_)
        return 0;
    int px = display_->to_pixels(e.pointer_x());
    int py = canvas_->pheight() - display_->to_pixels(e.pointer_y());
    return PositionAt(px, py);
}

int qirRTFEditor::PositionAt(int px, int py) const {
    const auto& lines = doc_.Lines();
    const auto& runs = doc_.Runs();
    if (lines.empty() || runs.empty())
        return 0;
    int l = std::max(0, std::min(doc_.firstVisible, LastLine()));
    int y = top_;
    if (l > 0) {
        --l;   // the line above the view, just above the area's top
        y = top_ - lines[l].height;
    }
    while (l < LastLine() && py >= y + lines[l].height && y + lines[l].height <= bottom_) {
        y += lines[l].height;
        ++l;
    }
    const std::string& text = doc_.Text();
    const int start = lines[l].start;
    const int next = doc_.LineEnd(l);
    int x = LineOrigin(l);
    if (px < x)
        return start;
    size_t ri = static_cast<size_t>(RunOf(start));
    for (int q = start; q < doc_.Length(); ++q) {
        if (q >= next && l < LastLine())
            return q - 1;
        while (ri + 1 < runs.size() && runs[ri + 1].start <= q)
            ++ri;
        unsigned char ch = static_cast<unsigned char>(text[q]);
        int w = Metrics(runs[ri]).widths[ch == '\n' ? ' ' : ch];
        if (px < x + w)
            return q;
        x += w;
    }
    return LastChar();
}

void qirRTFEditor::ScrollToCursor() {
    const auto& lines = doc_.Lines();
    if (lines.empty())
        return;
    int l = std::min(LineOf(doc_.cursor), LastLine());
    CountVisible();
    int fv = doc_.firstVisible, count = doc_.visibleCount;
    if (l > fv && l < fv + count)
        return;
    if (l > fv) {
        // One jump: the first line from which l is the last whole line,
        // or l itself when it alone is taller than the area.
        int room = bottom_ - top_;
        int f = l, sum = lines[l].height;
        while (f - 1 > fv && sum + lines[f - 1].height <= room) {
            --f;
            sum += lines[f].height;
        }
        doc_.firstVisible = f;
    } else {
        doc_.firstVisible = (l == fv && l > 0) ? l - 1 : l;
    }
    CountVisible();
}

void qirRTFEditor::CursorIntoView() {
    if (doc_.Lines().empty())
        return;
    int l = LineOf(doc_.cursor);
    int fv = doc_.firstVisible, count = doc_.visibleCount;
    if (l < fv)
        MoveToX(fv, goalX_);
    else if (l >= fv + count)
        MoveToX(std::max(fv, fv + count - 1), goalX_);
}

// ------------------------------------------------------------------ input

void qirRTFEditor::handle(const Event& e) {
    switch (e.type()) {
    case Event::motion: {
        if (!drag_)
            return;
        int pos = PositionAt(e);
        if (pos != doc_.cursor && pos >= 0 && pos < doc_.Length()) {
            doc_.cursor = pos;
            doc_.selectionEnd = pos;
            doc_.selecting = 1;
            RememberX();
            ScrollToCursor();
            redraw();
            Refresh();
        }
        return;
    }
    case Event::down: {
        int pos = PositionAt(e);
        bool within = pos >= 0 && pos < doc_.Length();
        switch (e.pointer_button()) {
        case Event::left:
            if (pos != doc_.cursor && within) {
                doc_.cursor = pos;
                RememberX();
                if (!drag_) {
                    drag_ = e.handler();
                    if (drag_) {
                        e.grab(drag_);
                        doc_.dragging = 1;
                    }
                    doc_.anchor = doc_.selectionEnd = pos;
                    doc_.selecting = 0;
                }
                redraw();
                Refresh();
            }
            return;
        case Event::right:
            if (within && !doc_.Runs().empty()) {
                doc_.insertStyle = doc_.Runs()[RunOf(pos)];
                doc_.insertStyle.start = 0;
                Refresh();
            }
            return;
        case Event::middle:
            if (mode_ == qirRTFEditMode && within) {
                Paste(pos);
                Refresh();
            }
            return;
        default:
            return;
        }
    }
    case Event::up:
        if (drag_) {
            e.ungrab(drag_);
            drag_ = nullptr;
            doc_.dragging = 0;
            CopySelection(-1, -1);
            Refresh();
        }
        return;
    case Event::key: {
        unsigned char c = 0;
        int code = KeyName(e, &c);
        if (code == qirCmdInsert) {
            if (mode_ == qirRTFEditMode && c)
                Type(c);
            return;
        }
        execute(code, c);
        ScrollToCursor();
        redraw();
        return;
    }
    default:
        return;
    }
}

void qirRTFEditor::Type(unsigned char c) {
    if (mode_ != qirRTFEditMode)
        return;
    doc_.ClearSelection();
    doc_.selecting = 0;
    if (keyboard_ >= 0 && keyboard_ < static_cast<int>(keyboards_.size()))
        c = keyboards_[keyboard_].Translate(c);
    doc_.InsertChar(doc_.cursor, c);
    SetCursor(doc_.cursor + 1);
    ScrollToCursor();
    RememberX();
    redraw();
    Refresh();
}

// --------------------------------------------------------------- commands

void qirRTFEditor::MoveLines(int code) {
    const int lines = static_cast<int>(doc_.Lines().size());
    if (!lines)
        return;
    int l = LineOf(doc_.cursor);
    int& fv = doc_.firstVisible;
    switch (code) {
    case qirCmdUp:
        if (mode_ == qirRTFEditMode) {
            if (l > 0)
                MoveToX(l - 1, goalX_);
        } else if (fv > 0) {
            --fv;
            CountVisible();
            MoveToX(fv, goalX_);
        }
        break;
    case qirCmdDown:
        if (mode_ == qirRTFEditMode) {
            if (l + 1 < lines)
                MoveToX(l + 1, goalX_);
        } else if (fv + doc_.visibleCount < lines) {
            ++fv;
            CountVisible();
            if (fv + 2 < lines)
                MoveToX(fv + 2, goalX_);
        }
        break;
    case qirCmdPageUp: {
        int d = fv;
        if (doc_.visibleCount == 0 && fv > 0) {
            --fv;   // a line taller than the area: one line per page
            CountVisible();
        }
        while (fv > 0 && d < fv + doc_.visibleCount) {
            --fv;
            CountVisible();
        }
        MoveToX(fv == 0 ? 0 : std::min(fv + doc_.visibleCount, lines - 1), goalX_);
        break;
    }
    case qirCmdPageDown:
        if (fv + doc_.visibleCount < lines) {
            fv = std::min(fv + std::max(1, doc_.visibleCount), lines - 1);
            CountVisible();
            MoveToX(fv, goalX_);
        } else {
            MoveToX(lines - 1, goalX_);
            ScrollToCursor();
        }
        break;
    }
}

void qirRTFEditor::execute(int code, int value) {
    const std::string& text = doc_.Text();
    const int last = LastChar();
    const bool edit = mode_ == qirRTFEditMode;
    int& cur = doc_.cursor;
    auto blank = [&](int p) { return IsBlank(static_cast<unsigned char>(text[p])); };
    switch (code) {
    case qirCmdUp:
    case qirCmdDown:
    case qirCmdPageUp:
    case qirCmdPageDown:
        MoveLines(code);
        break;
    case qirCmdLeft:
        if (cur > 0)
            --cur;
        RememberX();
        break;
    case qirCmdRight:
        if (cur + 1 <= last)
            ++cur;
        RememberX();
        break;
    case qirCmdHome:
        if (!doc_.Lines().empty())
            cur = doc_.Lines()[LineOf(cur)].start;
        RememberX();
        break;
    case qirCmdEnd:
        if (!doc_.Lines().empty())
            SetCursor(doc_.LineEnd(LineOf(cur)) - 1);
        RememberX();
        break;
    case qirCmdEndOfText:
        cur = last;
        RememberX();
        break;
    case qirCmdStartOfText:
        cur = 0;
        RememberX();
        break;
    case qirCmdPreviousWord:
        if (cur > 0)
            --cur;
        while (cur > 0 && blank(cur))
            --cur;
        while (cur > 0 && !blank(cur))
            --cur;
        if (cur > 0)
            ++cur;
        RememberX();
        break;
    case qirCmdNextWord:
        if (cur < last)
            ++cur;
        while (cur < last && blank(cur))
            ++cur;
        while (cur < last && !blank(cur))
            ++cur;
        RememberX();
        break;
    case qirCmdStartMarking:
        doc_.selecting = 1;
        doc_.anchor = cur;
        break;
    case qirCmdCopyToBuffer:
        doc_.selecting = 0;
        CopySelection(-1, -1);
        break;
    case qirCmdDeleteCurrentChar:
        if (edit) {
            doc_.DeleteRange(cur, 1);
            SetCursor(cur);
            RememberX();
            doc_.ClearSelection();
            doc_.selecting = 0;
        }
        break;
    case qirCmdDeletePreviousChar:
        if (edit) {
            if (cur > 0) {
                --cur;
                doc_.DeleteRange(cur, 1);
                RememberX();
            }
            doc_.ClearSelection();
            doc_.selecting = 0;
        }
        break;
    case qirCmdNewLine:
    case qirCmdSpace:
        if (edit) {
            doc_.InsertChar(cur, code == qirCmdNewLine ? '\n' : ' ');
            SetCursor(cur + 1);
            doc_.ClearSelection();
            doc_.selecting = 0;
        }
        break;
    case qirCmdKeyboard:
        if (edit)
            keyboard_ = (value == keyboard_ || value < 0 ||
                         value >= static_cast<int>(keyboards_.size()))
                            ? 0
                            : value;
        break;
    case qirCmdPasteBuffer:
        if (edit)
            Paste(cur);
        break;
    case qirCmdSearch:
    case qirCmdRepeatSearchForward:
    case qirCmdRepeatSearchBackward:
    case qirCmdRepeatLastSearch:
        RunSearch(code);
        break;
    case qirCmdDeletePreviousWord:
        if (edit && cur > 0) {
            int lo = cur;
            while (lo > 0 && blank(lo - 1))
                --lo;
            while (lo > 0 && !blank(lo - 1))
                --lo;
            if (lo == cur)
                --lo;
            CutRange(lo, cur);
        }
        break;
    case qirCmdDeleteNextWord:
        if (edit) {
            int hi = cur;
            if (hi < last)
                ++hi;
            while (hi < last && blank(hi))
                ++hi;
            while (hi < last && !blank(hi))
                ++hi;
            CutRange(cur, hi);
        }
        break;
    case qirCmdDeleteToEOL:
        if (edit && !doc_.Lines().empty()) {
            int e = std::min(doc_.LineEnd(LineOf(cur)) - 1, last);
            if (cur < e)
                CutRange(cur, e);
            else if (e < last)
                CutRange(e, e + 1);   // the line's newline: joins the next line
        }
        break;
    case qirCmdCutToBuffer:
    case qirCmdDeleteBlock:
        if (edit) {
            doc_.selecting = 0;
            int lo = std::min(doc_.anchor, doc_.selectionEnd);
            int hi = std::min(std::max(doc_.anchor, doc_.selectionEnd), last);
            lo = std::max(0, std::min(lo, hi));
            if (lo < hi) {
                CopySelection(lo, hi);
                doc_.DeleteRange(lo, hi - lo);
                SetCursor(lo);
                doc_.anchor = doc_.selectionEnd = lo;
                RememberX();
            }
        }
        break;
    default:
        if (edit)
            StyleCommand(code);
        break;
    }
    AfterCommand();
}

bool qirRTFEditor::StyleCommand(int code) {
    qirRTFStyle& s = doc_.insertStyle;
    switch (code) {
    case qirTagBold:
        s.bits ^= qirRTFBold;
        break;
    case qirTagItalic:
        s.bits ^= qirRTFItalic;
        break;
    case qirTagFixed:
        s.bits ^= qirRTFFixed;
        break;
    case qirTagUnderline:
        s.bits ^= qirRTFUnderline;
        break;
    case qirTagBigger:
        s.size = std::min(s.size + 1, 10);
        break;
    case qirTagBigger + qirTagClose:
        s.size = std::max(s.size - 1, -10);
        break;
    case qirTagIndent:
        s.left = std::min(s.left + 1, 10);
        break;
    case qirTagIndent + qirTagClose:
        s.left = std::max(s.left - 1, 0);
        break;
    case qirTagIndentRight:
        s.right = std::min(s.right + 1, 10);
        break;
    case qirTagIndentRight + qirTagClose:
        s.right = std::max(s.right - 1, 0);
        break;
    case qirTagCenter:
    case qirTagFlushLeft:
    case qirTagFlushRight:
        // Every paragraph the mark governs changes, not only the cursor's.
        doc_.SetAlignment(doc_.cursor, code == qirTagCenter  ? qirAlignCenter
                                       : code == qirTagFlushLeft ? qirAlignLeft
                                                                 : qirAlignRight);
        redraw();
        break;
    case qirTagColor:
        SelectColor();
        break;
    default:
        return false;
    }
    return true;
}

void qirRTFEditor::SelectColor() {
    if (!canvas_ || !canvas_->window())
        return;
    const char* name = ColorName(doc_.insertStyle.color);
    qirColorDialog* dialog = new qirColorDialog(name ? name : "#000000");
    Resource::ref(dialog);
    if (dialog->post_for(canvas_->window())) {
        if (dialog->Default() || !dialog->Selected())
            doc_.insertStyle.color = DefaultColor();
        else
            doc_.insertStyle.color = ColorByName(dialog->Selected());
        RealizeColors(canvas_);
    }
    Resource::unref(dialog);
}

void qirRTFEditor::RunSearch(int code) {
    if (code == qirCmdSearch) {
        if (!canvas_ || !canvas_->window())
            return;
        if (!searchDialog_) {
            searchDialog_ = new qirSearchDialog();
            Resource::ref(searchDialog_);
        }
        if (!searchDialog_->post_for(canvas_->window()))
            return;
    }
    if (!searchDialog_)
        return;
    const char* text = searchDialog_->SearchText();
    int exact = searchDialog_->MatchCase();
    switch (code) {
    case qirCmdRepeatSearchForward:
        Search(text, 1, exact);
        break;
    case qirCmdRepeatSearchBackward:
        Search(text, 0, exact);
        break;
    default:
        Search(text, !searchDialog_->Backward(), exact);
        break;
    }
}

void qirRTFEditor::Search(const char* what, int forward, int exact) {
    if (!what || !*what)
        return;
    const std::string& text = doc_.Text();
    const int len = static_cast<int>(text.size());
    const int n = static_cast<int>(strlen(what));
    auto same = [&](unsigned char a, unsigned char b) {
        // Bytes above 127 match only themselves, whatever the locale says.
        if (exact || a > 127 || b > 127)
            return a == b;
        return tolower(a) == tolower(b);
    };
    auto matches = [&](int p) {
        for (int i = 0; i < n; ++i)
            if (!same(static_cast<unsigned char>(text[p + i]), static_cast<unsigned char>(what[i])))
                return false;
        return true;
    };
    // Candidates never reach the final newline.
    int found = -1;
    if (forward) {
        for (int p = doc_.cursor + 1; p + n < len && found < 0; ++p)
            if (matches(p))
                found = p;
    } else {
        int p = doc_.cursor - 1;
        if (p + n >= len)
            p = len - n - 1;
        for (; p >= 0 && found < 0; --p)
            if (matches(p))
                found = p;
    }
    if (found < 0)
        return;
    SetCursor(found);
    RememberX();
    ScrollToCursor();
    doc_.anchor = found;
    doc_.selectionEnd = found + n;
    doc_.selecting = 0;
    redraw();
}

void qirRTFEditor::CutRange(int lo, int hi) {
    doc_.ClearSelection();
    if (lo < hi) {
        CopySelection(lo, hi);
        doc_.DeleteRange(lo, hi - lo);
    }
    SetCursor(lo);
    RememberX();
    doc_.selecting = 0;
}

void qirRTFEditor::ClearCopyBuffer() {
    copyText_.clear();
    copyRuns_.clear();
    copyMarks_.clear();
}

void qirRTFEditor::AfterCommand() {
    if (doc_.selecting)
        doc_.selectionEnd = doc_.cursor;
    doc_.insertStyle.font = Font(doc_.insertStyle.bits, doc_.insertStyle.size);
    Refresh();
}

void qirRTFEditor::CopySelection(int from, int to) {
    if (from == -1 || to == -1) {
        from = doc_.anchor;
        to = doc_.selectionEnd;
    }
    if (from == to)
        return;
    int lo = std::min(from, to), hi = std::max(from, to);
    // Never beyond the text, nor its final newline: a selection kept from
    // a longer text cannot reach past the end.
    hi = std::min(hi, LastChar());
    lo = std::max(0, std::min(lo, hi));
    if (lo >= hi)
        return;
    qirRTFXlib::StoreCutBuffer(display_, doc_.Text().data() + lo, hi - lo);
    doc_.CopyRange(lo, hi, copyText_, copyRuns_, copyMarks_);
}

void qirRTFEditor::Paste(int pos) {
    std::string bytes;
    if (!qirRTFXlib::FetchCutBuffer(display_, bytes))
        return;
    pos = std::max(0, std::min(pos, LastChar()));
    if (bytes == copyText_ && !copyRuns_.empty()) {
        doc_.insert(pos, copyText_, copyRuns_, copyMarks_);
    } else {
        qirRTFStyle run = doc_.insertStyle;
        run.start = 0;
        std::vector<qirRTFAlign> marks(1, qirRTFAlign(qirAlignLeft, 0));
        for (size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] == '\n')
                marks.emplace_back(qirAlignLeft, static_cast<int>(i) + 1);
        doc_.insert(pos, bytes, std::vector<qirRTFStyle>(1, run), marks);
    }
    SetCursor(pos + static_cast<int>(bytes.size()));
    ScrollToCursor();
    redraw();
}

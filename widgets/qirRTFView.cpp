// The engine's headers come first: the InterViews macros rename Text.
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirRTFView.h"

#include "qirRTFColorTable.h"
#include "qirRTFFontTable.h"
#include "qirRTFLinkGlyph.h"
#include "qirRTFRunGlyph.h"
#include "qirRTFXlib.h"

#include <IV-look/kit.h>
#include <InterViews/background.h>
#include <InterViews/canvas.h>
#include <InterViews/color.h>
#include <InterViews/composition.h>
#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/font.h>
#include <InterViews/layout.h>
#include <InterViews/scrbox.h>
#include <InterViews/session.h>
#include <InterViews/texcomp.h>
#include <OS/file.h>

#include <algorithm>
#include <functional>
#include <cstdio>

namespace {

// Room between the page's edge and its text, in points.
const Coord kMargin = 6;

// A colour name of the configuration, null when it is empty.
const char* ColorKey(const char* key, qirString& keep) {
    keep = qirConfig.Get(key);
    return keep.IsEmpty() ? nullptr : keep.Data();
}

}  // namespace

qirRTFView::qirRTFView() : InputHandler(nullptr, WidgetKit::instance()->style()) {
    LayoutKit* lk = LayoutKit::instance();
    lines_ = new TBScrollBox(10);
    lines_->small_scroll(Dimension_Y, 2);
    Resource::ref(lines_);
    // The composition shows what the layout ends, so an empty page
    // shows nothing until configured.
    compositor_ = new TeXCompositor(1);
    composition_ = new LRComposition(lines_, compositor_, nullptr, 0, fil, fil, 0);
    backgroundGlyph_ = new Background(lk->margin(composition_, kMargin), WidgetKit::instance()->background());
    body(backgroundGlyph_);
    topStrut_ = lk->vstrut(0, 0, 0, 0, 0);
    endGlue_ = lk->vglue(fil, fil, fil);
    Resource::ref(topStrut_);
    Resource::ref(endGlue_);
    SetReferences(&references_);
    Configure();
}

qirRTFView::~qirRTFView() {
    // The runs point into the page: the lines go first.
    runs_.clear();
    lineStart_.clear();
    body(nullptr);
    Resource::unref(lines_);
    Resource::unref(topStrut_);
    Resource::unref(lineStrut_);
    Resource::unref(lineBreak_);
    Resource::unref(endGlue_);
    Resource::unref(background_);
    Resource::unref(highlightBackground_);
    // The elements go before the tables their fonts and colours are in.
    Remove(nullptr);
    Resource::unref(fonts_);
    Resource::unref(colors_);
    // A composition leaves its compositor to whoever made it.
    delete compositor_;
}

int qirRTFView::Configure() {
    ready_ = 0;
    viewStatus_ = 0;
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    qirConfiguration* node = qirConfig.Find("RTF-View-Configuration");
    if (!node) {
        // Not level 0: a missing help setting must not end the session and
        // lose what the user has not saved.
        if (qirLog)
            qirLog->Write(qirLogError, "NULL Configuration for qirRTFView");
        return viewStatus_ = -6;
    }
    qirRTFFontTable* fonts = new qirRTFFontTable("Fonts");
    Resource::ref(fonts);
    if (fonts->StatusCode() != 0) {
        Resource::unref(fonts);
        if (qirLog)
            qirLog->Write(qirLogError, "Error fonts initialization.");
        return viewStatus_ = -1;
    }
    Resource::unref(fonts_);
    fonts_ = fonts;
    qirString name;
    qirRTFColorTable* colors = new qirRTFColorTable(qirConfig.Get("Colors.rtfDefault"));
    Resource::ref(colors);
    Resource::unref(colors_);
    colors_ = colors;

    Begin(this);

    // A background the display does not know is the kit's, never the
    // text colour (which would hide the text).
    auto background = [&](const char* key) -> const Color* {
        const char* n = ColorKey(key, name);
        const qirRTFColor* entry = n ? colors_->FindEntry(n) : nullptr;
        return entry && entry != colors_->First() && entry->color ? entry->color : kit->background();
    };
    const Color* bg = background("Colors.rtfBackground");
    const Color* hi = background("Colors.rtfHiBackground");
    Resource::ref(bg);
    Resource::ref(hi);
    Resource::unref(background_);
    Resource::unref(highlightBackground_);
    background_ = bg;
    highlightBackground_ = hi;

    const Font* font = fonts_->DefaultFont();
    Resource::unref(lineStrut_);
    Resource::unref(lineBreak_);
    lineStrut_ = lk->strut(font, 0, fil, fil);
    Resource::ref(lineStrut_);
    lineBreak_ = lk->discretionary(-10000, lineStrut_, lineStrut_,
                                   lk->discretionary(0, lk->vglue(), endGlue_, nullptr, nullptr), topStrut_);
    Resource::ref(lineBreak_);

    SetExcerptStartText(node->Get("Excerpt-ON"));
    SetExcerptEndText(node->Get("Excerpt-OFF"));
    double indent = 0;
    if (node->GetDouble("Indent-Width", &indent) != 0)
        indent = 4 * BlankWidth();
    SetIndentUnit(static_cast<float>(indent));
    SetTabWidth(8 * BlankWidth());

    ready_ = 1;
    Clear();
    return 0;
}

// --------------------------------------------------------------- the page

int qirRTFView::ClearPage(int enriched) {
    reset();
    Clear();
    // An empty plain text: the page starts with the command that reads
    // what follows as plain text.
    if (!enriched && ready_)
        InsertText(qirString(""), 0);
    return viewStatus_;
}

int qirRTFView::Restart(InputFile* file, int enriched) {
    int status = ClearPage(enriched);
    if (status != 0)
        return status;
    append_stream(file, enriched);
    return 0;
}

int qirRTFView::RestartWithText(const qirString& text, int enriched) {
    int status = ClearPage(enriched);
    if (status != 0)
        return status;
    insert_text(text, enriched);
    return 0;
}

void qirRTFView::append_stream(InputFile* file, int enriched) {
    if (!ready_ || !file)
        return;
    const char* start = nullptr;
    for (int n; (n = file->read(start)) > 0;)
        InsertText(start, static_cast<size_t>(n), enriched);
}

void qirRTFView::insert_text(const qirString& text, int enriched) {
    if (ready_)
        InsertText(text, enriched);
}

void qirRTFView::reformat() {
    if (!ready_)
        return;
    ApplyStyles();
    FormatAll();
    Refit();
    ScrollToTop();
}

void qirRTFView::format() {
    if (!ready_ || LayoutWidth() == 0)
        return;
    // The viewer has no cursor to start from: its paragraph is the page.
    Highlight(0);
    Rebreak(1, [this] { Refit(); });
    Highlight(1);
}

void qirRTFView::Rebreak(int keepPlace, const std::function<void()>& place) {
    const Coord curLower = lines_->cur_lower(Dimension_Y);
    const Coord upper = lines_->upper(Dimension_Y);
    const Coord curUpper = lines_->cur_upper(Dimension_Y);
    const Coord length = lines_->length(Dimension_Y);
    FormatAll();
    place();
    if (!keepPlace || length <= 0) {
        ScrollToTop();
        return;
    }
    // The reader stays as far from the page's end, in proportion, and one
    // small step on unless the end was shown.
    Coord u = lines_->upper(Dimension_Y);
    Coord l = lines_->length(Dimension_Y);
    Coord cl = lines_->cur_length(Dimension_Y);
    lines_->scroll_to(Dimension_Y, u - l * ((upper - curUpper) / length) - cl);
    if (curLower > 1)
        lines_->scroll_forward(Dimension_Y);
}

void qirRTFView::Refit() {
    Canvas* c = canvas();
    if (!c)
        return;
    Extension ext;
    ext.clear();
    InputHandler::allocate(c, allocation(), ext);
    redraw();
}

void qirRTFView::ScrollToTop() {
    lines_->scroll_to(Dimension_Y, lines_->upper(Dimension_Y));
    lines_->notify(Dimension_Y);
}

Adjustable* qirRTFView::adjustable() const { return lines_; }

// ---------------------------------------------------------- the glyph kit

const qirRTFFont* qirRTFView::DefaultFont() { return fonts_->DefaultEntry(); }

const qirRTFFont* qirRTFView::FindFont(int bits, int size) { return fonts_->FindEntry(bits, size); }

const qirRTFColor* qirRTFView::DefaultColor() { return colors_->First(); }

const qirRTFColor* qirRTFView::FindColor(const char* name) { return colors_->FindEntry(name); }

float qirRTFView::Width(const qirRTFFont* font, int ch) { return font ? font->Width(ch) : 0; }

void qirRTFView::BeginLines() {
    runs_.clear();
    lineStart_.assign(1, 0);
    // The old lines leave the scroll box from its end, each in constant
    // time; the old composition goes whole with its components.
    for (GlyphIndex i = lines_->count() - 1; i >= 0; --i)
        lines_->remove(i);
    composition_ = new LRComposition(lines_, compositor_, nullptr, 0, fil, fil, 0);
    backgroundGlyph_ = new Background(LayoutKit::instance()->margin(composition_, kMargin),
                                      background_ ? background_ : WidgetKit::instance()->background());
    body(backgroundGlyph_);
    composition_->append(topStrut_);
}

void qirRTFView::AddRun(const qirRTFRun& run) {
    const qirRTFFont* font = static_cast<const qirRTFFont*>(run.font);
    qirRTFRunGlyph* g = new qirRTFRunGlyph(run, font ? font->GetFont() : fonts_->DefaultFont(),
                                           colors_->ColorOf(run.color), highlightBackground_);
    runs_.push_back(g);
    if (run.link)
        composition_->append(new qirRTFLinkGlyph(g, run.link));
    else
        composition_->append(g);
}

void qirRTFView::EndLine() {
    composition_->append(lineBreak_);
    lineStart_.push_back(static_cast<int>(runs_.size()));
}

void qirRTFView::EndLines() {
    composition_->append(endGlue_);
    composition_->append(lineStrut_);
    composition_->repair();
    lines_->notify(Dimension_Y);
}

// ------------------------------------------------------------- allocation

void qirRTFView::allocate(Canvas* c, const Allocation& a, Extension& ext) {
    const Coord width = std::max(Coord(1), a.right() - a.left() - 2 * kMargin);
    if (!ready_ || width == LayoutWidth()) {
        InputHandler::allocate(c, a, ext);
        return;
    }
    const int wasLaidOut = LayoutWidth() != 0;
    SetLayoutWidth(width);
    Rebreak(wasLaidOut, [&] { InputHandler::allocate(c, a, ext); });
}

// -------------------------------------------------------------- selection

int qirRTFView::FirstShownLine() const { return lines_->count() > 0 ? lines_->first_shown() : -1; }

int qirRTFView::LastShownLine() const { return lines_->count() > 0 ? lines_->last_shown() : -1; }

qirRTFElement* qirRTFView::Pick(Coord x, Coord y, Coord* left) const {
    int first = FirstShownLine(), last = std::min(LastShownLine(), LineCount() - 1);
    int chosen = -1;
    for (int line = std::max(first, 0); line <= last; ++line) {
        int from = lineStart_[line];
        int to = line + 1 < LineCount() ? lineStart_[line + 1] : static_cast<int>(runs_.size());
        if (from >= to || !runs_[from]->IsAllocated())
            continue;
        chosen = line;   // the last line with text, when the pointer is below every line
        if (runs_[from]->Allocated().bottom() <= y)
            break;
    }
    if (chosen < 0)
        return nullptr;
    int from = lineStart_[chosen];
    int to = chosen + 1 < LineCount() ? lineStart_[chosen + 1] : static_cast<int>(runs_.size());
    const qirRTFRunGlyph* run = runs_[from];
    for (int i = from; i < to; ++i) {
        run = runs_[i];
        if (x < run->Allocated().right())
            break;
    }
    return run->ElementAt(x, left);
}

void qirRTFView::Highlight(int on) {
    if (!SelectionStart() || !SelectionEnd())
        return;
    SetHighlight(SelectionStart(), SelectionEnd(), on);
    redraw();
}

void qirRTFView::reset() {
    Highlight(0);
    SetSelection(nullptr, nullptr);
}

qirString qirRTFView::selected_text() { return SelectedText(SelectionStart(), SelectionEnd()); }

void qirRTFView::StoreSelection() {
    qirString text = selected_text();
    Session* s = Session::instance();
    if (s && text.Length() > 0)
        qirRTFXlib::StoreCutBuffer(s->default_display(), text.Data(), text.Length());
}

void qirRTFView::move(const Event& e) {
    references_.Unbusy();
    InputHandler::move(e);
}

void qirRTFView::press(const Event& e) {
    if (dragMode_ != 0)
        return;
    selectionState_ = 0;
    switch (e.pointer_button()) {
    case Event::right:
        dragMode_ = 3;
        break;
    case Event::middle:
        dragMode_ = 2;
        break;
    default:
        dragMode_ = 1;
        reset();
        // The selection starts where the button went down, wherever the
        // first motion report finds the pointer.
        SetSelectionAnchor(Pick(e.pointer_x(), e.pointer_y()));
        break;
    }
    InputHandler::press(e);
}

void qirRTFView::drag(const Event& e) {
    if (dragMode_ == 0)
        return;
    qirRTFElement* picked = Pick(e.pointer_x(), e.pointer_y());
    if (dragMode_ != 1 || !picked)
        return;
    Highlight(0);
    qirRTFElement* start = SelectionStart();
    qirRTFElement* end = SelectionEnd();
    // A layout between two motions may have left no selection (it held
    // only fillers): it starts again from the anchor.
    if (selectionState_ == 0 || !start || !end) {
        start = end = SelectionAnchor() ? SelectionAnchor() : picked;
        selectionState_ = 2;
    }
    switch (selectionState_) {
    case 1:
        if (picked->order > end->order) {
            start = end;
            end = picked;
            selectionState_ = 2;
        } else {
            start = picked;
        }
        break;
    case 2:
        if (picked->order < start->order) {
            end = start;
            start = picked;
            selectionState_ = 1;
        } else {
            end = picked;
        }
        break;
    default:
        break;
    }
    SetSelection(start, end);
    Highlight(1);
}

void qirRTFView::release(const Event& e) {
    if (dragMode_ == 0)
        return;
    if (dragMode_ == 1 && selectionState_ != 0) {
        drag(e);
        StoreSelection();
    }
    selectionState_ = 3;
    dragMode_ = 0;
    InputHandler::release(e);
}

void qirRTFView::double_click(const Event&) { reset(); }

// The viewer's layout pass: styles, line breaking, and the hand-over of
// the lines to the window layer's composition.
#include "qirRTFEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// Keeps at most this many characters of an "x-color" parameter.
const int kColorNameKept = 20;

bool IsText(const qirRTFElement* e) { return e && e->type() == qirRTFTextType; }

int CharOf(const qirRTFElement* e) { return static_cast<const qirRTFGlyphElement*>(e)->ch; }

// Characters after which a word may end a line.
bool BreaksAfter(int c) { return c != 0 && strchr("-,.:!? \t", c) != nullptr; }

int CodeOf(const qirRTFElement* e) { return static_cast<const qirRTFCommand*>(e)->code; }

qirRTFGlyphElement* AsGlyph(qirRTFElement* e) { return static_cast<qirRTFGlyphElement*>(e); }

// Characters that draw something: all but controls, line ends, tabs and
// blanks.
bool Drawn(int c) { return c >= 31 && c != ' '; }

}  // namespace

void qirRTFEngine::Drop(qirRTFElement* e) {
    Detach(e);
    delete e;
}

// ------------------------------------------------------------------ styles

// What an opening command and its closing one change in the format state.
// A closing command whose opening one is not on top still changes it.
const qirRTFEngine::Switch qirRTFEngine::kSwitches[] = {
    {qirRTFBigger, &qirRTFEngine::SizeUp, &qirRTFEngine::SizeDown},
    {qirRTFSmaller, &qirRTFEngine::SizeDown, &qirRTFEngine::SizeUp},
    {qirRTFBoldCode, &qirRTFEngine::BoldOn, &qirRTFEngine::BoldOff},
    {qirRTFItalicCode, &qirRTFEngine::ItalicOn, &qirRTFEngine::ItalicOff},
    {qirRTFFixedCode, &qirRTFEngine::FixedOn, &qirRTFEngine::FixedOff},
    {qirRTFUnderlineCode, &qirRTFEngine::UnderlineOn, &qirRTFEngine::UnderlineOff},
};

void qirRTFEngine::ApplyStyles() {
    if (!begun_)
        return;
    ResetFormat();
    commands_.Clear();
    colorNames_.clear();
    for (qirRTFElement* e = First(); e; e = Next(e)) {
        int t = e->type();
        if (t == qirRTFTextType) {
            qirRTFGlyphElement* g = AsGlyph(e);
            g->font = font_;
            g->color = color_;
            g->underline = underline_ > 0;
            g->shown = 0;
            if (Drawn(g->ch)) {
                g->shown = 1;
                g->width = kit_->Width(font_, g->ch);
            } else {
                g->highlight = 0;
            }
            continue;
        }
        if (t != qirRTFCommandType)
            continue;
        switch (int code = CodeOf(e)) {
        case qirRTFParam:
            if (commands_.TopCode() == qirRTFColorCode) {
                std::string name;
                while (Next(e) && Next(e)->type() == qirRTFParamType) {
                    e = Next(e);
                    if (static_cast<int>(name.size()) < kColorNameKept)
                        name += static_cast<char>(CharOf(e));
                }
                colorNames_.push_back(name);
                color_ = kit_->FindColor(name.c_str());
            }
            break;
        case qirRTFBiggest:
        case qirRTFTinier:
            commands_.Push(code);
            sizeLevel_ = code == qirRTFBiggest ? 5 : -5;
            UpdateFont();
            break;
        case qirRTFBiggest + 1:
        case qirRTFTinier + 1:
            commands_.Pop(code - 1);
            sizeLevel_ = commands_.SizeLevel();
            UpdateFont();
            break;
        case qirRTFColorCode:
            commands_.Push(code);
            break;
        case qirRTFColorCode + 1:
            commands_.Pop(qirRTFColorCode);
            PopColor();
            break;
        default:
            // The sizes and styles that open and close in pairs.
            for (const Switch& sw : kSwitches) {
                if (code == sw.code) {
                    commands_.Push(code);
                    (this->*sw.on)();
                } else if (code == sw.code + 1) {
                    commands_.Pop(sw.code);
                    (this->*sw.off)();
                }
            }
            break;
        }
    }
}

// --------------------------------------------------------------- breaking

void qirRTFEngine::FormatAll() {
    const float W = layoutWidth_;
    if (!begun_ || W == 0)
        return;
    KeepSelection();
    float x = 0;
    ResetFormat();
    commands_.Clear();
    lineAlignment_ = -1;
    const float sw = blankWidth_;
    for (qirRTFElement* e = First(); e;) {
        qirRTFElement* next = Next(e);
        int t = e->type();
        if (t == qirRTFCommandType) {
            int code = CodeOf(e);
            if (code == qirRTFNewLine) {
                FinishLine(next);
                x = 0;
            } else if (code >= qirRTFCenter && code <= qirRTFNofill + 1) {
                if (code % 2 == 0)
                    commands_.Push(code);
                else
                    commands_.Pop(code - 1);
            } else if (code == qirRTFIndent || code == qirRTFIndent + 1) {
                int step = code == qirRTFIndent ? 1 : -1;
                if (x == 0)
                    leftIndent_ += step;
                else
                    pendingIndent_ += step;
            } else if (code == qirRTFIndentRight) {
                ++rightIndent_;
            } else if (code == qirRTFIndentRight + 1) {
                --rightIndent_;
            }
            e = next;
            continue;
        }
        if (t == qirRTFMarkType || t == qirRTFSpaceType) {
            // What an earlier pass put in.
            Drop(e);
            e = next;
            continue;
        }
        if (t != qirRTFTextType) {
            e = next;
            continue;
        }
        qirRTFGlyphElement* g = AsGlyph(e);
        const int c = g->ch;
        // A line is aligned as its first character is: "<center>a
        // title</center>" centres the title whatever follows it.
        if (lineAlignment_ < 0)
            lineAlignment_ = commands_.Alignment();
        if (c == '\t') {
            int n = static_cast<int>(((std::trunc(x / tabWidth_) + 1) * tabWidth_ - x) / sw) + 1;
            n = std::min(n, 8);
            g->width = n * sw;
            g->shown = 1;
        } else if (c == ' ') {
            // A blank as wide as its own font's: fixed-width text keeps
            // its columns.
            g->width = g->font ? kit_->Width(g->font, ' ') : sw;
            g->shown = 1;
        }
        const float w = g->width;
        const float indents = (std::max(0, leftIndent_) + std::max(0, rightIndent_)) * lineIndentUnit_;
        if (W < x + 2 * w + indents) {
            if (c == ' ' || c == '\t') {
                // The blank ends the line and takes no room on the next.
                g->shown = 0;
                g->highlight = 0;
                g->width = 0;
                FinishLine(e);
                x = 0;
            } else {
                qirRTFElement* p = Prev(e);
                while (p && (p->type() == qirRTFCommandType || p->type() == qirRTFParamType))
                    p = Prev(p);
                if (!p || !IsText(p)) {
                    // The first character of the page or of a line (after a
                    // mark or a filler) stays, however wide.
                } else if (BreaksAfter(CharOf(p))) {
                    FinishLine(e);
                    x = 0;
                } else {
                    qirRTFElement* b = Prev(p);
                    for (; b; b = Prev(b)) {
                        int bt = b->type();
                        if (bt == qirRTFMarkType)
                            break;
                        if (bt == qirRTFTextType) {
                            int bc = CharOf(b);
                            if (bc == ' ' || bc == '-' || bc == ':' || bc == '\t')
                                break;
                        }
                    }
                    if (!b || b->type() == qirRTFMarkType) {
                        // One word longer than the line: cut where it overflows.
                        FinishLine(e);
                        x = 0;
                    } else {
                        qirRTFElement* s = Next(b);
                        if (s && s->type() != qirRTFMarkType)
                            FinishLine(s);
                        x = 0;
                        for (qirRTFElement* q = s; q && q != e; q = Next(q))
                            if (IsText(q))
                                x += AsGlyph(q)->width;
                    }
                }
            }
        }
        x += g->width;
        e = next;
    }
    // The last line is indented and aligned as every other.
    FinishLine(nullptr, true);
    Relayout();
}

namespace {

// What a layout made (a line mark or a filler), which the next one deletes.
bool MadeByLayout(const qirRTFElement* e) {
    return e->type() == qirRTFMarkType || e->type() == qirRTFSpaceType;
}

}  // namespace

void qirRTFEngine::KeepSelection() {
    auto after = [](qirRTFElement* e) {
        while (e && MadeByLayout(e))
            e = Next(e);
        return e;
    };
    auto before = [](qirRTFElement* e) {
        while (e && MadeByLayout(e))
            e = Prev(e);
        return e;
    };
    if (selectionAnchor_ && MadeByLayout(selectionAnchor_)) {
        qirRTFElement* a = after(selectionAnchor_);
        selectionAnchor_ = a ? a : before(selectionAnchor_);
    }
    if (!selectionStart_ || !selectionEnd_) {
        selectionStart_ = selectionEnd_ = nullptr;
        return;
    }
    const bool swapped = selectionEnd_->order < selectionStart_->order;
    qirRTFElement*& first = swapped ? selectionEnd_ : selectionStart_;
    qirRTFElement*& last = swapped ? selectionStart_ : selectionEnd_;
    if (!MadeByLayout(first) && !MadeByLayout(last))
        return;
    // The pointer stood before the first character of a line: the
    // selection starts at that character, or ends before it.
    qirRTFElement* from = after(first);
    qirRTFElement* to = before(last);
    if (!from || !to || to->order < from->order) {
        // Nothing but fillers was selected; their highlight goes with them.
        selectionStart_ = selectionEnd_ = nullptr;
        return;
    }
    first = from;
    last = to;
}

void qirRTFEngine::FinishLine(qirRTFElement* p, bool atEnd) {
    if (!p && !atEnd)
        return;
    const float W = layoutWidth_;
    const float sw = blankWidth_;
    qirRTFMarkElement* mark = nullptr;
    if (!atEnd) {
        mark = new qirRTFMarkElement();
        InsertBefore(mark, p);
    }
    float sum = 0;
    qirRTFElement* first = nullptr;
    for (qirRTFElement* q = mark ? Prev(mark) : Last(); q && q->type() != qirRTFMarkType; q = Prev(q))
        if (IsText(q)) {
            sum += AsGlyph(q)->width;
            first = q;
        }
    if (sum != 0 && first) {
        sum += sw;
        if (leftIndent_ > 0)
            InsertBefore(new qirRTFSpaceElement(leftIndent_ * lineIndentUnit_), first);
        sum += std::max(0, rightIndent_) * lineIndentUnit_;
        switch (lineAlignment_ >= 0 ? lineAlignment_ : commands_.Alignment()) {
        case qirRTFCenter: {
            float fill = (W - sum) / 2;
            if (static_cast<int>(fill / sw) > 0)
                InsertBefore(new qirRTFSpaceElement(fill), first);
            break;
        }
        case qirRTFFlushRight: {
            float fill = W - sum;
            if (static_cast<int>(fill / sw - 0.5f) > 0)
                InsertBefore(new qirRTFSpaceElement(fill), first);
            break;
        }
        case qirRTFFlushBoth:
            Justify(first, mark, sum);
            break;
        default:
            break;
        }
    }
    leftIndent_ += pendingIndent_;
    pendingIndent_ = 0;
    lineAlignment_ = -1;
}

// Spreads the free room of a full line over its blanks; a line more than
// half empty (a paragraph's last) stays ragged.
void qirRTFEngine::Justify(qirRTFElement* first, qirRTFElement* mark, float sum) {
    // mark: the end of the line, null for the page's last line.
    const float W = layoutWidth_;
    const float sw = blankWidth_;
    auto drop = [&sum](qirRTFElement* e) {
        qirRTFGlyphElement* g = AsGlyph(e);
        sum -= g->width;
        g->width = 0;
        g->shown = 0;
        g->highlight = 0;
    };
    if (CharOf(first) == ' ') {
        qirRTFElement* n = Next(first);
        if (!n || (IsText(n) && CharOf(n) != ' '))
            drop(first);
    }
    qirRTFElement* lastText = nullptr;
    for (qirRTFElement* q = mark ? Prev(mark) : Last(); q && q->type() != qirRTFMarkType; q = Prev(q)) {
        if (!IsText(q))
            continue;
        if (CharOf(q) != ' ') {
            lastText = q;
            break;
        }
        drop(q);
    }
    if (sum == 0 || !lastText)
        return;
    int ind = leftIndent_ >= 1 ? leftIndent_ : std::max(0, rightIndent_);
    float free = (W - sum) - lineIndentUnit_ * ind;
    if (2 * free > W)
        return;
    int n = static_cast<int>(free / sw);
    bool firstWalk = true;
    while (n > 0) {
        int placed = 0;
        for (qirRTFElement* q = first; q && n > 0; q = Next(q)) {
            if (IsText(q) && CharOf(q) == ' ' && AsGlyph(q)->mode == qirRTFTextType && AsGlyph(q)->shown && Next(q)) {
                InsertBefore(new qirRTFSpaceElement(sw), q);
                --n;
                ++placed;
            }
            if (q == lastText)
                break;
        }
        if (firstWalk && placed == 0)
            break;
        firstWalk = false;
    }
}

// ------------------------------------------------------------ composition

void qirRTFEngine::Relayout() {
    if (!kit_)
        return;
    kit_->BeginLines();
    int order = 0;
    qirRTFRun run;
    bool drawnInRun = false;
    auto flush = [&]() {
        if (run.first) {
            if (!run.font)
                run.font = kit_->DefaultFont();
            if (!run.color)
                run.color = kit_->DefaultColor();
            kit_->AddRun(run);
        }
        run = qirRTFRun();
        drawnInRun = false;
    };
    const bool layout = layoutWidth_ != 0;
    for (qirRTFElement* e = First(); e; e = Next(e)) {
        e->order = ++order;
        if (!layout)
            continue;
        int t = e->type();
        if (t == qirRTFMarkType) {
            flush();
            kit_->EndLine();
            continue;
        }
        float width = 0;
        if (t == qirRTFSpaceType) {
            qirRTFSpaceElement* s = static_cast<qirRTFSpaceElement*>(e);
            if (!s->shown)
                continue;
            width = s->width;
        } else if (t == qirRTFTextType) {
            qirRTFGlyphElement* g = AsGlyph(e);
            if (!g->shown)
                continue;
            width = g->width;
            qirHelpReferenceNode* link = g->IsLink() ? static_cast<qirRTFLinkElement*>(g)->target : nullptr;
            if (Drawn(g->ch)) {
                bool same = run.first && link == run.link &&
                            (!drawnInRun || (g->font == run.font && g->color == run.color));
                if (!same)
                    flush();
                run.font = g->font;
                run.color = g->color;
                run.link = link;
                drawnInRun = true;
            } else if (run.first && link && link != run.link) {
                flush();
                run.link = link;
            } else if (!run.first) {
                run.link = link;
            }
        } else {
            continue;
        }
        if (!run.first)
            run.first = e;
        run.last = e;
        run.width += width;
    }
    flush();
    kit_->EndLines();
}

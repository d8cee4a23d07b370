#include "qirRTFEngine.h"

#include "qirError.h"

#include <algorithm>
#include <cstring>

namespace {

// Keywords are looked up by their first 39 characters.
const int kKeywordKept = 39;
// A link's title and target keep at most this many characters.
const int kReferenceTextMax = 499;

}  // namespace

qirRTFEngine::qirRTFEngine() {}

qirRTFEngine::~qirRTFEngine() { Remove(nullptr); }

int qirRTFEngine::Begin(qirRTFGlyphKit* kit) {
    if (!kit) {
        if (qirLog)
            qirLog->Write(qirLogError, "Error RTF-Text building.");
        return status_ = -9;
    }
    kit_ = kit;
    excerptStart_.clear();
    excerptEnd_.clear();
    ResetFormat();
    blankWidth_ = kit_->Width(kit_->DefaultFont(), ' ');
    begun_ = 1;
    return status_ = 0;
}

// ------------------------------------------------------------- the tokenizer

// Where the characters come from: the text being inserted, or a marker
// text spliced in at "excerpt", after which reading goes on in the text.
struct qirRTFEngine::Reader {
    const char* p;
    const char* end;
    const char* markerP = nullptr;
    const char* markerEnd = nullptr;

    Reader(const char* text, size_t n) : p(text), end(text + n) {
        // The text ends at its first NUL, as a string does.
        if (const void* nul = memchr(text, 0, n))
            end = static_cast<const char*>(nul);
    }
    bool InMarker() const { return markerP != nullptr; }
    void Splice(const std::string& marker) {
        markerP = marker.data();
        markerEnd = marker.data() + marker.size();
    }
    // The next byte, -1 at the end.
    int Next() {
        if (markerP) {
            if (markerP < markerEnd)
                return static_cast<unsigned char>(*markerP++);
            markerP = markerEnd = nullptr;
        }
        return p < end ? static_cast<unsigned char>(*p++) : -1;
    }
    int Peek() const {
        if (markerP && markerP < markerEnd)
            return static_cast<unsigned char>(*markerP);
        return p < end ? static_cast<unsigned char>(*p) : -1;
    }
    // Reads a keyword up to ">" (consumed), lower-cased, its first 39
    // characters kept: false when the text ends first.
    bool Keyword(char* out, int* length) {
        int n = 0;
        for (;;) {
            int c = Next();
            if (c < 0)
                return false;
            if (c == '>')
                break;
            if (n < kKeywordKept)
                out[n++] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        out[n] = 0;
        *length = n;
        return true;
    }
    // Plain text: the keyword after a "<" as Keyword reads it, or false
    // with nothing consumed when the text ends before its ">".
    bool PlainKeyword(char* out, int* length) {
        const char* q = p;
        const char* m = markerP;
        const char* mEnd = markerEnd;
        if (Keyword(out, length))
            return true;
        p = q;
        markerP = m;
        markerEnd = mEnd;
        return false;
    }
};

void qirRTFEngine::InsertText(const qirString& text, int enriched) {
    if (text.Data())
        InsertText(text.Data(), static_cast<size_t>(text.Length()), enriched);
}

void qirRTFEngine::InsertText(const char* text, size_t length, int enriched) {
    if (!begun_ || !text)
        return;
    enriched = enriched ? 1 : 0;
    if (enriched != enriched_) {
        AppendElement(new qirRTFCommand(enriched ? qirRTFOn : qirRTFOff));
        enriched_ = enriched;
    }
    Reader in(text, length);
    int newlines = 0, paramDepth = 0, commentDepth = 0;
    char keyword[kKeywordKept + 1];
    auto glyph = [this](int c, int param) {
        qirRTFGlyphElement* e = new qirRTFGlyphElement(c);
        if (param)
            e->ResetMode();
        AppendElement(e);
    };
    // A character of the text shown, a link's when inside "href".
    auto shown = [this, &glyph](int c) {
        if (openLink_)
            AppendElement(new qirRTFLinkElement(c));
        else
            glyph(c, 0);
    };
    for (int c; (c = in.Next()) >= 0;) {
        const int inside = paramDepth > 0 || commentDepth > 0;
        if (enriched_ && c == '<') {
            if (newlines == 1)
                glyph(' ', inside);   // a single line end reads as a blank
            newlines = 0;
            if (in.Peek() == '<') {
                in.Next();
                if (paramDepth == 0)
                    glyph('<', commentDepth > 0);
                continue;
            }
            int n = 0;
            if (!in.Keyword(keyword, &n))
                return;   // an unterminated command ends the text
            int code = qirRTFCommand::CodeOf(keyword, n);
            switch (code) {
            case qirRTFOff:
                enriched_ = 0;
                break;
            case qirRTFParam:
                ++paramDepth;
                break;
            case qirRTFParam + 1:
                paramDepth = std::max(0, paramDepth - 1);
                break;
            case qirRTFComment:
                ++commentDepth;
                break;
            case qirRTFComment + 1:
                commentDepth = std::max(0, commentDepth - 1);
                break;
            case qirRTFExcerpt:
            case qirRTFExcerpt + 1: {
                // A marker text is never spliced into a marker text.
                const std::string& marker = code == qirRTFExcerpt ? excerptStart_ : excerptEnd_;
                if (!in.InMarker() && !marker.empty())
                    in.Splice(marker);
                continue;
            }
            default:
                break;
            }
            qirRTFCommand* command = new qirRTFCommand(code);
            AppendElement(command);
            if (code == qirRTFHRef) {
                openLink_ = command;
            } else if (code == qirRTFHRef + 1) {
                if (openLink_)
                    BuildReference(openLink_);
                openLink_ = nullptr;
            }
            continue;
        }
        if (inside) {
            glyph(c, 1);
            continue;
        }
        if (c == '\n') {
            if (!enriched_) {
                AppendElement(new qirRTFCommand(qirRTFNewLine));
            } else if (++newlines > 1) {
                AppendElement(new qirRTFCommand(qirRTFNewLine));
            }
            continue;
        }
        if (newlines == 1)
            glyph(' ', 0);
        newlines = 0;
        if (!enriched_ && c == '<') {
            int n = 0;
            if (in.Peek() == '<') {
                in.Next();
            } else if (in.PlainKeyword(keyword, &n)) {
                if (qirRTFCommand::CodeOf(keyword, n) == qirRTFOn) {
                    AppendElement(new qirRTFCommand(qirRTFOn));
                    enriched_ = 1;
                    continue;
                }
                // Any other command shows as it was read: lower-cased and
                // cut to the part that is looked up.
                shown('<');
                for (int i = 0; i < n; ++i)
                    shown(static_cast<unsigned char>(keyword[i]));
                shown('>');
                continue;
            }
            // A "<" whose command never ends shows as it stands.
        }
        shown(c);
    }
}

void qirRTFEngine::BuildReference(qirRTFElement* href) {
    std::string title, target;
    bool targetDone = false;
    for (qirRTFElement* e = Next(href); e; e = Next(e)) {
        int t = e->type();
        if (t == qirRTFTextType) {
            if (title.size() < kReferenceTextMax)
                title += static_cast<char>(static_cast<qirRTFGlyphElement*>(e)->ch);
        } else if (t == qirRTFParamType) {
            if (!targetDone && target.size() < kReferenceTextMax)
                target += static_cast<char>(static_cast<qirRTFGlyphElement*>(e)->ch);
        } else if (t == qirRTFCommandType && static_cast<qirRTFCommand*>(e)->code == qirRTFParam + 1) {
            targetDone = true;
        }
    }
    qirHelpReferenceNode* node = nullptr;
    if (references_)
        node = references_->Add(qirHelpReference(qirString(title.c_str()), qirPath(target.c_str())));
    for (qirRTFElement* e = Next(href); e; e = Next(e))
        if (e->type() == qirRTFTextType && static_cast<qirRTFGlyphElement*>(e)->IsLink())
            static_cast<qirRTFLinkElement*>(e)->SetTarget(node);
}

void qirRTFEngine::Clear() {
    commands_.Clear();
    colorNames_.clear();
    Remove(nullptr);
    openLink_ = nullptr;
    selectionStart_ = selectionEnd_ = selectionAnchor_ = nullptr;
    if (references_)
        references_->Remove(nullptr);
    if (kit_) {
        kit_->BeginLines();
        kit_->EndLines();
    }
    if (begun_)
        ResetFormat();
}

// ------------------------------------------------------------ format state

void qirRTFEngine::ResetFormat() {
    enriched_ = 1;
    sizeLevel_ = bold_ = italic_ = fixed_ = underline_ = 0;
    leftIndent_ = rightIndent_ = pendingIndent_ = 0;
    lineIndentUnit_ = indentUnit_;
    if (kit_) {
        color_ = kit_->DefaultColor();
        font_ = kit_->DefaultFont();
    }
}

int qirRTFEngine::Bits() const {
    return (bold_ > 0 ? 1 : 0) | (italic_ > 0 ? 2 : 0) | (fixed_ > 0 ? 4 : 0) | (underline_ > 0 ? 8 : 0);
}

void qirRTFEngine::UpdateFont() {
    if (kit_)
        font_ = kit_->FindFont(Bits(), sizeLevel_);
}

void qirRTFEngine::SizeUp() {
    ++sizeLevel_;
    UpdateFont();
}

void qirRTFEngine::SizeDown() {
    --sizeLevel_;
    UpdateFont();
}

#define QIR_STYLE_SWITCH(On, Off, count)   \
    void qirRTFEngine::On() {             \
        if (++count == 1)                 \
            UpdateFont();                 \
    }                                     \
    void qirRTFEngine::Off() {            \
        if (--count == 0)                 \
            UpdateFont();                 \
    }
QIR_STYLE_SWITCH(BoldOn, BoldOff, bold_)
QIR_STYLE_SWITCH(ItalicOn, ItalicOff, italic_)
QIR_STYLE_SWITCH(FixedOn, FixedOff, fixed_)
QIR_STYLE_SWITCH(UnderlineOn, UnderlineOff, underline_)
#undef QIR_STYLE_SWITCH

void qirRTFEngine::PopColor() {
    if (!colorNames_.empty())
        colorNames_.pop_back();
    if (!kit_)
        return;
    color_ = colorNames_.empty() ? kit_->DefaultColor() : kit_->FindColor(colorNames_.back().c_str());
}

// --------------------------------------------------------------- selection

void qirRTFEngine::SetHighlight(qirRTFElement* from, qirRTFElement* to, int on) {
    if (!from || !to)
        return;
    if (to->order < from->order)
        std::swap(from, to);
    for (qirRTFElement* e = from; e; e = Next(e)) {
        int t = e->type();
        if (t == qirRTFTextType) {
            qirRTFGlyphElement* g = static_cast<qirRTFGlyphElement*>(e);
            g->highlight = on && g->shown;
        } else if (t == qirRTFSpaceType) {
            qirRTFSpaceElement* s = static_cast<qirRTFSpaceElement*>(e);
            s->highlight = on && s->shown;
        }
        if (e == to)
            break;
    }
}

qirString qirRTFEngine::SelectedText(const qirRTFElement* from, const qirRTFElement* to) const {
    std::string text;
    if (from && to) {
        if (to->order < from->order)
            std::swap(from, to);
        for (const qirRTFElement* e = from; e; e = Next(e)) {
            int t = e->type();
            if (t == qirRTFCommandType && static_cast<const qirRTFCommand*>(e)->code == qirRTFNewLine) {
                text += '\n';
            } else if (t == qirRTFTextType) {
                int c = static_cast<const qirRTFGlyphElement*>(e)->ch;
                // Control characters show nothing and copy as nothing.
                if (c == '\t' || c >= ' ')
                    text += static_cast<char>(c);
            }
            if (e == to)
                break;
        }
    }
    return qirString(text.c_str());
}

#include "qirRTFFontTable.h"

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirRTFStyle.h"

#include <IV-look/kit.h>
#include <InterViews/display.h>
#include <InterViews/font.h>
#include <InterViews/session.h>

#include <cstdlib>
#include <string>

namespace {

// The viewer's style bits (1 bold, 2 italic, 4 fixed) of a style node of
// the shared section, which is indexed by the editor's bits.
int ViewerBits(int node) {
    return ((node & qirRTFBold) ? 1 : 0) | ((node & qirRTFItalic) ? 2 : 0) | ((node & qirRTFFixed) ? 4 : 0);
}

const Font* KitFont() { return WidgetKit::instance() ? WidgetKit::instance()->font() : nullptr; }

bool Exists(const qirString& name) {
    Session* s = Session::instance();
    return s && !name.IsEmpty() && Font::exists(s->default_display(), name.Data());
}

}  // namespace

qirRTFFont::qirRTFFont(const qirString& n, int b, int s) : qirObject(45), name(n), bits(b), size(s) {}

qirRTFFont::qirRTFFont(const Font* font, int b, int s) : qirObject(45), bits(b), size(s), font_(font), loaded_(1) {
    Resource::ref(font_);
}

qirRTFFont::qirRTFFont(const qirRTFFont& other)
    : qirObject(45), name(other.name), bits(other.bits), size(other.size), font_(other.font_),
      loaded_(other.loaded_) {
    Resource::ref(font_);
}

qirRTFFont::~qirRTFFont() { Resource::unref(font_); }

const Font* qirRTFFont::GetFont() const {
    if (!loaded_) {
        loaded_ = 1;
        if (!name.IsEmpty() && Session::instance()) {
            font_ = Font::lookup(name.Data());
            Resource::ref(font_);
        }
    }
    return font_;
}

float qirRTFFont::Width(int ch) const {
    if (!measured_) {
        const Font* f = GetFont();
        for (int c = 0; c < 256; ++c)
            widths_[c] = f ? f->width(static_cast<long>(c)) : 0;
        measured_ = 1;
    }
    return widths_[ch & 0xff];
}

// -------------------------------------------------------------- the table

qirRTFFontTable::qirRTFFontTable(qirString) {
    const qirConfiguration* section = qirConfig.Find("RTFEditor.Fonts");
    if (!section) {
        status_ = -1;
        if (qirLog)
            qirLog->Write(qirLogError, "Undefined configuration for fonts definition !!!");
        return;
    }
    for (int node = 0; node < 8; ++node) {
        const qirConfiguration* style = section->Child(qirRTFStyleNodes[node]);
        if (!style)
            continue;
        const int bits = ViewerBits(node);
        qirString normal = style->Get("Normal");
        if (Exists(normal))
            Append(new qirRTFFont(normal, bits, 0));
        else
            Append(new qirRTFFont(KitFont(), bits, 0));
        for (int n = 0;; ++n) {
            std::string key = n == 0 ? "Bigger" : "Bigger" + std::to_string(n);
            qirString name = style->Get(key.c_str());
            if (name.IsEmpty())
                break;
            if (Exists(name))
                Append(new qirRTFFont(name, bits, n));
        }
        for (int n = 0;; ++n) {
            std::string key = n == 0 ? "Smaller" : "Smaller" + std::to_string(n);
            qirString name = style->Get(key.c_str());
            if (name.IsEmpty())
                break;
            Append(new qirRTFFont(name, bits, -n));
        }
    }
}

qirRTFFontTable::~qirRTFFontTable() {
    Remove(nullptr);
    delete fallback_;
}

qirRTFFont* qirRTFFontTable::Fallback() {
    if (!fallback_)
        fallback_ = new qirRTFFont(KitFont(), 0, 0);
    return fallback_;
}

const qirRTFFont* qirRTFFontTable::DefaultEntry() {
    qirRTFFont* first = First();
    return first && first->GetFont() ? first : Fallback();
}

const qirRTFFont* qirRTFFontTable::FindEntry(int bits, int size) {
    for (;;) {
        qirRTFFont* best = First();
        qirRTFFont* exact = nullptr;
        for (qirRTFFont* e = First(); e; e = Next(e)) {
            if (e->bits != bits)
                continue;
            if (e->size == size) {
                exact = e;
                break;
            }
            if (best->bits != bits || abs(e->size - size) <= abs(best->size - size))
                best = e;
        }
        if (exact && exact->GetFont())
            return exact;
        if (best && best->bits == bits && best->GetFont())
            return best;
        if (bits == 0)
            return best && best->GetFont() ? best : DefaultEntry();
        // Drop a style: underline first (never a font style), then fixed,
        // then italic from bold italic, then everything.
        if (bits & 8)
            bits &= ~8;
        else if (bits & 4)
            bits &= ~4;
        else if (bits == 3)
            bits = 1;
        else
            bits = 0;
    }
}

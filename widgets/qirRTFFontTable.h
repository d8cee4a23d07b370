// The fonts of the enriched-text viewer by style and size step, read from
// the editor's font section ("RTFEditor.Fonts", the same style nodes) but
// kept apart from the editor's own fonts.  Shared by the view and its
// engine through the InterViews reference count.
#ifndef QIR_RTF_FONT_TABLE_H
#define QIR_RTF_FONT_TABLE_H

#include "qirList.h"
#include "qirString.h"

#include <InterViews/resource.h>

class Font;

class qirRTFFont : public qirObject {
public:
    // A named font, looked up on first use.
    qirRTFFont(const qirString& name, int bits, int size);
    // A font object at hand (loaded already).
    qirRTFFont(const Font* font, int bits, int size);
    qirRTFFont(const qirRTFFont& other);
    ~qirRTFFont() override;

    // The font; a named entry looks it up on the first call only (a
    // failed lookup is not tried again).  Null when the display lacks it.
    const Font* GetFont() const;
    // Advance of a byte, cached; 0 without a font.
    float Width(int ch) const;
    // 1 + step / 5: how much bigger a size step is.
    static float Scale(int step) { return 1 + step / 5.0f; }

    qirString name;   // null for an entry made from a font object
    int bits;         // 1 bold, 2 italic, 4 fixed
    int size;

private:
    qirRTFFont& operator=(const qirRTFFont&) = delete;
    mutable const Font* font_ = nullptr;   // referenced
    mutable int loaded_ = 0;
    mutable float widths_[256];
    mutable int measured_ = 0;
};

class qirRTFFontTable : public qirList, public Resource {
public:
    // Reads "RTFEditor.Fonts" of the configuration; the section name is
    // not used.  Without that section the table stays empty with status
    // -1 (level-1 report).
    explicit qirRTFFontTable(qirString section);
    ~qirRTFFontTable() override;

    int StatusCode() const { return status_; }
    // Never null: the first entry, or the kit's font when the first entry
    // has none or the table is empty.
    const qirRTFFont* DefaultEntry();
    // The entry for style bits (8 underline is never a font style) and a
    // size step: the same bits at the nearest size, else fewer styles,
    // else the default entry.  Never null, and its font is never null.
    const qirRTFFont* FindEntry(int bits, int size);
    const Font* DefaultFont() { return DefaultEntry()->GetFont(); }
    const Font* Find(int bits, int size) { return FindEntry(bits, size)->GetFont(); }

    qirRTFFont* First() const { return static_cast<qirRTFFont*>(qirList::First()); }
    static qirRTFFont* Next(const qirRTFFont* f) { return static_cast<qirRTFFont*>(qirList::Next(f)); }

private:
    qirRTFFontTable(const qirRTFFontTable&) = delete;
    qirRTFFontTable& operator=(const qirRTFFontTable&) = delete;
    qirRTFFont* Fallback();

    int status_ = 0;
    qirRTFFont* fallback_ = nullptr;   // the kit's font, made when needed
};

#endif

// The editor's one door to Xlib: font metrics and ids, colour pixels, key
// symbol names, cut buffer 0 and the drawing of text cells.  Everything that
// needs the X11 representation headers of InterViews is in qirRTFXlib.cpp;
// this header names only InterViews classes and plain numbers.
#ifndef QIR_RTF_XLIB_H
#define QIR_RTF_XLIB_H

#include <string>

#include "qirKeyMap.h"
#include "qirRTFMetrics.h"

#include <InterViews/enter-scope.h>

class Canvas;
class Color;
class Display;
class Event;
class Font;

class qirRTFXlib {
public:
    // The pixel metrics and X font id of a font on a display: widths of the
    // bytes 0..254 rounded to pixels (below 2: the maximum width), byte 255
    // the maximum width, ascent and descent from the font's bounds.  False
    // when the display has no X font for it (metrics and id untouched).
    static bool FontMetrics(const Font* font, Display* display, qirRTFFontMetrics& metrics,
                            unsigned long& fid);
    // The X pixel of a colour for the visual of the canvas's window.
    static unsigned long Pixel(const Color* color, Canvas* canvas);
    // The X name of a key event's unshifted key symbol (null when it has
    // none) and its modifiers; without Control or Alt, the name of the
    // symbol the keyboard types instead where that is neither the key's
    // own nor its capital (another layout's shifted symbol, AltGr).  Shift
    // then counts as used up.
    static const char* KeySymbolName(const Event& event, qirKeyModifiers& mods);
    // Cut buffer 0 of the display.  Store takes n bytes (NULs included),
    // cut to what one X request can carry; Fetch answers false when the
    // buffer is empty.
    static void StoreCutBuffer(Display* display, const char* bytes, int n);
    static bool FetchCutBuffer(Display* display, std::string& bytes);

    // Direct drawing of one editor redraw on a canvas: cells and one-byte
    // characters in X pixels of the canvas.  The graphics context's font
    // and foreground are set only when they change and are given back to
    // the canvas when the painter ends.
    class Painter {
    public:
        explicit Painter(Canvas* canvas);
        ~Painter();
        bool Ok() const { return ok_; }
        void Fill(int x, int y, int w, int h, unsigned long pixel);
        void Line(int x0, int y0, int x1, int y1, unsigned long pixel);
        void Char(int x, int baseline, unsigned char c, unsigned long fid, unsigned long pixel);

    private:
        void Foreground(unsigned long pixel);
        void* rep_ = nullptr;   // the canvas's CanvasRep
        bool ok_ = false;
        bool hadFont_ = false;
        bool hadPixel_ = false;
        unsigned long oldFont_ = 0;
        unsigned long oldPixel_ = 0;
        unsigned long font_ = 0;
        unsigned long pixel_ = 0;
        bool fontSet_ = false;
        bool pixelSet_ = false;
    };
};

#endif

// The only file of the editor that reaches into the X11 representation of
// InterViews' canvases, fonts, colours and events.
#include "qirRTFXlib.h"

#include <InterViews/canvas.h>
#include <InterViews/color.h>
#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/font.h>
#include <InterViews/window.h>
#include <IV-X11/Xlib.h>
#include <IV-X11/Xutil.h>
#include <IV-X11/xcanvas.h>
#include <IV-X11/xcolor.h>
#include <IV-X11/xdisplay.h>
#include <IV-X11/xevent.h>
#include <IV-X11/xfont.h>
#include <IV-X11/xwindow.h>

#include <algorithm>
#include <cmath>
#include <cstring>

bool qirRTFXlib::FontMetrics(const Font* font, Display* display, qirRTFFontMetrics& m,
                             unsigned long& fid) {
    if (!font || !display)
        return false;
    FontRep* rep = font->rep(display);
    XFontStruct* xf = rep ? rep->font_ : nullptr;
    if (!xf)
        return false;
    qirRTFFontMetrics out;
    int widths[255];
    int maxw = 0;
    for (int c = 0; c < 255; ++c) {
        int w = xf->max_bounds.width;
        unsigned int lo = xf->min_char_or_byte2, hi = xf->max_char_or_byte2;
        if (xf->per_char) {
            unsigned int idx = static_cast<unsigned int>(c);
            // A byte the font lacks is drawn as its default character.
            if (idx < lo || idx > hi)
                idx = xf->default_char;
            if (idx >= lo && idx <= hi) {
                const XCharStruct& cs = xf->per_char[idx - lo];
                w = cs.width;
            } else {
                w = 0;
            }
        }
        widths[c] = w;
        maxw = std::max(maxw, w);
    }
    maxw = std::max(maxw, 2);
    for (int c = 0; c < 255; ++c)
        out.widths[c] = widths[c] < 2 ? maxw : widths[c];
    out.widths[255] = maxw;
    out.maxWidth = maxw;
    out.ascent = std::max(0, static_cast<int>(xf->ascent));
    out.descent = std::max(0, static_cast<int>(xf->descent));
    m = out;
    fid = xf->fid;
    return true;
}

unsigned long qirRTFXlib::Pixel(const Color* color, Canvas* canvas) {
    if (!color || !canvas || !canvas->window())
        return 0;
    WindowRep* w = canvas->window()->rep();
    if (!w || !w->visual_)
        return 0;
    ColorRep* c = color->rep(w->visual_);
    return c ? c->xcolor_.pixel : 0;
}

const char* qirRTFXlib::KeySymbolName(const Event& e, qirKeyModifiers& mods) {
    EventRep* rep = e.rep();
    if (!rep || (rep->xevent_.type != KeyPress && rep->xevent_.type != KeyRelease))
        return nullptr;
    XKeyEvent& k = rep->xevent_.xkey;
    mods.control = (k.state & ControlMask) != 0;
    mods.shift = (k.state & ShiftMask) != 0;
    mods.capsLock = (k.state & LockMask) != 0;
    mods.alt = e.meta_is_down();
    KeySym sym = XLookupKeysym(&k, 0);
    if (sym == NoSymbol)
        return nullptr;
    // Key names follow a United States layout.  Where the keyboard types
    // another symbol than those names give (the shifted symbol of a key
    // named by a word, as "plus" and "asterisk" on a German keyboard, or a
    // symbol of AltGr), the key is named by the symbol it types; a letter
    // and its capital keep their own names and Shift.
    if (!mods.control && !mods.alt) {
        KeySym typed = NoSymbol;
        char buffer[16];
        XLookupString(&k, buffer, sizeof buffer, &typed, nullptr);
        KeySym shifted = XLookupKeysym(&k, 1), lower, upper;
        XConvertCase(sym, &lower, &upper);
        const char* name = XKeysymToString(sym);
        bool word = name && strlen(name) > 1;
        if (typed != NoSymbol && typed != sym && typed != lower && typed != upper && (typed != shifted || word)) {
            mods.shift = false;
            mods.capsLock = false;
            return XKeysymToString(typed);
        }
    }
    return XKeysymToString(sym);
}

namespace {

// Bytes one request can carry in a property, with room for its header.
long RequestBytes(XDisplay* dpy) {
    long units = XExtendedMaxRequestSize(dpy);
    if (units <= 0)
        units = XMaxRequestSize(dpy);
    return std::max(0L, units * 4 - 256);
}

}  // namespace

void qirRTFXlib::StoreCutBuffer(Display* display, const char* bytes, int n) {
    if (!display || !bytes || n < 0)
        return;
    XDisplay* dpy = display->rep()->display_;
    long room = RequestBytes(dpy);
    XStoreBytes(dpy, bytes, static_cast<int>(std::min<long>(n, room)));
    XFlush(dpy);
}

bool qirRTFXlib::FetchCutBuffer(Display* display, std::string& bytes) {
    bytes.clear();
    if (!display)
        return false;
    int n = 0;
    char* data = XFetchBytes(display->rep()->display_, &n);
    if (!data)
        return false;
    if (n > 0)
        bytes.assign(data, static_cast<size_t>(n));
    XFree(data);
    return n > 0;
}

// ----------------------------------------------------------------- Painter

qirRTFXlib::Painter::Painter(Canvas* canvas) {
    CanvasRep* c = canvas ? canvas->rep() : nullptr;
    if (!c || !c->drawgc_ || !c->drawbuffer_)
        return;
    rep_ = c;
    ok_ = true;
    if (c->font_ && c->xfont_ && c->xfont_->fid) {
        hadFont_ = true;
        oldFont_ = c->xfont_->fid;
    }
    if (c->color_) {
        hadPixel_ = true;
        oldPixel_ = c->pixel_;
    }
}

qirRTFXlib::Painter::~Painter() {
    if (!ok_)
        return;
    CanvasRep* c = static_cast<CanvasRep*>(rep_);
    XDisplay* dpy = c->dpy();
    if (fontSet_ && hadFont_)
        XSetFont(dpy, c->drawgc_, oldFont_);
    if (pixelSet_ && hadPixel_)
        XSetForeground(dpy, c->drawgc_, oldPixel_);
    // InterViews believes the context still holds what it set last; where
    // it had set nothing, make it set its own again.
    if (fontSet_ && !hadFont_)
        c->font_ = nullptr;
    if (pixelSet_ && !hadPixel_)
        c->color_ = nullptr;
}

void qirRTFXlib::Painter::Foreground(unsigned long pixel) {
    if (pixelSet_ && pixel == pixel_)
        return;
    CanvasRep* c = static_cast<CanvasRep*>(rep_);
    XSetForeground(c->dpy(), c->drawgc_, pixel);
    pixel_ = pixel;
    pixelSet_ = true;
}

void qirRTFXlib::Painter::Fill(int x, int y, int w, int h, unsigned long pixel) {
    if (!ok_ || w <= 0 || h <= 0)
        return;
    CanvasRep* c = static_cast<CanvasRep*>(rep_);
    Foreground(pixel);
    XFillRectangle(c->dpy(), c->drawbuffer_, c->drawgc_, x, y, static_cast<unsigned>(w),
                   static_cast<unsigned>(h));
}

void qirRTFXlib::Painter::Line(int x0, int y0, int x1, int y1, unsigned long pixel) {
    if (!ok_)
        return;
    CanvasRep* c = static_cast<CanvasRep*>(rep_);
    Foreground(pixel);
    XDrawLine(c->dpy(), c->drawbuffer_, c->drawgc_, x0, y0, x1, y1);
}

void qirRTFXlib::Painter::Char(int x, int baseline, unsigned char ch, unsigned long fid,
                               unsigned long pixel) {
    if (!ok_ || !fid)
        return;
    CanvasRep* c = static_cast<CanvasRep*>(rep_);
    if (!fontSet_ || fid != font_) {
        XSetFont(c->dpy(), c->drawgc_, fid);
        font_ = fid;
        fontSet_ = true;
    }
    Foreground(pixel);
    char b = static_cast<char>(ch);
    XDrawString(c->dpy(), c->drawbuffer_, c->drawgc_, x, baseline, &b, 1);
}

#include "qirRTFEditorFont.h"

#include "qirRTFXlib.h"

#include <InterViews/display.h>
#include <InterViews/font.h>
#include <InterViews/session.h>

qirRTFEditorFont::qirRTFEditorFont(const char* name, Display* display)
    : name_(name ? name : ""), display_(display) {}

qirRTFEditorFont::~qirRTFEditorFont() {
    if (font_)
        Resource::unref(font_);
}

void qirRTFEditorFont::Load() const {
    if (loaded_)
        return;
    loaded_ = true;
    // Until a real font answers: a plain cell so that layout advances.
    metrics_ = qirRTFFontMetrics();
    metrics_.ascent = 10;
    metrics_.descent = 3;
    metrics_.maxWidth = 6;
    for (int& w : metrics_.widths)
        w = 6;
    Display* d = display_ ? display_
                          : Session::instance() ? Session::instance()->default_display() : nullptr;
    if (!d)
        return;
    const ::Font* f = ::Font::lookup(name_.c_str());
    if (!f)
        return;
    Resource::ref(f);
    font_ = f;
    qirRTFXlib::FontMetrics(f, d, metrics_, fid_);
}

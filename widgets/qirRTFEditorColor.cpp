#include "qirRTFEditorColor.h"

#include "qirRTFXlib.h"

#include <InterViews/color.h>
#include <InterViews/display.h>
#include <InterViews/session.h>

qirRTFEditorColor::qirRTFEditorColor(const char* name) : name_(name ? name : "") {}

qirRTFEditorColor::~qirRTFEditorColor() {
    if (color_)
        Resource::unref(color_);
}

void qirRTFEditorColor::Realize(Canvas* canvas) {
    if (!canvas || !Session::instance())
        return;
    if (color_)
        Resource::unref(color_);
    color_ = ::Color::lookup(Session::instance()->default_display(), name_.c_str());
    if (!color_)
        return;
    Resource::ref(color_);
    pixel_ = qirRTFXlib::Pixel(color_, canvas);
}

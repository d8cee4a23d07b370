// One named colour of the editor and its X pixel on the canvas's visual.
#ifndef QIR_RTF_EDITOR_COLOR_H
#define QIR_RTF_EDITOR_COLOR_H

#include <string>

#include <InterViews/enter-scope.h>

class Canvas;
class Color;

class qirRTFEditorColor {
public:
    explicit qirRTFEditorColor(const char* name);
    ~qirRTFEditorColor();

    // Looks the colour up on the default display and takes its pixel for
    // the visual of the canvas's window.  Nothing without a canvas.
    void Realize(Canvas* canvas);

    const char* Name() const { return name_.c_str(); }
    unsigned long Pixel() const { return pixel_; }
    bool Realized() const { return color_ != nullptr; }

private:
    qirRTFEditorColor(const qirRTFEditorColor&) = delete;
    qirRTFEditorColor& operator=(const qirRTFEditorColor&) = delete;

    std::string name_;
    const ::Color* color_ = nullptr;   // referenced
    unsigned long pixel_ = 0;
};

#endif

// One X font of the editor, loaded when first measured.  Its metrics come
// from the font's own tables once, so line breaking and drawing never ask
// the X server.
#ifndef QIR_RTF_EDITOR_FONT_H
#define QIR_RTF_EDITOR_FONT_H

#include <string>

#include "qirRTFMetrics.h"

#include <InterViews/enter-scope.h>

class Display;
class Font;

class qirRTFEditorFont {
public:
    qirRTFEditorFont(const char* name, Display* display);
    ~qirRTFEditorFont();

    // Looks the font up and reads its metrics when not done yet.  A name
    // the display cannot give keeps metrics that still advance (a 6 x 13
    // cell), so layout never stalls.
    void Load() const;

    const char* Name() const { return name_.c_str(); }
    const ::Font* IVFont() const { Load(); return font_; }
    unsigned long FontId() const { Load(); return fid_; }
    const qirRTFFontMetrics& Metrics() const { Load(); return metrics_; }
    int Width(int byte) const {
        Load();
        return byte >= 0 && byte < 255 ? metrics_.widths[byte] : metrics_.maxWidth;
    }
    int MaxWidth() const { Load(); return metrics_.maxWidth; }
    int Ascent() const { Load(); return metrics_.ascent; }
    int Descent() const { Load(); return metrics_.descent; }
    bool Loaded() const { return loaded_; }

private:
    qirRTFEditorFont(const qirRTFEditorFont&) = delete;
    qirRTFEditorFont& operator=(const qirRTFEditorFont&) = delete;

    std::string name_;
    Display* display_;
    mutable const ::Font* font_ = nullptr;   // referenced once loaded
    mutable qirRTFFontMetrics metrics_;
    mutable unsigned long fid_ = 0;
    mutable bool loaded_ = false;
};

#endif

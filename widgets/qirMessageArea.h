// The common body of the question dialog, the message box and the choice
// dialog: an icon beside centred text lines, over a row of buttons.
#ifndef QIR_MESSAGE_AREA_H
#define QIR_MESSAGE_AREA_H

#include "qirString.h"

#include <InterViews/enter-scope.h>

class Glyph;
class LayoutKit;
class PolyGlyph;
class WidgetKit;

class qirMessageArea {
public:
    // Fills box (the dialog's vertical box) with the framed message area and
    // an empty framed button row, which it answers: the caller appends each
    // button followed by kit glue.  lines holds count texts, none null.
    // An icon that cannot be read leaves its place empty.
    static PolyGlyph* Build(PolyGlyph* box, WidgetKit* kit, LayoutKit* layout, const char* iconPath,
                            const char* const* lines, int count);

    // Whether the last Build found its icon (for callers that log it).
    static int IconShown() { return iconShown_; }

private:
    static int iconShown_;
};

#endif

// The label of a text that may come from mail: what every window shows of
// mail text (message rows, folder names, address and filter book rows, the
// view's values and attachment rows) is made here.  UTF-8 and Latin-1 are
// shown as the characters they are (qirCharacters), in the kit's font.
#ifndef QIR_TEXT_LABEL_H
#define QIR_TEXT_LABEL_H

#include <InterViews/enter-scope.h>

class Glyph;
class WidgetKit;

// A label of the text in the kit's font and foreground.  A text of ASCII
// alone is the kit's own label; other characters are drawn from the
// ISO 10646 version of the font (InterViews draws Latin-1 bytes through a
// table that drops the accented letters), or as "?" where the display has
// none.
Glyph* qirTextLabel(WidgetKit* kit, const char* text);

#endif

// The records that describe an editor document: style runs, alignment
// marks and display lines.  Plain values, copied freely; each list of them
// is one contiguous array so lookups are binary searches.
#ifndef QIR_RTF_STYLE_H
#define QIR_RTF_STYLE_H

// Defined by the display layer; the document only carries the pointers.
class qirRTFEditorFont;
class qirRTFEditorColor;

// Style bits of a run.
enum {
    qirRTFFixed = 1,
    qirRTFBold = 2,
    qirRTFItalic = 4,
    qirRTFUnderline = 8
};

// The style nodes of a font section ("RTFEditor.Fonts"), indexed by
// qirRTFFixed | qirRTFBold | qirRTFItalic.  The viewer reads the same nodes.
extern const char* const qirRTFStyleNodes[8];

// A style run applies from its start up to the next run's start.
struct qirRTFStyle {
    int left = 0;       // left indent, in indent steps
    int right = 0;      // right indent, in indent steps
    int size = 0;       // size step relative to the font style's Normal size
    int bits = 0;       // qirRTFFixed | qirRTFBold | qirRTFItalic | qirRTFUnderline
    const qirRTFEditorFont* font = nullptr;   // not owned
    const qirRTFEditorColor* color = nullptr; // not owned
    int start = 0;

    qirRTFStyle() = default;
    explicit qirRTFStyle(int s) : start(s) {}
    // Runs that look the same; font and start are not compared (the font
    // follows from bits and size step).
    bool SameLook(const qirRTFStyle& o) const {
        return left == o.left && right == o.right && size == o.size &&
               bits == o.bits && color == o.color;
    }
};

// Alignment codes of a mark; they are also the codes of the tags center,
// flushleft, flushright and flushboth.
enum {
    qirAlignCenter = 'B',
    qirAlignLeft = 'C',
    qirAlignRight = 'D',
    qirAlignBoth = 'E'   // kept when written, shown like flush left
};

// An alignment mark governs the paragraphs from its start to the next mark.
struct qirRTFAlign {
    char code = qirAlignLeft;
    int start = 0;

    qirRTFAlign() = default;
    qirRTFAlign(char c, int s) : code(c), start(s) {}
};

// One display line.  All sizes are pixels.
struct qirRTFLine {
    int start = 0;
    int height = 0;   // ascent + descent
    int width = 0;    // character widths plus the indents
    int ascent = 0;
    int descent = 0;

    bool operator==(const qirRTFLine& o) const {
        return start == o.start && height == o.height && width == o.width &&
               ascent == o.ascent && descent == o.descent;
    }
    bool operator!=(const qirRTFLine& o) const { return !(*this == o); }
};

#endif

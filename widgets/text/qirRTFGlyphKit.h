// What the viewer's engine needs of the window layer: fonts, colours and
// widths, and the line composition that the layout fills, one glyph per
// run of like characters.  The view implements it on InterViews;
// qirRTFStubKit stands in without a display (tests, benchmarks, fuzzing).
#ifndef QIR_RTF_GLYPH_KIT_H
#define QIR_RTF_GLYPH_KIT_H

#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

class qirRTFColor;
class qirRTFElement;
class qirRTFFont;
class qirHelpReferenceNode;

// Neighbouring shown elements of one line that are drawn in one font and
// colour and follow one link (or none).  Blanks, tabs and fillers join the
// run they stand in.  The elements stay valid until the next layout.
struct qirRTFRun {
    qirRTFElement* first = nullptr;   // first shown element
    qirRTFElement* last = nullptr;    // last shown element
    const qirRTFFont* font = nullptr;
    const qirRTFColor* color = nullptr;
    qirHelpReferenceNode* link = nullptr;
    float width = 0;                  // sum of the shown elements' widths
};

class qirRTFGlyphKit {
public:
    virtual ~qirRTFGlyphKit();

    // Never null.
    virtual const qirRTFFont* DefaultFont() = 0;
    // The font of style bits (1 bold, 2 italic, 4 fixed, 8 underline) and
    // a size step (0 normal, above bigger, below smaller); never null.
    virtual const qirRTFFont* FindFont(int bits, int size) = 0;
    // Never null.
    virtual const qirRTFColor* DefaultColor() = 0;
    // The colour of a name; the default colour for one the display does
    // not know.  Never null.
    virtual const qirRTFColor* FindColor(const char* name) = 0;
    // Advance of a byte in a font, in points.
    virtual float Width(const qirRTFFont* font, int ch) = 0;

    // The shown lines are replaced: BeginLines, then each line's runs
    // with EndLine after every line but the last, then EndLines.
    virtual void BeginLines() = 0;
    virtual void AddRun(const qirRTFRun& run) = 0;
    virtual void EndLine() = 0;
    virtual void EndLines() = 0;
};

// Without a display: fonts are tokens per style and size step whose widths
// grow with the step (fixed fonts 6 points a byte; others by the byte);
// colours are "#" and six hexadecimal digits and a few names.  The lines
// laid out are kept as text for tests: shown characters, a blank for
// each blank, tab and filler.  Answered pointers are opaque tokens.
class qirRTFStubKit : public qirRTFGlyphKit {
public:
    qirRTFStubKit();

    const qirRTFFont* DefaultFont() override { return FindFont(0, 0); }
    const qirRTFFont* FindFont(int bits, int size) override;
    const qirRTFColor* DefaultColor() override;
    const qirRTFColor* FindColor(const char* name) override;
    float Width(const qirRTFFont* font, int ch) override;

    void BeginLines() override;
    void AddRun(const qirRTFRun& run) override;
    void EndLine() override;
    void EndLines() override;

    // The style bits and size step of a font token of this kit.
    int Bits(const qirRTFFont* font) const;
    int Size(const qirRTFFont* font) const;
    // The name of a colour token.
    const char* ColorName(const qirRTFColor* color) const;
    int ColorLookups() const { return lookups_; }

    // What the last layout showed.
    std::vector<std::string> lines;
    std::vector<std::vector<qirRTFRun>> runs;
    int layouts = 0;

private:
    static const int kSteps = 11;   // size steps -5 .. 5
    char fonts_[8][kSteps] = {};
    std::map<std::string, const std::string*> colors_;
    std::deque<std::string> names_;   // stable addresses are the tokens
    int lookups_ = 0;
};

#endif

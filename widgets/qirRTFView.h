// The read-only enriched-text viewer of the help window: a scrolling
// column of laid-out lines, links that follow their references when
// clicked, and a selection made with the pointer that goes to X cut
// buffer 0.  The engine (qirRTFEngine) keeps the page and breaks it into
// lines; this glyph is its window side: fonts, colours and the line
// composition (an InterViews LRComposition over a TBScrollBox).
//
// The message view, the compose window and the log use the editor panel
// instead (qirRTFPanel); the two share no code but the cut buffer.
#ifndef QIR_RTF_VIEW_H
#define QIR_RTF_VIEW_H

// The engine keeps its own names, which the InterViews macros would
// rename when their headers came first.
#include "qirRTFEngine.h"

// Pages come as InterViews input files, a name of the OS scope.
#include <OS/file.h>

#include <InterViews/input.h>

#include <functional>
#include <vector>

class Adjustable;
class Background;
class Color;
class Composition;
class Compositor;
class Glyph;
class TBScrollBox;
class qirRTFColorTable;
class qirRTFFontTable;
class qirRTFRunGlyph;

class qirRTFView : public InputHandler, public qirRTFEngine, public qirRTFGlyphKit {
public:
    // Reads its configuration (Configure) at once.
    qirRTFView();
    ~qirRTFView() override;

    // "RTF-View-Configuration", the fonts of "RTFEditor.Fonts" and the
    // colours "Colors.rtfDefault", "Colors.rtfBackground" and
    // "Colors.rtfHiBackground": 0; -6 without the node, -1 without fonts
    // (both reported at level 1: the view then takes no text, and the help
    // window does not open).
    int Configure();
    // The result of the last Configure.
    int ViewStatus() const { return viewStatus_; }

    // An empty page to be read as text/enriched (enriched 1) or plain
    // text: the configuration's status.
    int ClearPage(int enriched);
    // The page of the file or the text, not yet laid out (reformat).
    int Restart(InputFile* file, int enriched);
    int RestartWithText(const qirString& text, int enriched);
    virtual void append_stream(InputFile* file, int enriched);
    virtual void insert_text(const qirString& text, int enriched);
    // Styles and lines again, shown from the page's start.
    virtual void reformat();
    // Lines again at the same width, the selection kept and the reader
    // left where they were.
    virtual void format();
    // The text of the selection.
    virtual qirString selected_text();
    // No selection.
    virtual void reset();

    // The scroll box of the lines, for a scroll bar.
    Adjustable* adjustable() const;
    qirHelpReferenceList* References() { return &references_; }

    // InterViews.
    void allocate(Canvas*, const Allocation&, Extension&) override;
    void move(const Event&) override;
    void press(const Event&) override;
    void drag(const Event&) override;
    void release(const Event&) override;
    void double_click(const Event&) override;

    // qirRTFGlyphKit.
    const qirRTFFont* DefaultFont() override;
    const qirRTFFont* FindFont(int bits, int size) override;
    const qirRTFColor* DefaultColor() override;
    const qirRTFColor* FindColor(const char* name) override;
    float Width(const qirRTFFont* font, int ch) override;
    void BeginLines() override;
    void AddRun(const qirRTFRun& run) override;
    void EndLine() override;
    void EndLines() override;

    // The element under a point of the view's canvas (points), with the
    // left edge of its room; null on an empty page.
    qirRTFElement* Pick(Coord x, Coord y, Coord* left = nullptr) const;
    // Lines laid out, and the first and last shown.
    int LineCount() const { return static_cast<int>(lineStart_.size()); }
    int FirstShownLine() const;
    int LastShownLine() const;
    // The runs of a line (null past the end).
    const std::vector<qirRTFRunGlyph*>& Runs() const { return runs_; }
    int LineStart(int line) const { return line >= 0 && line < LineCount() ? lineStart_[line] : -1; }
    const Color* HighlightColor() const { return highlightBackground_; }

private:
    qirRTFView(const qirRTFView&) = delete;
    qirRTFView& operator=(const qirRTFView&) = delete;

    // Allocates the new lines where the old ones were and draws them.
    void Refit();
    void ScrollToTop();
    // Breaks the page into lines again; place allocates them.  keepPlace:
    // the reader stays where they were, in proportion; else the page's
    // start is shown.
    void Rebreak(int keepPlace, const std::function<void()>& place);
    void Highlight(int on);
    void StoreSelection();

    int viewStatus_ = 0;
    int ready_ = 0;
    qirHelpReferenceList references_;
    qirRTFFontTable* fonts_ = nullptr;     // referenced
    qirRTFColorTable* colors_ = nullptr;   // referenced
    const Color* background_ = nullptr;    // referenced
    const Color* highlightBackground_ = nullptr;   // referenced

    // The composition is made afresh at every layout: emptying one a
    // component at a time costs time that grows with the square of it.
    TBScrollBox* lines_ = nullptr;         // referenced; the scroll bar's
    Composition* composition_ = nullptr;   // held by the background
    Compositor* compositor_ = nullptr;     // owned: every composition breaks with it
    Background* backgroundGlyph_ = nullptr;   // the body
    Glyph* topStrut_ = nullptr;            // these referenced
    Glyph* lineStrut_ = nullptr;
    Glyph* lineBreak_ = nullptr;
    Glyph* endGlue_ = nullptr;
    std::vector<qirRTFRunGlyph*> runs_;    // held by the composition
    std::vector<int> lineStart_;           // first run of each line

    int dragMode_ = 0;         // 0 none, 1 selecting, 2 middle, 3 right button
    int selectionState_ = 0;   // 0 starting, 1 start moves, 2 end moves, 3 done
};

#endif

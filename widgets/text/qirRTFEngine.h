// The document half of the enriched-text viewer: the page as a list of
// elements in page order (the engine is that list and owns them), the
// tokenizer that turns text/enriched or plain text into elements, the
// format state, and the layout pass that breaks the page into lines for
// the window layer's composition (qirRTFGlyphKit).
//
// The viewer's dialect is its own (qirRTFCommand): parameters are kept as
// characters for the layout to read, "excerpt" splices configured marker
// texts in, and "href" makes help references that its characters follow.
#ifndef QIR_RTF_ENGINE_H
#define QIR_RTF_ENGINE_H

#include <cstddef>
#include <string>
#include <vector>

#include "qirHelpReference.h"
#include "qirList.h"
#include "qirRTFCommand.h"
#include "qirRTFElement.h"
#include "qirRTFGlyphKit.h"
#include "qirString.h"

class qirRTFEngine : public qirList {
public:
    qirRTFEngine();
    // Deletes the elements; the kit and the reference list stay the
    // caller's.
    ~qirRTFEngine() override;

    // Makes the engine usable with a kit (not owned): 0, or -9 after a
    // level-1 report when there is none.  Resets the marker texts.
    int Begin(qirRTFGlyphKit* kit);
    // -9 until Begin succeeds, then 0.
    int StatusCode() const { return status_; }
    qirRTFGlyphKit* Kit() const { return kit_; }

    // Where "href" commands register their references (not owned; null:
    // links are made but lead nowhere).
    void SetReferences(qirHelpReferenceList* references) { references_ = references; }
    qirHelpReferenceList* References() const { return references_; }

    // Texts read at "excerpt" and "/excerpt" (themselves text/enriched);
    // empty: nothing is spliced.
    void SetExcerptStartText(const qirString& text) { excerptStart_ = text.Data() ? text.Data() : ""; }
    void SetExcerptEndText(const qirString& text) { excerptEnd_ = text.Data() ? text.Data() : ""; }
    // The width lines are broken to, in points; 0: nothing is laid out.
    void SetLayoutWidth(float width) { layoutWidth_ = width; }
    float LayoutWidth() const { return layoutWidth_; }
    // Points per indent level; the layout uses the copy taken at each
    // format reset.
    void SetIndentUnit(float points) { indentUnit_ = points; }
    float IndentUnit() const { return indentUnit_; }
    void SetLineIndentUnit(float points) { lineIndentUnit_ = points; }
    void SetTabWidth(float points) { tabWidth_ = points; }
    float TabWidth() const { return tabWidth_; }

    // Appends the elements of text, read up to its end or its first NUL;
    // enriched nonzero reads it as text/enriched.  Nothing before Begin.
    virtual void InsertText(const qirString& text, int enriched);
    void InsertText(const char* text, size_t length, int enriched);
    // Empties the page and its references; the shown lines go with them.
    void Clear();
    // 1 while input is read as text/enriched.
    int Enriched() const { return enriched_; }

    // The format state the layout pass replays.
    void ResetFormat();
    void SizeUp();
    void SizeDown();
    void BoldOn();
    void BoldOff();
    void ItalicOn();
    void ItalicOff();
    void FixedOn();
    void FixedOff();
    void UnderlineOn();
    void UnderlineOff();
    void PopColor();

    // The layout pass: styles give every character its font, colour and
    // width; FormatAll breaks the page into lines of LayoutWidth points
    // (nothing while that is 0) and ends with Relayout, which hands the
    // lines to the kit.  Every pass starts from empty command stacks, so a
    // page looks the same after every resize.
    void ApplyStyles();
    void FormatAll();
    void Relayout();

    // The selection: from and to (in page order, either way round) get
    // their highlight set or cleared on every shown character and filler.
    void SetHighlight(qirRTFElement* from, qirRTFElement* to, int on);
    // The viewer's selection ends and the element its drag started on.
    // They may be marks or fillers, which the next layout deletes: each
    // layout first moves such an end onto the page's own elements, a start
    // onto the element after it, an end onto the one before, and a
    // selection of nothing but fillers becomes none (both null).
    qirRTFElement* SelectionStart() const { return selectionStart_; }
    qirRTFElement* SelectionEnd() const { return selectionEnd_; }
    qirRTFElement* SelectionAnchor() const { return selectionAnchor_; }
    void SetSelection(qirRTFElement* start, qirRTFElement* end) {
        selectionStart_ = start;
        selectionEnd_ = end;
    }
    void SetSelectionAnchor(qirRTFElement* e) { selectionAnchor_ = e; }
    // The text from..to: characters as they stand, a blank for a blank
    // the layout dropped at a line end (a wrapped line copies as one), a
    // line end for each "nl".
    qirString SelectedText(const qirRTFElement* from, const qirRTFElement* to) const;

    qirRTFElement* First() const { return static_cast<qirRTFElement*>(qirList::First()); }
    qirRTFElement* Last() const { return static_cast<qirRTFElement*>(qirList::Last()); }
    static qirRTFElement* Next(const qirRTFElement* e) { return static_cast<qirRTFElement*>(qirList::Next(e)); }
    static qirRTFElement* Prev(const qirRTFElement* e) { return static_cast<qirRTFElement*>(qirList::Prev(e)); }

    // The current format, for tests.
    int SizeLevelNow() const { return sizeLevel_; }
    const qirRTFFont* FontNow() const { return font_; }
    const qirRTFColor* ColorNow() const { return color_; }
    int LeftIndent() const { return leftIndent_; }

protected:
    // Width of a blank in the default font.
    float BlankWidth() const { return blankWidth_; }

private:
    qirRTFEngine(const qirRTFEngine&) = delete;
    qirRTFEngine& operator=(const qirRTFEngine&) = delete;

    struct Reader;
    struct Switch {
        int code;
        void (qirRTFEngine::*on)();
        void (qirRTFEngine::*off)();
    };
    static const Switch kSwitches[6];
    void AppendElement(qirRTFElement* e) { Append(e); }
    void BuildReference(qirRTFElement* href);
    int Bits() const;
    void UpdateFont();
    // Closes the line before p (a mark goes in before p), or the page's
    // last line: fillers for its indent and alignment.
    void FinishLine(qirRTFElement* p, bool atEnd = false);
    void Justify(qirRTFElement* first, qirRTFElement* mark, float sum);
    // Moves the selection off the marks and fillers a layout is about to
    // delete.
    void KeepSelection();
    // Unlinks and deletes the element.
    void Drop(qirRTFElement* e);

    qirRTFGlyphKit* kit_ = nullptr;
    int begun_ = 0;
    int status_ = -9;
    qirHelpReferenceList* references_ = nullptr;
    int enriched_ = 1;
    qirRTFElement* openLink_ = nullptr;   // the "href" not closed yet
    qirRTFElement* selectionStart_ = nullptr;
    qirRTFElement* selectionEnd_ = nullptr;
    qirRTFElement* selectionAnchor_ = nullptr;
    std::string excerptStart_, excerptEnd_;

    // Format state.
    int sizeLevel_ = 0, bold_ = 0, italic_ = 0, fixed_ = 0, underline_ = 0;
    int leftIndent_ = 0, rightIndent_ = 0, pendingIndent_ = 0;
    qirRTFCommandStack commands_;
    int lineAlignment_ = -1;   // of the line being broken, -1 before its first character
    std::vector<std::string> colorNames_;   // innermost last
    const qirRTFFont* font_ = nullptr;
    const qirRTFColor* color_ = nullptr;

    float indentUnit_ = 0, lineIndentUnit_ = 0, tabWidth_ = 0;
    float layoutWidth_ = 0;
    float blankWidth_ = 0;
};

#endif

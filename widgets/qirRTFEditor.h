// The editing surface of the enriched-text panel: a glyph that owns a
// qirRTFDocument, supplies it with real X font metrics (qirRTFMetrics) and
// the readers and writers with fonts and colours (qirRTFResources), draws
// the text itself through qirRTFXlib, scrolls by display lines as a
// vertical Adjustable, and turns pointer and key events into cursor moves,
// selections, typing and commands.  The same class serves in view mode
// (message view, log) and edit mode (compose window).
#ifndef QIR_RTF_EDITOR_H
#define QIR_RTF_EDITOR_H

// The display-free core keeps its own names (Font, Text), which the
// InterViews macros would rename when their headers came first.
#pragma push_macro("Font")
#pragma push_macro("Text")
#undef Font
#undef Text
#include "qirKeyMap.h"
#include "qirKeyboard.h"
#include "qirRTFDocument.h"
#include "qirRTFMetrics.h"
#include "qirRTFReaderWriter.h"
#include "qirRTFResources.h"
#include "qirRTFSource.h"
#include "qirRTFStyle.h"
#pragma pop_macro("Text")
#pragma pop_macro("Font")

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <InterViews/adjust.h>
#include <InterViews/geometry.h>
#include <InterViews/glyph.h>

#include "qirRTFEditorColor.h"
#include "qirRTFEditorFont.h"

class Button;
class Deck;
class Display;
class Event;
class Handler;
class Menu;
class MenuItem;
class Patch;
class qirConfiguration;
class qirSearchDialog;

enum {
    qirRTFViewMode = 0,
    qirRTFEditMode = 1
};

class qirRTFEditor : public Glyph, public Adjustable, public qirRTFMetrics, public qirRTFResources {
public:
    // tree: the configuration whose node "RTFEditor" holds fonts, colours,
    // key map and keyboards (null: every default, no key bindings).
    // fontSection: the font node under "RTFEditor" ("Fonts" when null or
    // empty).  mode: qirRTFEditMode or qirRTFViewMode.  menu: the host window's
    // menu that receives the editor's entries, or null.
    qirRTFEditor(const qirConfiguration* tree, const char* fontSection, int mode, Menu* menu);
    ~qirRTFEditor() override;

    // Glyph.
    void request(Requisition&) const override;
    void allocate(Canvas*, const Allocation&, Extension&) override;
    void draw(Canvas*, const Allocation&) const override;
    void undraw() override;

    // The event entry of the editor's input handler: motion, press, drag,
    // release and key press.
    virtual void handle(const Event& e);
    // Empties the document (no text at all), resets cursor, selection,
    // view, and ends a running drag, releasing its pointer grab.  The
    // caller puts the new text in.
    virtual void clear();
    // Readers and writers of the editor's dialect and of plain text; the
    // lists are the caller's (see qirRTFReaderWriter).
    virtual int read_enriched(qirRTFSource& src, std::string& text,
                              std::vector<qirRTFStyle>& runs, std::vector<qirRTFAlign>& marks);
    virtual int read_plain(qirRTFSource& src, std::string& text,
                           std::vector<qirRTFStyle>& runs, std::vector<qirRTFAlign>& marks);
    // 0, or 1 for a null stream or a failed write.
    virtual int write_enriched(FILE* out);
    virtual int write_plain(FILE* out);
    virtual qirRTFEditor* self() { return this; }
    // Damages the text area and tells the scroll bar.
    virtual void redraw();
    // Allocates again on the stored canvas (full layout).
    virtual void reallocate();
    // Lays out line records from .. end - 1 again; (-1, -1) all of them.
    virtual void relayout(int from, int end);
    // Runs an editor command (codes of qirKeyMap.h and qirEditorTags.h);
    // value is the keyboard index for qirCmdKeyboard.  Commands that change
    // the document work in edit mode only.
    virtual void execute(int code, int value);

    // Adjustable, in the vertical dimension, one unit per display line;
    // the upper end of the range is the start of the text.
    Coord lower(DimensionName) const override;
    Coord length(DimensionName) const override;
    Coord cur_lower(DimensionName) const override;
    Coord cur_length(DimensionName) const override;
    void scroll_to(DimensionName, Coord lower) override;

    // Fonts, colours, key map, keyboards (from "RTFEditor").
    void LoadFonts(const qirConfiguration* section);
    void ClearFonts();
#pragma push_macro("Font")
#undef Font
    // The font entry for style bits (underline dropped) and a size step,
    // clamped to the fonts the style has; a style without fonts uses
    // "Normal".  Never null.
    const qirRTFEditorFont* Font(int bits, int step) override;
#pragma pop_macro("Font")
    void LoadColors(const qirConfiguration* section);
    void ClearColors();
    const qirRTFEditorColor* CursorColor() const { return cursorColor_; }
    const qirRTFEditorColor* BackgroundColor() const { return backgroundColor_; }
    const qirRTFEditorColor* BlockColor() const { return blockColor_; }
    // Never null: the default slot, or an entry "#000000" while it is unset.
    const qirRTFEditorColor* DefaultColor() override;
    // The entry of a colour name, made when the display knows the name;
    // the default colour otherwise.  Never null.
    const qirRTFEditorColor* ColorByName(const char* name) override;
    const char* ColorName(const qirRTFEditorColor* color) const override;
    int ColorCount() const { return static_cast<int>(colors_.size()); }
    void LoadKeymap(const qirConfiguration* section);
    void ClearKeymap() { keymap_.Clear(); }
    // The command of a key event; for code 12 *c is the character to type
    // (0: nothing), for 222 the keyboard index.
    int KeyName(const Event& e, unsigned char* c) const;
    void ReadKeyboards(const qirConfiguration* section);
    void ClearKeyboards();
    const std::vector<qirKeyboard>& Keyboards() const { return keyboards_; }
    int CurrentKeyboard() const { return keyboard_; }

    // qirRTFMetrics: the metrics of a run's font.
    const qirRTFFontMetrics& Metrics(const qirRTFStyle& run) const override;

    // Cursor geometry and view.
    void CursorX(int* line, int* x) const;
    void RememberX();
    void MoveToX(int line, int x);
    // The character position under the pointer of an event.
    int PositionAt(const Event& e) const;
    int PositionAt(int px, int py) const;   // X pixels of the canvas
    void ScrollToCursor();
    void CursorIntoView();
    int VisibleLines() const;
    // Types one character at the cursor as a key of the key map would (the
    // current keyboard translates it); nothing in view mode.
    void Type(unsigned char c);

    // Selection exchange: the bytes of from..to (-1: anchor and end), cut
    // to the text without its final newline, go to X cut buffer 0 and, with
    // their styles, to the editor's copy buffer.  Paste inserts the cut
    // buffer at pos, styled when it still holds this editor's copy.
    void CopySelection(int from, int to);
    void Paste(int pos);
    void ClearCopyBuffer();
    const std::string& CopyBufferText() const { return copyText_; }
    // Moves the cursor to the next match of text (forward or backward;
    // exact: case counts) and selects it; nothing without a match.  No
    // match includes the final newline.
    void Search(const char* text, int forward, int exact);
    // The search dialog, made by the first Search command; null before.
    qirSearchDialog* SearchDialog() const { return searchDialog_; }

    // Menu and tool-bar state; the panel builds the entries.  Refresh runs
    // after every command, typing and mouse selection.
    virtual void BuildMenus(Menu* menu);
    virtual void SyncMenus();
    virtual void BuildToolbar(Glyph* box);
    virtual void SyncToolbar();
    virtual void Refresh();

    // Document access and lookups.
    qirRTFDocument& Document() { return doc_; }
    const qirRTFDocument& Document() const { return doc_; }
    int LineOf(int pos) const { return doc_.LineOf(pos); }
    int RunOf(int pos) const { return doc_.RunOf(pos); }
    int MarkOf(int pos) const { return doc_.MarkOf(pos); }
    int LineOrigin(int line) const { return doc_.LineOrigin(line, left_, right_); }

    int Mode() const { return mode_; }
    int Cursor() const { return doc_.cursor; }
    void SetCursor(int pos);
    int FirstVisible() const { return doc_.firstVisible; }
    int VisibleCount() const { return doc_.visibleCount; }
    bool Dragging() const { return drag_ != nullptr; }
    int ShowCursor() const { return showCursor_; }
    Canvas* GetCanvas() const { return canvas_; }
    // The text area in X pixels of the canvas.
    int AreaLeft() const { return left_; }
    int AreaTop() const { return top_; }
    int AreaRight() const { return right_; }
    int AreaBottom() const { return bottom_; }
    // The file last loaded (the panel sets it); null when none.
    const char* FileName() const { return fileName_.empty() ? nullptr : fileName_.c_str(); }
    void SetFileName(const char* path) { fileName_ = path ? path : ""; }
    // Set by construction and by the panel after a load: the next
    // allocation or drawing shows the first line with the cursor on 0.
    void SetFresh() { fresh_ = 1; }
    qirRTFStyle& InsertionStyle() { return doc_.insertStyle; }
    // Resets the document to "\n" in the default style, laid out.
    void ResetText();

    // Menu and tool-bar entries, built by the panel; null when not built.
    MenuItem* boldItem = nullptr;
    MenuItem* italicItem = nullptr;
    MenuItem* underlineItem = nullptr;
    MenuItem* fixedItem = nullptr;
    MenuItem* flushLeftItem = nullptr;
    MenuItem* centerItem = nullptr;
    MenuItem* flushRightItem = nullptr;
    Menu* keyboardMenu = nullptr;
    Button* boldButton = nullptr;
    Button* italicButton = nullptr;
    Button* underlineButton = nullptr;
    Button* fixedButton = nullptr;
    Button* flushLeftButton = nullptr;
    Button* centerButton = nullptr;
    Button* flushRightButton = nullptr;
    Patch* sizePatch = nullptr;
    Patch* leftIndentPatch = nullptr;
    Patch* rightIndentPatch = nullptr;
    Glyph* toolbar = nullptr;   // referenced, edit mode only
    int toolbarPictures = 0;    // buttons showing their picture; the rest show their text

private:
    qirRTFEditor(const qirRTFEditor&) = delete;
    qirRTFEditor& operator=(const qirRTFEditor&) = delete;

    void PixelBox(Canvas* c, const Allocation& a);
    void RealizeColors(Canvas* c) const;
    void ShowFromTop() const;
    void CountVisible() const;
    void EndDrag();
    void AfterCommand();
    bool StyleCommand(int code);
    void SelectColor();
    void RunSearch(int code);
    // Copies and deletes lo..hi-1; the cursor stands at lo.
    void CutRange(int lo, int hi);
    void MoveLines(int code);
    void DrawLine(void* painter, int line, int y) const;
    int LastLine() const { return static_cast<int>(doc_.Lines().size()) - 1; }
    int LastChar() const { return doc_.Length() > 0 ? doc_.Length() - 1 : 0; }

    mutable int fresh_ = 1;
    std::string fileName_;
    Allocation allocation_;
    Canvas* canvas_ = nullptr;
    Extension extension_;
    int left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;

    mutable qirRTFDocument doc_;
    qirKeyMap keymap_;
    std::vector<qirKeyboard> keyboards_;
    int keyboard_ = 0;

    std::vector<std::unique_ptr<qirRTFEditorFont>> fonts_[8];
    int normal_[8] = {};
    std::vector<std::unique_ptr<qirRTFEditorColor>> colors_;
    mutable bool colorsToRealize_ = true;
    qirRTFEditorColor* cursorColor_ = nullptr;
    qirRTFEditorColor* backgroundColor_ = nullptr;
    qirRTFEditorColor* blockColor_ = nullptr;
    qirRTFEditorColor* defaultColor_ = nullptr;

    std::string copyText_;
    std::vector<qirRTFStyle> copyRuns_;
    std::vector<qirRTFAlign> copyMarks_;

    qirSearchDialog* searchDialog_ = nullptr;   // referenced

    int mode_;
    Display* display_;
    Handler* drag_ = nullptr;   // holds the pointer grab during a mouse selection
    int goalX_ = 0;
    int showCursor_ = 0;
};

#endif

// The editor's document: one byte string and three sorted arrays that
// describe it (style runs, alignment marks, display lines), with the two
// primitive edits every editing operation is built on.  Display-free: the
// line breaking asks a qirRTFMetrics for widths and heights, so the editor
// glyph only supplies the metrics and the text width.
#ifndef QIR_RTF_DOCUMENT_H
#define QIR_RTF_DOCUMENT_H

#include <string>
#include <vector>

#include "qirRTFMetrics.h"
#include "qirRTFStyle.h"

// Invariants after every edit:
//  1. runs have strictly increasing starts, the first at 0, none at or
//     behind the text length (except the only run of an empty text);
//  2. marks have strictly increasing starts, the first at 0, every other at
//     a paragraph start or at the text length;
//  3. when the layout is current, lines have strictly increasing starts,
//     the first at 0, each holds at least one character, and together they
//     cover the text; a line ends after a "\n" or where it was wrapped;
//  4. a text that is in use ends with "\n" (clear leaves it empty).
class qirRTFDocument {
public:
    qirRTFDocument();

    const std::string& Text() const { return text_; }
    int Length() const { return static_cast<int>(text_.size()); }
    const std::vector<qirRTFStyle>& Runs() const { return runs_; }
    const std::vector<qirRTFAlign>& Marks() const { return marks_; }
    const std::vector<qirRTFLine>& Lines() const { return lines_; }

    // Index of the element governing pos: the last one with start <= pos,
    // element 0 when pos lies before every start, 0 for an empty array.
    int LineOf(int pos) const;
    int RunOf(int pos) const;
    int MarkOf(int pos) const;
    // Position behind the last character of a line: the next line's start,
    // or the text length for the last line.
    int LineEnd(int line) const;

    // Inserts n bytes (any values, NUL included) with their runs and marks,
    // whose starts count from the beginning of the inserted text; the
    // arrays are copied.  Nothing happens when the text or runs are empty.
    void insert(int pos, const char* text, int n,
                const std::vector<qirRTFStyle>& runs,
                const std::vector<qirRTFAlign>& marks);
    void insert(int pos, const std::string& text,
                const std::vector<qirRTFStyle>& runs,
                const std::vector<qirRTFAlign>& marks) {
        insert(pos, text.data(), static_cast<int>(text.size()), runs, marks);
    }
    void DeleteRange(int start, int count);
    // One byte in the insertion style; a "\n" starts a paragraph with the
    // alignment of the one it splits.
    void InsertChar(int pos, unsigned char c);
    // Gives the mark governing pos a new code and lays out its paragraphs.
    void SetAlignment(int pos, char code);
    // The bytes lo..hi-1 with a copy of the runs and marks that govern
    // them, starts relative to lo.  The range is clamped to the text.
    void CopyRange(int lo, int hi, std::string& text,
                   std::vector<qirRTFStyle>& runs,
                   std::vector<qirRTFAlign>& marks) const;

    void MergeRuns();
    void MergeMarks();
    // Empties the text and the arrays; resets cursor, selection, drag and
    // view.  Leaves the text empty: the caller inserts the new document.
    void clear();
    // Empties the selection unless a mouse drag is extending it.
    void ClearSelection();

    // Layout.  The metrics are not owned.  Changing the metrics or the
    // width makes the layout stale until the next relayout.
    void SetMetrics(const qirRTFMetrics* metrics);
    void SetWidth(int width);
    int Width() const { return width_; }
    bool CanLayout() const { return metrics_ && width_ >= 10 && !runs_.empty(); }
    // Lays out line records from .. end - 1 again; (-1, -1) lays out all.
    void relayout(int from, int end);
    // True when the line records are the layout of the current text at the
    // current width; writers that follow the lines check it first.
    bool LayoutCurrent() const { return layoutCurrent_; }
    // X of a line's first character in a text area from left to right.
    int LineOrigin(int line, int left, int right) const;
    // Pixels the indents of a run take on a line of the current width
    // (0 when they would leave less than a fifth of it).
    int IndentWidth(const qirRTFStyle& run) const;

    // Editing state; the editor glyph reads and sets these directly.
    int cursor = 0;
    int anchor = 0;          // selection anchor
    int selectionEnd = 0;
    int selecting = 0;       // 1 while marking or dragging extends the selection
    int dragging = 0;        // 1 while a mouse drag holds the pointer
    qirRTFStyle insertStyle; // start always 0
    int firstVisible = 0;
    int visibleCount = 0;

private:
    int ParagraphStart(int pos) const;
    // Builds one line from p, not beyond end; answers the next start.
    int BuildLine(int p, int end, qirRTFLine& line) const;
    // Lays out from line index first (starting at position p) until the
    // new lines meet an old line at or after syncFrom (lines from tail on
    // are the old ones, already shifted) or the text ends.
    void RelayoutFrom(int first, int p, size_t tail, int syncFrom);
    void FullLayout();
    void DropTrailingRuns();

    std::string text_;
    std::vector<qirRTFStyle> runs_;
    std::vector<qirRTFAlign> marks_;
    std::vector<qirRTFLine> lines_;
    const qirRTFMetrics* metrics_ = nullptr;
    int width_ = 0;
    bool layoutCurrent_ = true;   // an empty document has its (empty) layout
};

#endif

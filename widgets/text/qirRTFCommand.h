// The viewer's formatting commands: the keyword table, the command element
// and the stack of open commands that the layout pass keeps.
#ifndef QIR_RTF_COMMAND_H
#define QIR_RTF_COMMAND_H

#include "qirList.h"
#include "qirRTFElement.h"
#include "qirString.h"

#include <vector>

// Command codes.  A paired command's closing code is its opening code + 1.
enum {
    qirRTFNoCommand = 0,
    qirRTFOn = 1,
    qirRTFOff = 2,
    qirRTFNewLine = 3,
    qirRTFParam = 4,
    qirRTFComment = 6,
    qirRTFBigger = 8,
    qirRTFSmaller = 10,
    qirRTFBiggest = 12,
    qirRTFTinier = 14,
    qirRTFBoldCode = 16,
    qirRTFItalicCode = 18,
    qirRTFFixedCode = 20,
    qirRTFUnderlineCode = 22,
    qirRTFCenter = 24,
    qirRTFFlushLeft = 26,
    qirRTFFlushRight = 28,
    qirRTFFlushBoth = 30,
    qirRTFNofill = 32,
    qirRTFColorCode = 34,
    qirRTFIndent = 36,
    qirRTFIndentRight = 38,
    qirRTFExcerpt = 40,
    qirRTFHRef = 42,
    qirRTFUnknownCommand = 44
};

class qirRTFCommand : public qirRTFElement {
public:
    qirRTFCommand() : qirRTFElement(40) {}
    explicit qirRTFCommand(int c) : qirRTFElement(40), code(c) {}
    qirRTFCommand(const qirRTFCommand& other) : qirRTFElement(40), code(other.code) {}

    int type() const override { return qirRTFCommandType; }

    // The code of a lower-case keyword ("bold", "/bold", "ignore-me"):
    // exact comparison, 44 for anything not in the table.
    static int CodeOf(qirString keyword);
    static int CodeOf(const char* keyword, int length);
    // The display name of a code ("Bold", "/Bold"); "UnknownCommand" for
    // codes above 43 and codes not in the table.
    static void NameOf(int code, qirString& name);
    // 1 for the commands that close nothing and are never closed.
    static int IsUnpaired(int code);

    void SetCode(int c) { code = c; }
    void CopyCode(const qirRTFCommand& other) { code = other.code; }

    int code = qirRTFNoCommand;
};

// The open commands of a layout pass; the top is the last node.
class qirRTFCommandStack : public qirList {
public:
    qirRTFCommandStack() {}
    ~qirRTFCommandStack() override { Clear(); }

    void Push(int code);
    // 0, or -11 (nothing changed) when the top holds another code or the
    // stack is empty.  Never looks below the top.
    int Pop(int code);
    // 0 when empty.
    int TopCode() const;
    // The innermost open alignment (center, flushleft, flushright,
    // flushboth, nofill); 0 when none is open.
    int Alignment() const;
    // +1 for each open "bigger" (and stray "/smaller"), -1 for each open
    // "smaller" (and stray "/bigger").
    int SizeLevel() const;
    static int IsAlignment(int code);
    void Clear();

private:
    // Kept with every push and pop, so that a page of deeply nested
    // commands never walks the stack per character or per line.
    int sizeLevel_ = 0;
    std::vector<int> alignments_;   // open alignment codes, innermost last
};

#endif

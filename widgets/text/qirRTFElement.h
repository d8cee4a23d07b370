// The elements of a page in the enriched-text viewer: one per character,
// one per formatting command, plus the line marks and fillers that the
// layout pass puts in.  The engine is the list that holds them, in page
// order.  The viewer is its own component: the editor keeps its document
// in qirRTFDocument and shares nothing of this.
#ifndef QIR_RTF_ELEMENT_H
#define QIR_RTF_ELEMENT_H

#include "qirObject.h"

// Entries of the window layer's font and colour tables; opaque here.
class qirRTFFont;
class qirRTFColor;
class qirHelpReferenceNode;

// What an element is (the answer of type()).
enum {
    qirRTFBaseType = -1,    // a plain element, never in a page
    qirRTFTextType = 0,     // a character shown in the text
    qirRTFCommandType = 1,  // a formatting command
    qirRTFMarkType = 2,     // the start of a laid-out line after the first
    qirRTFParamType = 3,    // a character of a parameter or comment
    qirRTFSpaceType = 4     // a filler the layout pass made
};

class qirRTFElement : public qirObject {
public:
    explicit qirRTFElement(int classId = 0) : qirObject(classId) {}
    virtual int type() const { return qirRTFBaseType; }

    // Page order, numbered by the last layout (0 before any).
    int order = 0;
};

// A character: shown text (mode 0) or a parameter character (mode 3).
class qirRTFGlyphElement : public qirRTFElement {
public:
    qirRTFGlyphElement() : qirRTFElement(41), mode(qirRTFParamType) {}
    explicit qirRTFGlyphElement(int c) : qirRTFElement(41), ch(c & 0xff) {}
    qirRTFGlyphElement(const qirRTFGlyphElement& other);

    int type() const override { return mode; }
    virtual int IsLink() const { return 0; }
    // The tokenizer's switch for characters inside a parameter or comment.
    void ResetMode() { mode = qirRTFParamType; }
    void SetTextMode() { mode = qirRTFTextType; }

    int ch = 0;                       // the byte, 0..255
    int mode = qirRTFTextType;
    float width = 0;                  // advance in points, from the layout
    const qirRTFFont* font = nullptr; // set by the style pass
    const qirRTFColor* color = nullptr;
    unsigned char shown = 0;          // takes room on its line and may be drawn
    unsigned char highlight = 0;      // inside the selection
    unsigned char underline = 0;
};

// A character between "href" and "/href": following it follows its target.
class qirRTFLinkElement : public qirRTFGlyphElement {
public:
    explicit qirRTFLinkElement(int c, qirHelpReferenceNode* node = nullptr)
        : qirRTFGlyphElement(c), target(node) {}
    // A link character is text wherever it stands.
    int type() const override { return qirRTFTextType; }
    int IsLink() const override { return 1; }
    void SetTarget(qirHelpReferenceNode* node) { target = node; }

    qirHelpReferenceNode* target;   // owned by the view's reference list
};

// Room that the layout pass put in for an indent, an alignment or
// justification.
class qirRTFSpaceElement : public qirRTFElement {
public:
    explicit qirRTFSpaceElement(float w) : qirRTFElement(43), width(w), shown(w > 0) {}
    int type() const override { return qirRTFSpaceType; }

    float width;
    unsigned char shown;
    unsigned char highlight = 0;
};

class qirRTFMarkElement : public qirRTFElement {
public:
    qirRTFMarkElement() : qirRTFElement(42) {}
    int type() const override { return qirRTFMarkType; }
};

#endif

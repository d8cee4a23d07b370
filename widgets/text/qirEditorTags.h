// The tags of the editor's text/enriched dialect and their codes.  An
// opening tag's code raises a style or indent, the code 100 higher lowers
// it; the alignment codes are also the mark codes "B" to "E".
#ifndef QIR_EDITOR_TAGS_H
#define QIR_EDITOR_TAGS_H

enum {
    qirTagUnknown = 12,   // also "no command" in the key map
    qirTagBold = 60,
    qirTagItalic = 61,
    qirTagFixed = 62,
    qirTagSmaller = 63,
    qirTagBigger = 64,
    qirTagUnderline = 65,
    qirTagCenter = 66,      // 'B'
    qirTagFlushLeft = 67,   // 'C'
    qirTagFlushRight = 68,  // 'D'
    qirTagFlushBoth = 69,   // 'E'
    qirTagNoFill = 70,
    qirTagIndent = 71,
    qirTagIndentRight = 72,
    qirTagExcerpt = 73,
    qirTagParam = 74,
    qirTagColor = 75,
    qirTagClose = 100,      // added to an opening code
    qirTagNewLine = 216     // a line break in the reader's code list
};

struct qirEditorTag {
    int code;
    const char* tag;
};

// The 16 rows, in the order names are matched.
extern const qirEditorTag qirEditorTagTable[16];

// Bytes of a tag name that count when matching; the rest is skipped.
const int qirTagNameKept = 69;
// Room TagText needs: "</indentright>" and the NUL.
const int qirTagTextSize = 16;

// The code of a tag name ("bold", "/bold"), ignoring case; 12 for null or
// an unknown name.
int TagCode(const char* name);
// Writes "<tag>" or "</tag>" for code into buf (qirTagTextSize bytes):
// 0, or 1 for a code in neither column (buf untouched).
int TagText(int code, char* buf);

#endif

#include "qirEditorTags.h"

#include <cstdio>
#include <strings.h>

const qirEditorTag qirEditorTagTable[16] = {
    {qirTagBold, "bold"},           {qirTagItalic, "italic"},
    {qirTagFixed, "fixed"},         {qirTagSmaller, "smaller"},
    {qirTagBigger, "bigger"},       {qirTagUnderline, "underline"},
    {qirTagCenter, "center"},       {qirTagFlushLeft, "flushleft"},
    {qirTagFlushRight, "flushright"}, {qirTagFlushBoth, "flushboth"},
    {qirTagNoFill, "nofill"},       {qirTagIndent, "indent"},
    {qirTagIndentRight, "indentright"}, {qirTagExcerpt, "excerpt"},
    {qirTagParam, "param"},         {qirTagColor, "x-color"},
};

int TagCode(const char* name) {
    if (!name)
        return qirTagUnknown;
    bool closing = name[0] == '/';
    const char* bare = closing ? name + 1 : name;
    for (const qirEditorTag& row : qirEditorTagTable)
        if (strcasecmp(bare, row.tag) == 0)
            return closing ? row.code + qirTagClose : row.code;
    return qirTagUnknown;
}

int TagText(int code, char* buf) {
    for (const qirEditorTag& row : qirEditorTagTable) {
        if (code == row.code) {
            snprintf(buf, qirTagTextSize, "<%s>", row.tag);
            return 0;
        }
        if (code == row.code + qirTagClose) {
            snprintf(buf, qirTagTextSize, "</%s>", row.tag);
            return 0;
        }
    }
    return 1;
}

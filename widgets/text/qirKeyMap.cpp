#include "qirKeyMap.h"

#include "qirCharacters.h"

#include <strings.h>

#include <cctype>

#include "qirConfiguration.h"
#include "qirEditorTags.h"

const qirEditorCommand qirEditorCommandTable[42] = {
    {"Up", qirCmdUp},
    {"Down", qirCmdDown},
    {"Left", qirCmdLeft},
    {"Right", qirCmdRight},
    {"PageUp", qirCmdPageUp},
    {"PageDown", qirCmdPageDown},
    {"Home", qirCmdHome},
    {"End", qirCmdEnd},
    {"StartOfText", qirCmdStartOfText},
    {"EndOfText", qirCmdEndOfText},
    {"PreviousWord", qirCmdPreviousWord},
    {"NextWord", qirCmdNextWord},
    {"DeleteCurrentChar", qirCmdDeleteCurrentChar},
    {"DeletePreviousChar", qirCmdDeletePreviousChar},
    {"DeletePreviousWord", qirCmdDeletePreviousWord},
    {"DeleteNextWord", qirCmdDeleteNextWord},
    {"NewLine", qirCmdNewLine},
    {"Space", qirCmdSpace},
    {"Bold", qirTagBold},
    {"Italic", qirTagItalic},
    {"Fixed", qirTagFixed},
    {"Underline", qirTagUnderline},
    {"IncreaseSize", qirTagBigger},
    {"DecreaseSize", qirTagBigger + qirTagClose},
    {"Center", qirTagCenter},
    {"FlushLeft", qirTagFlushLeft},
    {"FlushRight", qirTagFlushRight},
    {"IncreaseIndent", qirTagIndent},
    {"DecreaseIndent", qirTagIndent + qirTagClose},
    {"IncreaseIndentRight", qirTagIndentRight},
    {"DecreaseIndentRight", qirTagIndentRight + qirTagClose},
    {"SelectColor", qirTagColor},
    {"Search", qirCmdSearch},
    {"RepeatSearchForward", qirCmdRepeatSearchForward},
    {"RepeatSearchBackward", qirCmdRepeatSearchBackward},
    {"RepeatLastSearch", qirCmdRepeatLastSearch},
    {"DeleteBlock", qirCmdDeleteBlock},
    {"DeleteToEOL", qirCmdDeleteToEOL},
    {"PasteBuffer", qirCmdPasteBuffer},
    {"StartMarking", qirCmdStartMarking},
    {"CutToBuffer", qirCmdCutToBuffer},
    {"CopyToBuffer", qirCmdCopyToBuffer},
};

int qirCommandCode(const char* name) {
    if (!name)
        return -1;
    for (const qirEditorCommand& c : qirEditorCommandTable)
        if (strcasecmp(c.name, name) == 0)
            return c.code;
    return -1;
}

namespace {

// What Shift makes of the unshifted keys of a United States layout.
unsigned char Shifted(unsigned char c) {
    static const char from[] = "`1234567890-=\\";
    static const char to[] = "~!@#$%^&*()_+|";
    for (int i = 0; from[i]; ++i)
        if (from[i] == static_cast<char>(c))
            return static_cast<unsigned char>(to[i]);
    return c;
}

}  // namespace

std::string qirKeyName(const char* symbol, const qirKeyModifiers& mods) {
    if (!symbol || !*symbol)
        return std::string();
    std::string name;
    if (mods.control)
        name += "Ctrl+";
    if (mods.alt)
        name += "Alt+";
    if (mods.shift)
        name += "Shift+";
    if (symbol[1] == '\0' && !mods.control && !mods.alt) {
        unsigned char c = static_cast<unsigned char>(symbol[0]);
        bool shifted = mods.shift;
        if (mods.capsLock && isalpha(c))
            shifted = !shifted;
        if (shifted) {
            if (islower(c))
                c = static_cast<unsigned char>(toupper(c));
            else if (isupper(c))
                c = static_cast<unsigned char>(tolower(c));
            else
                c = Shifted(c);
        }
        return std::string(1, static_cast<char>(c));
    }
    return name + symbol;
}

void qirKeyMap::Clear() {
    names_.clear();
    codes_.clear();
    chars_.clear();
}

void qirKeyMap::Load(const qirConfiguration* node) {
    Clear();
    if (!node)
        return;
    for (qirConfiguration* k = node->FirstChild(); k; k = qirConfiguration::NextChild(k)) {
        qirString key = k->Name(), value = k->Value(0);
        if (key.IsEmpty() || value.IsEmpty())
            continue;
        int code = qirCommandCode(value.Text());
        names_.push_back(key.Text());
        codes_.push_back(static_cast<unsigned char>(code >= 0 ? code : qirCmdInsert));
        // The character the value starts with, in the Latin-1 the editor
        // holds: the configuration may spell it in UTF-8.
        chars_.push_back(code >= 0 ? 0 : static_cast<unsigned char>(qirCharacters::Latin1(value.Text())[0]));
    }
}

int qirKeyMap::Lookup(const std::string& keyName, const std::vector<qirKeyboard>& keyboards,
                      unsigned char* c) const {
    *c = 0;
    if (keyName.empty())
        return qirCmdInsert;
    if (keyName.size() == 1) {
        *c = static_cast<unsigned char>(keyName[0]);
        return qirCmdInsert;
    }
    for (size_t i = 0; i < names_.size(); ++i)
        if (strcasecmp(names_[i].c_str(), keyName.c_str()) == 0) {
            if (codes_[i] == qirCmdInsert)
                *c = chars_[i];
            return codes_[i];
        }
    for (size_t i = 0; i < keyboards.size(); ++i) {
        const std::string& hot = keyboards[i].HotKey();
        if (!hot.empty() && strcasecmp(hot.c_str(), keyName.c_str()) == 0) {
            *c = static_cast<unsigned char>(i);
            return qirCmdKeyboard;
        }
    }
    return qirCmdInsert;
}

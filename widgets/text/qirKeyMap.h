// The editor's command table, key names and key map.  Display-free: the
// display layer hands over the X name of a key symbol and the modifiers.
#ifndef QIR_KEY_MAP_H
#define QIR_KEY_MAP_H

#include <string>
#include <vector>

#include "qirKeyboard.h"

class qirConfiguration;

// Command codes that have no name in the table.
enum {
    qirCmdInsert = 12,          // insert a character, or nothing
    qirCmdUp = 200,
    qirCmdDown = 201,
    qirCmdLeft = 202,
    qirCmdRight = 203,
    qirCmdPageUp = 204,
    qirCmdPageDown = 205,
    qirCmdHome = 206,
    qirCmdEnd = 207,
    qirCmdEndOfText = 208,
    qirCmdStartOfText = 209,
    qirCmdPreviousWord = 210,
    qirCmdNextWord = 211,
    qirCmdDeleteCurrentChar = 212,
    qirCmdDeletePreviousChar = 213,
    qirCmdDeletePreviousWord = 214,
    qirCmdDeleteNextWord = 215,
    qirCmdNewLine = 216,
    qirCmdSpace = 217,
    qirCmdSearch = 218,
    qirCmdRepeatSearchForward = 219,
    qirCmdRepeatSearchBackward = 220,
    qirCmdRepeatLastSearch = 221,
    qirCmdKeyboard = 222,       // switch keyboards (hot key, keyboard menu)
    qirCmdDeleteBlock = 223,
    qirCmdDeleteToEOL = 224,
    qirCmdPasteBuffer = 225,
    qirCmdStartMarking = 226,
    qirCmdCutToBuffer = 227,
    qirCmdCopyToBuffer = 228
};

struct qirEditorCommand {
    const char* name;
    int code;
};

extern const qirEditorCommand qirEditorCommandTable[42];

// The code of a command name, ignoring case; -1 when it names none.
int qirCommandCode(const char* name);

// Modifiers of a key event, as far as key names go.
struct qirKeyModifiers {
    bool control = false;
    bool alt = false;
    bool shift = false;
    bool capsLock = false;
};

// The editor's name of a key: "Ctrl+", "Alt+", "Shift+" prefixes and the X
// name of the unshifted key symbol; a one-character symbol without Control
// or Alt becomes the character it types on a United States layout.  Empty
// for an empty or null symbol name.
std::string qirKeyName(const char* symbol, const qirKeyModifiers& mods);

class qirKeyMap {
public:
    // Rebuilds the bindings from a KeyMap node (null: no bindings): each
    // child names a key; a value that is a command name binds that command,
    // any other value types its first character (one byte, or a UTF-8
    // sequence read as its Latin-1 byte; "?" beyond Latin-1).
    void Load(const qirConfiguration* node);
    void Clear();
    int Count() const { return static_cast<int>(names_.size()); }

    // The command of a key name: a one-character name types itself (code
    // 12, *c the character); then the first binding of the name ignoring
    // case; then the first keyboard whose hot key it is (222, *c its index);
    // otherwise 12 with *c = 0.
    int Lookup(const std::string& keyName, const std::vector<qirKeyboard>& keyboards,
               unsigned char* c) const;

private:
    std::vector<std::string> names_;
    std::vector<unsigned char> codes_;
    std::vector<unsigned char> chars_;
};

#endif

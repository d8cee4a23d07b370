// An alternative keyboard of the editor: a byte translation for typed
// characters, chosen by its hot key.  Display-free.
#ifndef QIR_KEYBOARD_H
#define QIR_KEYBOARD_H

#include <string>

class qirConfiguration;

class qirKeyboard {
public:
    // The identity map, no name, no hot key.
    qirKeyboard();
    // A keyboard node of the configuration: its name, its "HotKey", and
    // "MainKeys" sent position by position to "AlternativeKeys" (the
    // shorter of the two decides how many; later pairs override earlier).
    explicit qirKeyboard(const qirConfiguration* node);

    unsigned char Translate(unsigned char c) const { return map_[c]; }
    const std::string& Name() const { return name_; }
    void SetName(const char* name) { name_ = name ? name : ""; }
    // Empty when the keyboard has none; an empty hot key never matches.
    const std::string& HotKey() const { return hotKey_; }

private:
    std::string hotKey_;
    std::string name_;
    unsigned char map_[256];
};

#endif

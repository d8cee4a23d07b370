// Key names, the command table, key maps and keyboards, without a display.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "qirCharacters.h"
#include "qirConfiguration.h"
#include "qirEditorTags.h"
#include "qirKeyMap.h"
#include "qirKeyboard.h"

namespace {

// A configuration tree parsed from text.
std::unique_ptr<qirConfiguration> Parse(const std::string& text) {
    std::unique_ptr<qirConfiguration> root(new qirConfiguration());
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    EXPECT_NE(f, nullptr);
    EXPECT_EQ(root->Load(f, nullptr), 0);
    fclose(f);
    return root;
}

qirKeyModifiers Mods(bool ctrl, bool alt, bool shift, bool caps) {
    qirKeyModifiers m;
    m.control = ctrl;
    m.alt = alt;
    m.shift = shift;
    m.capsLock = caps;
    return m;
}

TEST(qirKeyName, NamesKeysAsTheUsLayoutTypesThem) {
    struct Case {
        const char* symbol;
        bool ctrl, alt, shift, caps;
        const char* name;
    } cases[] = {
        {"a", false, false, false, false, "a"},
        {"a", false, false, true, false, "A"},
        {"a", false, false, true, true, "a"},     // Caps Lock flips Shift for letters
        {"a", false, false, false, true, "A"},
        {"1", false, false, true, false, "!"},
        {"1", false, false, true, true, "!"},     // but not for digits
        {"grave", false, false, true, false, "Shift+grave"},
        {"backslash", false, false, false, false, "backslash"},
        {"x", true, false, false, false, "Ctrl+x"},
        {"x", true, true, true, false, "Ctrl+Alt+Shift+x"},
        {"Left", true, false, false, false, "Ctrl+Left"},
        {"F3", false, false, true, false, "Shift+F3"},
        {"", false, false, false, false, ""},
        {nullptr, true, false, false, false, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qirKeyName(c.symbol, Mods(c.ctrl, c.alt, c.shift, c.caps)), c.name)
            << (c.symbol ? c.symbol : "(null)");
    // The whole shift table.
    const std::string from = "`1234567890-=\\", to = "~!@#$%^&*()_+|";
    for (size_t i = 0; i < from.size(); ++i)
        EXPECT_EQ(qirKeyName(from.substr(i, 1).c_str(), Mods(false, false, true, false)),
                  to.substr(i, 1));
}

TEST(qirEditorCommandTable, NamesMatchIgnoringCase) {
    EXPECT_EQ(qirCommandCode("Up"), qirCmdUp);
    EXPECT_EQ(qirCommandCode("endoftext"), qirCmdEndOfText);
    EXPECT_EQ(qirCommandCode("DECREASESIZE"), qirTagBigger + qirTagClose);
    EXPECT_EQ(qirCommandCode("DecreaseIndentRight"), 172);
    EXPECT_EQ(qirCommandCode("SelectColor"), qirTagColor);
    EXPECT_EQ(qirCommandCode("CopyToBuffer"), 228);
    EXPECT_EQ(qirCommandCode("Nonsense"), -1);
    EXPECT_EQ(qirCommandCode(nullptr), -1);
    // Every row has its own code, none of them the two unnamed ones.
    for (size_t i = 0; i < 42; ++i) {
        EXPECT_NE(qirEditorCommandTable[i].code, qirCmdInsert);
        EXPECT_NE(qirEditorCommandTable[i].code, qirCmdKeyboard);
        for (size_t j = 0; j < i; ++j)
            EXPECT_NE(qirEditorCommandTable[i].code, qirEditorCommandTable[j].code) << i;
    }
}

TEST(qirKeyMap, BindsCommandsAndCharactersAndHotKeys) {
    auto root = Parse(
        "KeyMap {\n"
        "  Ctrl+X CutToBuffer\n"
        "  comma ,\n"
        "  Shift+apostrophe \"\\\"\"\n"
        "  Left left\n"           // command names ignore case too
        "  F5 \"\"\n"             // empty values bind nothing
        "  eacute \"\xc3\xa9\"\n"     // a character in UTF-8 types its Latin-1 byte
        "  adiaeresis \"\xe4\"\n"     // or in Latin-1 itself
        "  EuroSign \"\xe2\x82\xac\"\n" // beyond Latin-1
        "}\n"
        "Keyboards {\n"
        "  Greek { HotKey Ctrl+g\n MainKeys abcd\n AlternativeKeys xy\n }\n"
        "  Other { MainKeys a\n AlternativeKeys b\n }\n"
        "}\n");
    qirKeyMap map;
    map.Load(root->Child("KeyMap"));
    std::vector<qirKeyboard> boards(1);
    for (qirConfiguration* k = root->Child("Keyboards")->FirstChild(); k;
         k = qirConfiguration::NextChild(k))
        boards.emplace_back(k);

    struct Case {
        const char* key;
        int code;
        int c;
    } cases[] = {
        {"ctrl+x", qirCmdCutToBuffer, 0},   // names compare ignoring case
        {"comma", qirCmdInsert, ','},
        {"Shift+apostrophe", qirCmdInsert, '"'},
        {"Left", qirCmdLeft, 0},
        {"F5", qirCmdInsert, 0},
        {"period", qirCmdInsert, 0},         // unbound: does nothing
        {"q", qirCmdInsert, 'q'},            // one character types itself
        {"Ctrl+G", qirCmdKeyboard, 1},
        {"eacute", qirCmdInsert, 0xE9},
        {"adiaeresis", qirCmdInsert, 0xE4},
        {"EuroSign", qirCmdInsert, '?'},
        {"", qirCmdInsert, 0},
    };
    for (const Case& c : cases) {
        unsigned char ch = 99;
        EXPECT_EQ(map.Lookup(c.key, boards, &ch), c.code) << c.key;
        EXPECT_EQ(ch, c.c) << c.key;
    }

    // MainKeys longer than AlternativeKeys: only the pairs both have.
    EXPECT_EQ(boards[1].Name(), "Greek");
    EXPECT_EQ(boards[1].Translate('a'), 'x');
    EXPECT_EQ(boards[1].Translate('b'), 'y');
    EXPECT_EQ(boards[1].Translate('c'), 'c');
    EXPECT_EQ(boards[1].Translate(255), 255);
    EXPECT_EQ(boards[2].HotKey(), "");   // no hot key: never matches
    EXPECT_EQ(boards[0].Translate('a'), 'a');
}

TEST(qirKeyboard, TranslatesByte255LikeAnyOther) {
    std::string cfg = "K {\n MainKeys \"a\xff\"\n AlternativeKeys \"\xfe" "b\"\n}\n";
    auto root = Parse(cfg);
    qirKeyboard k(root->Child("K"));
    EXPECT_EQ(k.Translate(0xff), 'b');
    EXPECT_EQ(k.Translate('a'), 0xfe);
}

// The shipped configuration binds every key in its map to a command or one
// character, and the keys a user cannot do without.
TEST(qirKeyMap, ShippedKeyMapIsComplete) {
    qirConfiguration root;
    ASSERT_EQ(root.Load(QIR_SOURCE_DIR "/share/QIR.cfg"), 0);
    qirConfiguration* node = root.Find("RTFEditor.KeyMap");
    ASSERT_NE(node, nullptr);
    qirKeyMap map;
    map.Load(node);
    std::vector<qirKeyboard> none;
    int bindings = 0;
    for (qirConfiguration* k = node->FirstChild(); k; k = qirConfiguration::NextChild(k)) {
        std::string value = k->Value(0).Text() ? k->Value(0).Text() : "";
        EXPECT_TRUE(qirCommandCode(value.c_str()) >= 0 || qirCharacters::Decode(value).size() == 1)
            << k->Name().Text() << " -> " << value;
        ++bindings;
    }
    EXPECT_EQ(map.Count(), bindings);
    struct Case {
        const char* key;
        int code;
        int c;
    } cases[] = {
        {"Up", qirCmdUp, 0},       {"Down", qirCmdDown, 0},
        {"Left", qirCmdLeft, 0},   {"Right", qirCmdRight, 0},
        {"Prior", qirCmdPageUp, 0}, {"Next", qirCmdPageDown, 0},
        {"Return", qirCmdNewLine, 0}, {"space", qirCmdSpace, 0},
        {"BackSpace", qirCmdDeletePreviousChar, 0}, {"Delete", qirCmdDeleteCurrentChar, 0},
        {"Ctrl+c", qirCmdCopyToBuffer, 0}, {"Ctrl+v", qirCmdPasteBuffer, 0},
        {"comma", qirCmdInsert, ','}, {"Shift+comma", qirCmdInsert, '<'},
        {"semicolon", qirCmdInsert, ';'}, {"Shift+apostrophe", qirCmdInsert, '"'},
        {"backslash", qirCmdInsert, '\\'}, {"Shift+bracketleft", qirCmdInsert, '{'},
        {"period", qirCmdInsert, '.'},
        // Latin-1 keyboards: letters with Shift for their capitals.
        {"eacute", qirCmdInsert, 0xE9}, {"Shift+eacute", qirCmdInsert, 0xC9},
        {"adiaeresis", qirCmdInsert, 0xE4}, {"Shift+udiaeresis", qirCmdInsert, 0xDC},
        {"ssharp", qirCmdInsert, 0xDF}, {"question", qirCmdInsert, '?'},
        {"at", qirCmdInsert, '@'}, {"plus", qirCmdInsert, '+'}, {"asterisk", qirCmdInsert, '*'},
        {"less", qirCmdInsert, '<'}, {"KP_1", qirCmdInsert, '1'}, {"KP_End", qirCmdEnd, 0},
        {"Eacute", qirCmdInsert, 0xE9}, {"sterling", qirCmdInsert, 0xA3},
        {"section", qirCmdInsert, 0xA7}, {"ydiaeresis", qirCmdInsert, 0xFF},
        {"nobreakspace", qirCmdInsert, 0xA0},
    };
    // Every character a Latin-1 keyboard types on a key named by a word.
    for (unsigned long sym = 0xA0; sym <= 0xFF; sym++) {
        if (sym >= 0xC0 && sym <= 0xDE && sym != 0xD7)
            continue; // capitals: their lower-case names match them
        bool found = false;
        for (qirConfiguration* k = node->FirstChild(); k && !found; k = qirConfiguration::NextChild(k))
            found = qirCharacters::Decode(k->Value(0).Text() ? k->Value(0).Text() : "") ==
                    std::vector<unsigned long>{sym};
        EXPECT_TRUE(found) << std::hex << sym;
    }
    for (const Case& c : cases) {
        unsigned char ch = 0;
        EXPECT_EQ(map.Lookup(c.key, none, &ch), c.code) << c.key;
        EXPECT_EQ(ch, c.c) << c.key;
    }
    // Every command of the table has a key.
    for (const qirEditorCommand& cmd : qirEditorCommandTable) {
        bool bound = false;
        for (qirConfiguration* k = node->FirstChild(); k && !bound; k = qirConfiguration::NextChild(k))
            bound = k->Value(0).EqualsIgnoreCase(cmd.name);
        EXPECT_TRUE(bound) << cmd.name;
    }
}

}  // namespace

// The numbered texts of the user interface for one language.
#ifndef QIR_LANGUAGE_GROUP_H
#define QIR_LANGUAGE_GROUP_H

#include <cstdio>

#include "qirObject.h"
#include "qirString.h"

class qirLanguageEntry : public qirObject {
public:
    qirLanguageEntry() : qirObject(25) {}
    qirLanguageEntry(int number, const char* text) : qirObject(25), number_(number), text_(text) {}

    // Reads the next entry of a catalogue file: 0, or -1 at the end of the
    // file. Lines that do not begin with a number are skipped; the text is a
    // quoted string with C escapes (a backslash before the line break joins
    // the next line), a single word, or "" when the line ends at the number.
    int Read(FILE* stream);

    int Number() const { return number_; }
    const char* Text() const { return text_.Text() ? text_.Text() : ""; }

private:
    int number_ = 0;
    qirString text_;
};

class qirLanguageGroup : public qirObject {
public:
    qirLanguageGroup() : qirObject(24), language_("") {}
    ~qirLanguageGroup() override;

    // Selects a language from qirConfig (empty or null: the value of
    // LanguageGroup.DefaultLanguage) and loads the file named by value 0 of
    // LanguageGroup.Languages.<language>; a relative file name is taken
    // below the data prefix. 0; -6 no LanguageGroup.Languages or no language
    // name; -7 no file entry or the file cannot be opened.
    int Select(const char* language);
    // Replaces the entries by those of the file: 0, or -7 (entries cleared).
    // When a number occurs twice, the later entry wins.
    int Load(const char* path);
    // The text of the number, "-????-" when absent; valid until Clear.
    const char* Text(int number) const;
    // Deletes every entry; the language becomes "".
    void Clear();

    qirString Language() const { return language_; }
    int Count() const { return count_; }

private:
    qirLanguageGroup(const qirLanguageGroup&) = delete;
    qirLanguageGroup& operator=(const qirLanguageGroup&) = delete;
    void ClearEntries();

    qirString language_;
    qirLanguageEntry** entries_ = nullptr; // owned array of owned entries, by number
    int count_ = 0;
};

// The catalogue of the selected language.
extern qirLanguageGroup qirLanguage;

#endif

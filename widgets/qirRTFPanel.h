// The enriched-text editor as the windows use it: the editor glyph with
// its scroll bar and, in edit mode, a tool bar above the text; file and
// string operations on its text.  Also the input handler that hands the
// editor its events and the action that binds a menu entry or a tool-bar
// button to an editor command.
#ifndef QIR_RTF_PANEL_H
#define QIR_RTF_PANEL_H

#include "qirRTFEditor.h"

#include <InterViews/action.h>
#include <InterViews/box.h>
#include <InterViews/input.h>

class Menu;
class qirConfiguration;

// Pointer and key events to qirRTFEditor::handle.
class qirRTFInput : public InputHandler {
public:
    explicit qirRTFInput(qirRTFEditor* editor);
    void move(const Event&) override;
    void press(const Event&) override;
    void drag(const Event&) override;
    void release(const Event&) override;
    void keystroke(const Event&) override;
    qirRTFEditor* Editor() const { return editor_; }

private:
    qirRTFEditor* editor_;   // the body: held through the glyph
};

// Runs one editor command, then brings the cursor into view and redraws.
class qirRTFToolAction : public Action {
public:
    qirRTFToolAction(qirRTFEditor* editor, int code, int value = 0)
        : editor_(editor), code_(code), value_(value) {}
    void execute() override;
    int Code() const { return code_; }
    int Value() const { return value_; }

private:
    qirRTFEditor* editor_;   // not owned: the editor owns the menus and buttons
    int code_;
    int value_;
};

class qirRTFPanel : public Box {
public:
    // tree, fontSection, mode and menu as for qirRTFEditor.
    qirRTFPanel(const qirConfiguration* tree, const char* fontSection, int mode, Menu* menu);
    ~qirRTFPanel() override;

    // Results are 0 for success and 1 for failure; enriched 1 means
    // text/enriched, anything else plain text.
    // The text "\n" in the plain style, laid out and redrawn.
    virtual void clear();
    // Replaces the text by the file's and remembers its name; 1 (nothing
    // changed) when it cannot be opened.
    virtual int load(const char* path, int enriched);
    // The file's text at the cursor; the cursor goes behind it.
    virtual int insert_file(const char* path, int enriched);
    // Writes the text to path (null: the loaded file's name): replaced
    // through a temporary file, or appended to when append is 1.  1 without
    // a path or when any open, write, close or rename fails.
    virtual int save(const char* path, int enriched, int append);
    // The text just before the final newline; the cursor stays.
    virtual int append_text(const char* text, int enriched);
    virtual int append_file(const char* path, int enriched);
    // Cursor to the end or the start of the text, in view; nothing before
    // the panel was first laid out.
    virtual void go_end();
    virtual void go_start();
    // Where keys reach the editor: hosts give it the keyboard focus.
    virtual qirRTFInput* input_handler();

    qirRTFEditor* Editor() const { return editor_; }

private:
    qirRTFPanel(const qirRTFPanel&) = delete;
    qirRTFPanel& operator=(const qirRTFPanel&) = delete;
    // Inserts the source's text at pos (before the final newline when
    // pos is -1); answers the length inserted.
    int InsertFrom(qirRTFSource& src, int enriched, int pos);
    // The editor's reader: the document holds one Latin-1 byte a
    // character, so UTF-8 (mail, a quoted original, a file written by an
    // external editor) is read as the Latin-1 its fonts draw and a letter
    // saves (qirCharacters); Latin-1 stays as it is.
    void Read(qirRTFSource& src, int enriched, std::string& text, std::vector<qirRTFStyle>& runs,
              std::vector<qirRTFAlign>& marks);
    void Jump(int code);

    qirRTFEditor* editor_;   // referenced
    qirRTFInput* input_;     // held by the panel's first component
};

#endif

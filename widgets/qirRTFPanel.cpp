#include "qirRTFPanel.h"

#include "qirCharacters.h"

#include <IV-look/kit.h>
#include <InterViews/align.h>
#include <InterViews/layout.h>
#include <InterViews/superpose.h>
#include <InterViews/tile.h>

#include <algorithm>
#include <cstdio>

#undef Text
#undef Font

// ------------------------------------------------------------ qirRTFInput

qirRTFInput::qirRTFInput(qirRTFEditor* editor)
    : InputHandler(editor, WidgetKit::instance()->style()), editor_(editor) {}

void qirRTFInput::move(const Event& e) {
    editor_->handle(e);
    InputHandler::move(e);
}

void qirRTFInput::press(const Event& e) {
    editor_->handle(e);
    InputHandler::press(e);
}

void qirRTFInput::drag(const Event& e) {
    editor_->handle(e);
    InputHandler::drag(e);
}

void qirRTFInput::release(const Event& e) {
    editor_->handle(e);
    InputHandler::release(e);
}

void qirRTFInput::keystroke(const Event& e) { editor_->handle(e); }

// ------------------------------------------------------- qirRTFToolAction

void qirRTFToolAction::execute() {
    if (!editor_)
        return;
    editor_->execute(code_, value_);
    editor_->ScrollToCursor();
    editor_->redraw();
}

// ------------------------------------------------------------ qirRTFPanel

qirRTFPanel::qirRTFPanel(const qirConfiguration* tree, const char* fontSection, int mode,
                         Menu* menu)
    : Box(new Superpose(new Tile(Dimension_Y), new Align(Dimension_X)), 10) {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    editor_ = new qirRTFEditor(tree, fontSection, mode, menu);
    Resource::ref(editor_);
    input_ = new qirRTFInput(editor_);
    append(lk->hbox(input_, kit->vscroll_bar(editor_)));
    if (mode == qirRTFEditMode && editor_->toolbar)
        // A window narrower than the tool bar cuts its right end off, not
        // the scroll bar beside the text.
        append(lk->h_variable_span(kit->outset_frame(lk->vmargin(editor_->toolbar, 2)), fil, fil));
}

qirRTFPanel::~qirRTFPanel() { Resource::unref(editor_); }

void qirRTFPanel::clear() {
    editor_->ResetText();
    editor_->reallocate();
    editor_->redraw();
}

int qirRTFPanel::load(const char* path, int enriched) {
    FILE* f = path ? fopen(path, "rb") : nullptr;
    if (!f)
        return 1;
    editor_->clear();
    editor_->SetFileName(path);
    qirRTFSource src(f);
    std::string text;
    std::vector<qirRTFStyle> runs;
    std::vector<qirRTFAlign> marks;
    Read(src, enriched, text, runs, marks);
    fclose(f);
    editor_->SetFresh();
    if (text.empty())
        text = "\n";
    if (runs.empty()) {
        qirRTFStyle style = editor_->InsertionStyle();
        style.start = 0;
        runs.push_back(style);
    }
    qirRTFDocument& doc = editor_->Document();
    doc.insert(0, text, runs, marks);
    editor_->reallocate();
    editor_->notify_all();
    editor_->scroll_to(Dimension_Y, static_cast<Coord>(doc.Lines().size() + 10));
    editor_->notify_all();
    return 0;
}

void qirRTFPanel::Read(qirRTFSource& src, int enriched, std::string& text, std::vector<qirRTFStyle>& runs,
                       std::vector<qirRTFAlign>& marks) {
    std::string bytes;
    src.ReadAll(bytes);
    if (!qirCharacters::IsAscii(bytes.data(), bytes.size()))
        bytes = qirCharacters::Latin1(bytes);
    qirRTFSource latin1;
    latin1.TakeText(std::move(bytes));
    if (enriched == 1)
        editor_->read_enriched(latin1, text, runs, marks);
    else
        editor_->read_plain(latin1, text, runs, marks);
}

int qirRTFPanel::InsertFrom(qirRTFSource& src, int enriched, int pos) {
    std::string text;
    std::vector<qirRTFStyle> runs;
    std::vector<qirRTFAlign> marks;
    Read(src, enriched, text, runs, marks);
    if (text.empty())
        return 0;
    if (runs.empty()) {
        qirRTFStyle style = editor_->InsertionStyle();
        style.start = 0;
        runs.push_back(style);
    }
    qirRTFDocument& doc = editor_->Document();
    if (pos < 0)
        pos = std::max(0, doc.Length() - 1);   // before the final newline
    doc.insert(pos, text, runs, marks);
    return static_cast<int>(text.size());
}

int qirRTFPanel::insert_file(const char* path, int enriched) {
    FILE* f = path ? fopen(path, "rb") : nullptr;
    if (!f)
        return 1;
    qirRTFSource src(f);
    int at = editor_->Cursor();
    int n = InsertFrom(src, enriched, at);
    fclose(f);
    editor_->SetCursor(at + n);
    editor_->ScrollToCursor();
    editor_->redraw();
    return 0;
}

int qirRTFPanel::save(const char* path, int enriched, int append) {
    if (!path)
        path = editor_->FileName();
    if (!path)
        return 1;
    // The editor's writers, through a temporary file and a rename, so a
    // failed write leaves the old file as it was.
    qirRTFReaderWriter rw(*editor_);
    return rw.Save(editor_->Document(), path, enriched == 1, append == 1);
}

int qirRTFPanel::append_text(const char* text, int enriched) {
    if (!text)
        return 1;
    qirRTFSource src(text);
    int cursor = editor_->Cursor();
    InsertFrom(src, enriched, -1);
    editor_->SetCursor(cursor);
    editor_->redraw();
    return 0;
}

int qirRTFPanel::append_file(const char* path, int enriched) {
    FILE* f = path ? fopen(path, "rb") : nullptr;
    if (!f)
        return 1;
    qirRTFSource src(f);
    int cursor = editor_->Cursor();
    InsertFrom(src, enriched, -1);
    fclose(f);
    editor_->SetCursor(cursor);
    editor_->redraw();
    return 0;
}

void qirRTFPanel::Jump(int code) {
    if (!editor_->GetCanvas())
        return;
    editor_->execute(code, 0);
    editor_->ScrollToCursor();
    editor_->redraw();
}

void qirRTFPanel::go_end() { Jump(qirCmdEndOfText); }

void qirRTFPanel::go_start() { Jump(qirCmdStartOfText); }

qirRTFInput* qirRTFPanel::input_handler() { return input_; }

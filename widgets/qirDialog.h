// Base of every modal dialog: posted centred over a parent window, or at a
// point of the screen, with the window manager's close request as cancel.
#ifndef QIR_DIALOG_H
#define QIR_DIALOG_H

#include "qirObject.h"
#include "qirString.h"

#include <InterViews/dialog.h>
#include <InterViews/handler.h>

class Display;
class Style;
class TransientWindow;
class Window;

class qirDialog : public Dialog, public qirObject {
public:
    // body is usually an empty vertical box that the subclass fills.  The
    // dialog's own "qirWindow" style is made under parent with the title.
    qirDialog(Glyph* body, Style* parent, qirString title);
    ~qirDialog() override;

    // Runs the dialog modally in a fresh window centred on parent and
    // answers whether it was accepted.  Dialog::post_for lands here.
    bool post_for_aligned(Window* parent, float xalign, float yalign) override;
    // The same at a point of the screen (Dialog::post_at lands here); the
    // window manager's close request cancels it here as well.
    bool post_at_aligned(Coord x, Coord y, float xalign, float yalign) override;

    // The modal loop: handles input until dismiss, or answers false when
    // the session ends meanwhile (InterViews' own loop spins forever then).
    bool run() override;
    void dismiss(bool accept) override;

    // The window while the dialog is posted, null otherwise; actions run
    // during the post use it as the parent of nested dialogs.
    TransientWindow* window() const { return window_; }
    const qirString& title() const { return title_; }

    // Makes a "qirWindow" style under parent whose "name" is title.
    static Style* MakeStyle(Style* parent, qirString title);

    // Dialogs posted now (nested posts count each).
    static int PostedCount() { return posted_; }

    // Test hook: called with the dialog each time its window has been
    // mapped, before the modal loop starts.  Null in the program.
    static void (*MappedHook)(qirDialog*);

private:
    bool post_window(TransientWindow* w, Window* parent);

    static int posted_;

    TransientWindow* window_ = nullptr;
    bool done_ = false;
    bool accepted_ = false;
    Style* style_;       // referenced; the style of every post's window
    qirString title_;
};

// Dismisses a posted dialog with false, as its cancel button would.
class qirDialogCloseHandler : public Handler {
public:
    explicit qirDialogCloseHandler(Dialog* dialog) : dialog_(dialog) {}
    bool event(Event&) override;

private:
    Dialog* dialog_;  // not owned; lives longer than the post
};

// Places the window of a dialog: its point (x, y) aligned as InterViews
// aligns it, then moved in wholly on the screen (qir_fit_on_screen).
void qir_place_dialog(Window* window, Glyph* dialog, Display* display, Coord x, Coord y, float xalign,
                      float yalign);
// Posts a dialog of the toolkit's own (a file chooser) as a qirDialog is
// posted: centred on parent and wholly on the screen, the window
// manager's close request as cancel.  Answers whether it was accepted.
bool qir_post_dialog_for(Dialog* dialog, Window* parent);

#endif

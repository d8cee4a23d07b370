// The help window: the system's logo at both ends of a row, the index,
// back, forward and close buttons, and the page in an enriched-text viewer
// with its scroll bar.  The help manager (qirHelp) makes it, loads pages
// into it and deletes it; its buttons act on the manager.
#ifndef QIR_HELP_WINDOW_H
#define QIR_HELP_WINDOW_H

#include "qirHelpReference.h"
#include "qirTopWindow.h"

class Button;
class Raster;
class TopLevelWindow;
class qirRTFView;

class qirHelpWindow : public qirTopWindow {
public:
    // Builds the window; it is shown by Map.  When the viewer cannot be
    // configured (reported by it) nothing is built and Usable answers 0.
    qirHelpWindow();
    ~qirHelpWindow() override;

    int Usable() const { return window_ != nullptr; }
    void Map();
    void Unmap();
    void Raise();
    // Reads the page of the reference from the help directory: 1, or 0
    // with the page shown unchanged when the file cannot be opened.
    int Load(const qirHelpReference& reference);

    // The window manager's close box leaves the window open.
    int close_request() override { return 0; }

    const qirHelpReference& Page() const { return page_; }
    qirRTFView* View() const { return view_; }
    TopLevelWindow* TheWindow() const { return window_; }
    Button* IndexButton() const { return index_; }
    Button* BackButton() const { return back_; }
    Button* ForwardButton() const { return forward_; }
    Button* CloseButton() const { return close_; }
    int LogoShown() const { return logo_ != nullptr; }

private:
    qirHelpWindow(const qirHelpWindow&) = delete;
    qirHelpWindow& operator=(const qirHelpWindow&) = delete;

    qirHelpReference page_;
    qirString helpPath_;                // with a "/" after it
    qirRTFView* view_ = nullptr;        // referenced
    Raster* logo_ = nullptr;            // referenced, null when unreadable
    TopLevelWindow* window_ = nullptr;
    Button* index_ = nullptr;
    Button* back_ = nullptr;
    Button* forward_ = nullptr;
    Button* close_ = nullptr;
};

#endif

// The one help manager (qirHelp): every window's help entries give it a
// reference to their page; it keeps the help window, the pages visited
// (back, forward, index) and follows the links of the pages shown.
#ifndef QIR_HELP_MANAGER_H
#define QIR_HELP_MANAGER_H

#include "qirHelpReference.h"
#include "qirLauncher.h"
#include "qirList.h"
#include "qirPath.h"

#include <InterViews/enter-scope.h>

class Button;
class Window;
class qirHelpWindow;

class qirHelpManager : public qirLauncher, public qirHelpHost {
public:
    // Built before main: nothing of the configuration is read here (it is
    // not loaded yet), only when the help window is made.
    qirHelpManager();
    // Lets go of a help window still open without drawing: the session
    // that could unmap it is gone by then.
    ~qirHelpManager() override;

    // The launcher: open shows the help index; close deletes the help
    // window (after the current event: its own button may be the asker).
    void open() override { OpenIndex(); }
    void close() override { Close(); }
    int is_open() override { return IsOpen(); }
    void OpenIndex();
    void Close();
    int IsOpen() const { return window_ != nullptr; }

    // Shows the page of the reference, making the help window first when
    // there is none; a first page that cannot be shown leaves no window.
    void Show(const qirHelpReference& reference) { ShowFor(nullptr, reference); }
    void ShowFor(Window* asker, const qirHelpReference& reference);
    // Shows the page: 1, or 0 after a level-1 report (an outside reference
    // without a program, a page that cannot be read), the page shown
    // staying as it was.  Pages visited are kept for back and forward.
    int Go(const qirHelpReference& reference);
    void Back();
    void Forward();
    void Index();

    // The help window's buttons, stored while it is built; null after.
    void SetButtons(Button* back, Button* forward);
    qirHelpWindow* HelpWindow() const { return window_; }
    // The help directory with a "/" after it.
    const qirString& HelpPath() const { return helpPath_; }
    // The pages visited, the first being the index, and the one shown.
    const qirList& History() const { return history_; }
    const qirHelpReference* Current() const { return current_; }

    // qirHelpHost: the link cursor of the help window; outside programs
    // through qirChildProcess (the reference as "$1"); mail references
    // through ComposeTo; pages after the current event.
    void LinkCursor(int overLink) override;
    int Run(const qirString& command, const qirString& argument) override;
    int Compose(const qirString& address) override;
    void ShowLater(const qirHelpReference& reference) override;

    // Opens a compose window addressed to address: 0, or -1 when none
    // opened.  Set by the application object; while null, mail references
    // report that composing is not available.
    static int (*ComposeTo)(const qirString& address);

private:
    qirHelpManager(const qirHelpManager&) = delete;
    qirHelpManager& operator=(const qirHelpManager&) = delete;
    void ReadConfiguration();
    void UpdateButtons();
    // The help window shows the history entry.
    void Visit(qirHelpReference* entry);

    qirString helpPath_;
    qirList history_;                       // of qirHelpReference, owned
    qirHelpReference* current_ = nullptr;   // in history_
    qirHelpWindow* window_ = nullptr;
    Button* back_ = nullptr;                // the window's
    Button* forward_ = nullptr;
};

// The help manager of the process.
extern qirHelpManager qirHelp;

#endif

// The application object of the window process (qirApp): the session and
// its kits, the resources every window shares, and the main window with
// the folder list under the main menu.
//
// Parts that belong to windows not built yet are seams, marked where they
// attach: the compose docks, the address book window and the filter book.
#ifndef QIR_MAIN_WINDOW_H
#define QIR_MAIN_WINDOW_H

#include "qirAddrBook.h"
#include "qirFilterList.h"
#include "qirLayout.h"
#include "qirLock.h"
#include "qirMailcap.h"
#include "qirPath.h"
#include "qirStartup.h"
#include "qirString.h"

#include "qirTopWindow.h"

class ApplicationWindow;
class Bitmap;
class Color;
class DialogKit;
class LayoutKit;
class Patch;
class Session;
class Stencil;
class Style;
class TelltaleState;
class WidgetKit;
class Window;
class MsgEditDock;
class qirAbout;
class qirFilter;
class qirFolder;
class qirMsg;
class qirFolderListView;
class qirProgressIndicator;

class qirMainWindow : public qirTopWindow {
public:
    qirMainWindow();
    // Closes and deletes the log, deletes the progress indicator and what
    // the shut-down left.
    ~qirMainWindow() override;

    // The command line: 0 to go on, -6 after a version or usage request.
    int ParseOptions(int argc, char** argv);
    // The session start: makes the session from the command line (or takes
    // the one that exists), Start, maps the main window and runs the event
    // loop; answers its result.  1 when no session can be made.
    int run(int argc, char** argv);
    // Everything of the session start after the session exists, up to the
    // main window ready to map: 0, or 1 when a kit is missing.
    int Start();

    // The quit action: Shutdown, then the event loop ends.
    void Quit();
    // Saves and closes everything that holds the user's data: the log
    // toggles, the address book, every folder (flushed), the filters, the
    // layout.  Runs once; main calls it again after the event loop in case
    // the loop ended by another road than Quit.
    void Shutdown();
    int IsShutDown() const { return shutDown_; }

    // The window manager's close box of the main window does nothing.
    int close_request() override { return 1; }

    // Folder actions, on the selected folder of the folder list.
    void OpenFolder();
    void NewFolder();
    void FolderProperties();
    void DeleteFolder();
    // The folder directory for a new folder: "Folder_" n ".QIR" with the
    // smallest n whose path does not exist.
    static qirPath NewFolderPath(const qirString& folderDir);

    // File dialogs (parent null: the main window).  Both answer 0.
    // Save: *file is the suggested name on entry and the chosen path, or ""
    // when cancelled; *append is 1 when the user chose to append.
    int SaveFileDialog(qirString* file, int* append, Window* parent);
    // Open: *file becomes the chosen existing path, "" when cancelled, and
    // stays as it was when the user accepts a name that does not exist.
    int OpenFileDialog(qirString* file, Window* parent);

    // Help on the folder list and the help index.
    void HelpFolders();
    void HelpIndex();
    void About();

    // The new-mail check into Incoming, from POP3 (`UsePOP` "Yes") or the
    // local mailbox (qirNewMail.cpp).  The POP3 password is asked once and
    // kept for the session; a failed fetch forgets it.
    void CheckNewMail();
    // The session's POP3 password: null not yet taken from the
    // configuration, "" to be asked.
    static qirString& RememberedPassword();
    // Asks for the POP3 password: 1 and *password when accepted, 0 when
    // cancelled.  Tests put a scripted answer here.
    static int (*AskPassword)(qirString* password);
    static int PostPasswordDialog(qirString* password);

    // Sending and filters (qirSendAndFilter.cpp).
    // Hands the message to a fresh agent of the configured kind: the send
    // result (0 delivered), -9 no message, -6 no agent configured.
    int SendMessage(qirMsg* message);
    // Runs the active matching filters over the message (copy, reply, forward,
    // mark deleted, in that order); *mode 0 asks per filter, 1 applies all,
    // -1 nothing more, and carries the user's answer over a whole run.  A
    // message is marked deleted only when the filter's copy (if any)
    // succeeded.  Parent null: the main window.  Answers 0.
    int ApplyFilters(qirMsg* message, int* mode, Window* parent);
    // The "Proceed filter" question: the button (0 apply, 1 apply to all,
    // 2 skip, 3 skip all), -1 closed without a button.  Tests put a
    // scripted answer here.
    static int (*AskFilter)(const qirList& lines, Window* parent);
    static int PostFilterChoice(const qirList& lines, Window* parent);
    // The folder of the folder list whose directory's base name is name.
    qirFolder* FolderNamed(const qirString& name) const;
    // "<dir>/Message" inside a fresh private directory (mkdtemp) under
    // TMPDIR or /tmp, "" when none can be made; RemoveScratchMessage removes
    // the message, that directory and deletes the object.
    static qirPath ScratchMessagePath(const char* stem);
    static void RemoveScratchMessage(qirMsg* message);
    // Seams of the compose window, the address book window and the filter
    // book: the request is logged.
    void Compose();
    // A fresh draft and its compose controller, kept in the compose list
    // (the application owns it); null when none can be made.  Seam: until
    // the compose window exists this reports at level 2 and answers null.
    MsgEditDock* NewComposeDock();
    // A new letter answering original (quote 1: its text quoted), or a
    // resent copy of it, opened in a compose window.  A reply or resend
    // that cannot be made is reported at level 1 and its draft dropped:
    // no window opens on a half-made letter.  over: the asking window.
    void ComposeReply(const qirMsg* original, int quote, Window* over);
    void ComposeForward(const qirMsg* original, Window* over);

    // Shows the help page target titled title in the help window (the
    // help manager, qirHelp).
    void ShowHelp(const char* title, const char* target);
    // Prints message as one print job (host: the asking window's face
    // picture patch): 0, or nonzero when nothing was printed (reported).
    int PrintMessage(qirMsg* message, Patch* host);
    void AddressBook();
    int OpenAddressBook();
    void OpenFilterBook();

    // Shared resources.
    Session* TheSession() const { return session_; }
    Style* AppStyle() const { return style_; }
    WidgetKit* Kit() const { return kit_; }
    LayoutKit* Layout() const { return layoutKit_; }
    DialogKit* Dialogs() const { return dialogKit_; }
    ApplicationWindow* MainWindow() const { return window_; }
    qirFolderListView* FolderList() const { return folders_; }
    qirLayout* LayoutStore() const { return layout_; }
    qirAddrBook* Book() const { return book_; }
    qirFilterList* Filters() { return &filters_; }
    qirMailcap* Mailcap() { return &mailcap_; }
    Stencil* DefaultFace() const { return faceStencil_; }
    Color* FaceColor() const { return faceColor_; }
    const unsigned char* DefaultFaceBits() const { return faceRaster_; }
    qirAbout* AboutDock() const { return about_; }
    const qirDirectory& LastDirectory() const { return lastDir_; }
    void SetLastDirectory(const qirString& dir) { lastDir_ = dir; }
    qirProgressIndicator* Progress() const { return progress_; }
    // The seven check items of the log menu (six levels, then "all").
    TelltaleState* LogToggle(int i) const { return i >= 0 && i < 7 ? logToggles_[i] : nullptr; }
    void SetLogToggle(int i, TelltaleState* s) { if (i >= 0 && i < 7) logToggles_[i] = s; }

    // Posts a file chooser titled title on dir with suggested in its name
    // field and accept labelled acceptLabel: 1 accepted (*chosen the name,
    // perhaps empty), 0 cancelled.  Tests put a scripted chooser here.
    static int (*ChooseFile)(const char* title, const qirString& dir, const qirString& suggested,
                             const char* acceptLabel, Window* parent, qirString* chosen);
    static int PostFileChooser(const char* title, const qirString& dir, const qirString& suggested,
                               const char* acceptLabel, Window* parent, qirString* chosen);

    // After the display is lost: the log writes to its file only, then
    // SaveBeforeEnd.
    void SaveForLostDisplay();
    // Before the process ends by another road than the quit (lost display,
    // critical error): logs why at level 1, flushes the folders and saves
    // the address book, the log switches and the layout.  Runs once.
    void SaveBeforeEnd(const char* why);

private:
    qirMainWindow(const qirMainWindow&) = delete;
    qirMainWindow& operator=(const qirMainWindow&) = delete;
    Window* Parent(Window* given) const;
    void Warn(const qirString& text);
    void LoadDefaultFace();
    int FilterCopy(qirMsg* message, const qirFilter* filter);
    void FilterReply(qirMsg* message, const qirFilter* filter);
    void FilterForward(qirMsg* message, const qirFilter* filter);

    Style* style_ = nullptr;
    WidgetKit* kit_ = nullptr;
    LayoutKit* layoutKit_ = nullptr;
    DialogKit* dialogKit_ = nullptr;
    Session* session_ = nullptr;
    unsigned char faceRaster_[1312];
    Stencil* faceStencil_ = nullptr;  // referenced
    Color* faceColor_ = nullptr;      // referenced
    ApplicationWindow* window_ = nullptr;
    qirAddrBook* book_ = nullptr;
    void* bookWindow_ = nullptr;      // seam: the address book window
    qirLayout* layout_ = nullptr;
    void* filterBook_ = nullptr;      // seam: the filter book dock
    qirFilterList filters_;
    qirDirectory lastDir_;
    qirFolderListView* folders_ = nullptr;
    qirMailcap mailcap_;
    qirList composeDocks_;            // seam: the compose docks
    qirAbout* about_ = nullptr;
    Patch* folderPatch_ = nullptr;
    qirProgressIndicator* progress_ = nullptr;
    TelltaleState* logToggles_[7] = {};
    qirOptions options_;
    int argCount_ = 0;
    char** args_ = nullptr;           // owned words, freed with qirFreeArguments
    char** argv_ = nullptr;           // the session's copy of the vector
    int shutDown_ = 0;
    int ownSession_ = 0;
};

// The application object, while the window process runs.
extern qirMainWindow* qirApp;

// The window process from the application object's making to the end of
// its session: only one per folder directory (a second one says so on
// standard error and answers 1), then ParseOptions, run and, whatever
// ended the loop, Shutdown.  The caller deletes qirApp afterwards.
int qir_window_session(int argc, char** argv);

#endif

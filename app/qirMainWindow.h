// The application object of the window process (qirApp): the session and
// its kits, the resources every window shares, and the main window with
// the folder list under the main menu.
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
class Glyph;
class LayoutKit;
class Patch;
class Session;
class Stencil;
class Style;
class TelltaleState;
class WidgetKit;
class Window;
class FilterBookDock;
class MsgEdit;
class MsgEditDock;
class qirAbout;
class qirAddrBookWindow;
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
    // toggles, the address book, every folder (flushed), the filters, every
    // letter being written (its text and fields into its draft, its
    // external editor ended), the layout.  Runs once; main calls it again after the event loop in case
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
    // result (0 delivered; -24 delivered, but some recipients refused), -9
    // no message, -6 no agent configured.  error, when given, gets the
    // agent's explanation of a failure or of the refusals.
    int SendMessage(qirMsg* message, qirString* error = nullptr);
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
    // "<dir>/Message" inside a fresh private directory (mkdtemp, mode 0700)
    // made in base, or under TMPDIR or /tmp when base is null; "" when none
    // can be made.  RemoveScratchMessage removes the message and that
    // directory (answers the message's removal status) and deletes the
    // object.
    static qirPath ScratchMessagePath(const char* stem, const char* base = nullptr);
    static int RemoveScratchMessage(qirMsg* message);
    // Where a new letter's draft goes: a scratch message under "Drafts" in
    // the folder directory, which survives a reboot and which no other user
    // can write into; "" when it cannot be made.
    static qirPath DraftPath();
    // Removes a draft from disk with its private directory (the object
    // stays): the message's removal status.
    static int RemoveDraft(qirMsg* message);

    // A new letter from the menu: NewComposeDock, then its window.
    void Compose();
    // A fresh draft (its text part of the configured `Body.*` type) and its
    // compose controller, kept in the compose list (the application owns
    // it); null when no draft directory can be made (reported at level 1).
    MsgEditDock* NewComposeDock();
    // A controller whose window closed itself (sent or discarded) leaves the
    // list; it is deleted after the current event.
    void ComposeClosed(MsgEditDock* dock);
    const qirList& ComposeDocks() const { return composeDocks_; }
    // The compose window the address book window's To, Cc and Bcc buttons
    // fill (the newest one opened, or the one whose address book button was
    // pressed), or null; the open address book window is told.
    void AttachComposer(MsgEdit* window);
    // No compose window is filled; with a window given, only when that one
    // is the attached one.
    void DetachComposer(MsgEdit* window = nullptr);
    MsgEdit* Composer() const { return composer_; }
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
    // The address book window: loads the book when there is none yet
    // (its failure is reported and answered), then makes the window on
    // first use or shows it again; 0.
    int OpenAddressBook();
    // The menu's road: OpenAddressBook, then no compose window attached.
    void AddressBook();
    // Unmaps the window now and deletes it after the current event (its
    // own button closes it).
    void CloseAddressBook();
    // The address book window, when open, shows the book's entries again.
    void RefreshAddressBook();
    // Makes the filter book's controller once and opens the book.
    void OpenFilterBook();

    // The style windows and dialogs are made under: the application's, or
    // the session's while there is no application object.
    static Style* WindowStyle();

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
    // A sender's picture: the 48x48 bits painted in the face colour (in
    // fallback, or the kit's foreground, while there is no application),
    // the default face for null bits, or an empty place of that size.
    static Glyph* FacePicture(const unsigned char* bits, const Color* fallback = nullptr);
    const unsigned char* DefaultFaceBits() const { return faceRaster_; }
    qirAbout* AboutDock() const { return about_; }
    FilterBookDock* FilterBook() const { return filterBook_; }
    qirAddrBookWindow* AddressBookWindow() const { return bookWindow_; }
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
    // critical error), whether or not the quit's own saves are under way:
    // logs why at level 1, writes the letters being written into their
    // drafts, saves the log switches and the layout, the address book,
    // flushes every folder (CloseForEnd) and saves the layout again with
    // their sort settings.  From its start no dialog is posted (Ending).
    // Its steps run once: entered again from inside one of them (the
    // display went meanwhile), it goes on with the next one.
    void SaveBeforeEnd(const char* why);
    // 1 from the start of SaveBeforeEnd: nothing may ask the user.
    int Ending() const { return ending_; }

private:
    qirMainWindow(const qirMainWindow&) = delete;
    qirMainWindow& operator=(const qirMainWindow&) = delete;
    Window* Parent(Window* given) const;
    void Warn(const qirString& text);
    void LoadDefaultFace();
    // Runs step n of SaveBeforeEnd: 0 when there is none.
    int EndStep(int n);
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
    qirAddrBookWindow* bookWindow_ = nullptr;
    qirLayout* layout_ = nullptr;
    FilterBookDock* filterBook_ = nullptr;
    qirFilterList filters_;
    qirDirectory lastDir_;
    qirFolderListView* folders_ = nullptr;
    qirMailcap mailcap_;
    qirList composeDocks_;            // owned MsgEditDock objects
    MsgEdit* composer_ = nullptr;     // not owned
    qirAbout* about_ = nullptr;
    Patch* folderPatch_ = nullptr;
    qirProgressIndicator* progress_ = nullptr;
    TelltaleState* logToggles_[7] = {};
    qirOptions options_;
    int argCount_ = 0;
    char** args_ = nullptr;           // owned words, freed with qirFreeArguments
    char** argv_ = nullptr;           // the session's copy of the vector
    int shutDown_ = 0;
    int ending_ = 0;
    int endStep_ = 0;                 // the next step of SaveBeforeEnd
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

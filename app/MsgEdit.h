// The compose window: To, Cc, Bcc and Subject fields, the editor panel for
// the text, the attachments, and the actions that send the letter, throw
// it away, run the user's own editor on the text, and insert or save the
// text as a file.  The letter is an ordinary message bound to its draft
// directory, edited in place; the window does not own it.
//
// The text part is the body when the body is a single part, else its first
// part; the other parts are the attachments.
#ifndef QIR_MSG_EDIT_H
#define QIR_MSG_EDIT_H

#include "AttachItem.h"
#include "qirChildProcess.h"
#include "qirContentType.h"
#include "qirList.h"
#include "qirPath.h"
#include "qirString.h"
#include "qirTopWindow.h"

class Action;
class AttachDialog;
class Button;
class Glyph;
class InputHandler;
class Menu;
class Patch;
class TelltaleState;
class TopLevelWindow;
class Window;
class qirFieldEditor;
class qirListBox;
class qirMsg;
class qirMsgComponent;
class qirMsgMultipartComponent;
class qirRTFPanel;

class MsgEdit : public qirTopWindow, public qirChildOwner {
public:
    // Builds and maps the window on the draft (not owned), as a member of
    // leader's window group; close closes it through its controller.
    MsgEdit(qirMsg* message, Window* leader, Action* close);
    // Ends a running external editor (its whole process group); the draft
    // directory stays.
    ~MsgEdit() override;

    // The window manager's close button leaves the window open.
    int close_request() override { return 1; }

    // The address book window's To, Cc and Bcc buttons: the field gets the
    // address, after ", " when it already holds one.
    void AddTo(qirString address);
    void AddCc(qirString address);
    void AddBcc(qirString address);

    // The actions of the buttons and the menu.
    void Send();
    void Discard();
    void RunEditor();
    void ToggleEnriched();
    void InsertFile(int enriched);
    void SaveToFile(int enriched);
    void AddAttachment();
    void EditAttachment();
    void RemoveAttachment();
    void OpenAddressBook();
    void HelpCompose();
    void HelpIndex();

    // Size, text and attachment rows shown again from the draft.
    void Refresh();
    void RefreshKeepingCursor();
    void ShowSize();
    void LoadBody();
    void ShowAttachments();

    // A new text part of the configured type (`Body.Type`, `Body.Subtype`,
    // `Body.Charset`, `Body.Encoding`) over path.
    static qirMsgComponent* MakeBodyPart(const qirPath& path);
    static qirContentType BodyType();

    // Writes the text (unless the external editor is working on it) and
    // the fields into the draft and saves it: 0, or nonzero when something
    // could not be written (reported).  Makes no call to the X server.
    int SaveDraft();
    // Off the screen for good: the address book lets go of it and a
    // running external editor is ended.  The controller's close.
    void Withdraw();
    // Ends the external editor's process group, if it runs; its exit is
    // still reaped, but nothing of this window is told any more.
    void StopEditor();

    // The external editor has ended: the text comes back from its file.
    void ChildEnded(int pid) override;

    // For the controller and tests.
    TopLevelWindow* TheWindow() const { return window_; }
    qirMsg* Message() const { return message_; }
    qirFieldEditor* ToField() const { return to_; }
    qirFieldEditor* CcField() const { return cc_; }
    qirFieldEditor* BccField() const { return bcc_; }
    qirFieldEditor* SubjectField() const { return subject_; }
    qirRTFPanel* Panel() const { return panel_; }
    qirListBox* AttachmentRows() const { return rows_; }
    const AttachList& Attachments() const { return attachments_; }
    int IsEnriched() const { return enriched_; }
    int EditorPid() const { return editorPid_; }
    int EditorRunning() const;
    // The text part, or null when the body has none.
    qirMsgComponent* TextPart() const;
    const qirString& SizeText() const { return sizeText_; }

private:
    MsgEdit(const MsgEdit&) = delete;
    MsgEdit& operator=(const MsgEdit&) = delete;

    Glyph* BuildBody(Glyph* menubar);
    void AddAddress(qirFieldEditor* field, const qirString& address);
    // A refused action while the external editor works on the text: 1.
    int Busy();
    // Saves the panel into the text part's file in the given mode, its
    // subtype set to match: 0, or 1.
    int SaveText(int enriched);
    // The text saved before an attachment changes (enriched, so that it
    // keeps its formatting through the reload): 0, or 1 (reported).
    int SaveTextForAttachments();
    int ParseFields(qirList* to, qirList* cc, qirList* bcc);
    // The body as a multipart body, made one when it is a single part: null
    // when that fails (reported).
    qirMsgMultipartComponent* Multipart();
    // Copies source into the body's directory as a new file named after
    // name (made safe, never a reserved or existing name): the new path, or
    // "" when the copy failed (reported).
    qirPath CopyIn(const qirString& source, const qirString& name, const qirContentType& type);
    // The attachment of the first selected row and its position, or null.
    AttachItem* SelectedAttachment(int* position);
    // Posts the dialog (taking it over): 1 and its choices when accepted.
    int Ask(AttachDialog* dialog, qirContentType* type, qirString* source);
    // The draft on disk after its parts changed ("Error saving!").
    void SaveParts();
    void SelectRow(int position);
    void Report(const qirString& text);
    void ShowCount();
    void SetEnriched(int on);

    TopLevelWindow* window_ = nullptr;
    qirFieldEditor* to_ = nullptr;   // these four referenced, given back at the end
    qirFieldEditor* cc_ = nullptr;
    qirFieldEditor* bcc_ = nullptr;
    qirFieldEditor* subject_ = nullptr;
    qirRTFPanel* panel_ = nullptr;   // referenced; null until the body is first loaded
    qirListBox* rows_ = nullptr;
    Patch* sizePanel_ = nullptr;     // referenced
    Patch* countPanel_ = nullptr;    // referenced
    Action* close_;                  // referenced
    Glyph* menubar_ = nullptr;
    Menu* editorMenu_ = nullptr;     // the 455 pulldown, handed to the panel
    TelltaleState* enrichedEntry_ = nullptr;
    Button* enrichedBox_ = nullptr;
    InputHandler* focus_ = nullptr;
    AttachList attachments_;         // one item per attachment, in row order
    int editorPid_ = 0;
    qirMsg* message_;                // the draft, not owned
    int enriched_ = 0;
    qirString sizeText_;
    int withdrawn_ = 0;
};

// The menu bar of a compose window; *editorMenu gets the pulldown handed to
// the editor panel and *enriched the state of its text-mode check entry.
Glyph* qir_build_compose_menubar(MsgEdit* window, Menu** editorMenu, TelltaleState** enriched);

#endif

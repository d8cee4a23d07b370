// The view window of one message: the information bar (folder, size,
// status, position and the sender's face), the header and the text in
// read-only enriched panels, the listing of the other parts, a numbered
// row per attachment and the tool bar.  The user steps through the folder
// from here, deletes, replies, forwards, saves, exports, copies, moves and
// prints the message (MsgViewActions.cpp; the menu in qirMsgViewMenu.cpp).
#ifndef MSG_VIEW_H
#define MSG_VIEW_H

#include <string>

#include "qirString.h"
#include "qirTopWindow.h"

class Action;
class AttachList;
class Deck;
class Glyph;
class Menu;
class Patch;
class PolyGlyph;
class ScrollBox;
class TopLevelWindow;
class Window;
class MsgViewDock;
class qirMsg;
class qirMsgComponent;
class qirMsgList;
class qirMsgListItem;
class qirRTFPanel;

class MsgView : public qirTopWindow {
public:
    // Marks the message read, builds and maps the window; leader leads its
    // window group, close runs the controller's close (both not owned; the
    // view keeps a reference on close).
    MsgView(qirMsgList* folder, qirMsgListItem* message, MsgViewDock* dock, Window* leader, Action* close);
    // Releases the panels, deletes the attachments, unmaps and deletes the
    // window.
    ~MsgView() override;

    // The window manager's close button has no effect.
    int close_request() override { return 1; }

    // Every panel again from the message: picture, folder, position, size,
    // status, header, text, attachments, deleted mark.  The folder calls
    // this after its order or its directories changed.
    void RefreshAll();
    // The status and the deleted mark from the message's flags (the row
    // calls these after a flag changed).
    void ShowStatus();
    void ShowDeletedMark();

    // Steps to the next (previous) message of the folder whose own view is
    // not open; nothing when there is none.
    void Next();
    void Previous();

    // The actions of the menu and the tool bar (MsgViewActions.cpp).
    void DeleteAndNext();
    void Delete();
    void Undelete();
    void Compose();
    void ReplyDefault();
    void Reply(int quote);
    void ReplyPlain() { Reply(0); }
    void ReplyQuoted() { Reply(1); }
    void Forward();
    void SaveBody();
    void Export();
    void CopyToFolder();
    void MoveToFolder();
    void Print();
    void AddSender();
    void CloseView();
    void Help();
    void ShowHelpIndex();
    // Sets the removed flag and shows it here, in the row and the counter.
    void SetDeleted(int flag);

    // The controller lets go: the view no longer touches the message, the
    // folder or the controller (it is deleted after the current event).
    void Detach();
    void Unmap();

    // For the menu builder: the pulldown the body panel adds its entries to.
    void SetTextMenu(Menu* menu) { textMenu_ = menu; }

    // What the window shows, for tests.
    TopLevelWindow* TheWindow() const { return window_; }
    qirMsgListItem* Message() const { return message_; }
    qirMsgList* Folder() const { return folder_; }
    MsgViewDock* Controller() const { return dock_; }
    int Position() const { return position_; }
    qirRTFPanel* HeaderPanel() const { return header_; }
    qirRTFPanel* BodyPanel() const { return body_; }
    AttachList* Attachments() const { return attachments_; }
    const qirString& PositionText() const { return positionText_; }
    const qirString& StatusText() const { return statusText_; }
    int FaceShown() const { return faceShown_; } // 1 the message's, 0 the default
    int DeletedCard() const { return deletedCard_; }
    // The texts the header and body panels were given last.
    const std::string& HeaderSource() const { return headerSource_; }
    const std::string& ListingSource() const { return listingSource_; }

private:
    MsgView(const MsgView&) = delete;
    MsgView& operator=(const MsgView&) = delete;

    Glyph* BuildBody(Glyph* menubar);
    // widest: the widest text the value may show (null: the value's own
    // width), so that a longer one never runs into the box beside it.
    Glyph* Box(int label, Patch* value, int framed, const char* widest = nullptr);
    void SetValue(Patch* patch, const char* text, int redraw);
    void ShowPicture();
    void ShowFolder();
    void ShowPosition();
    void ShowSize();
    void ShowHeader();
    void ShowBody();
    void ShowAttachments();
    void ShowAttachmentCount();
    void Step(int forward);
    // The next (or previous) message whose view is not open, and how many
    // rows away it is; null when there is none.
    qirMsgListItem* Following(int forward, int* steps) const;
    // Shows next, whose controller this view's becomes.
    void ShowMessage(qirMsgListItem* next);
    int FindPosition() const;
    // The message fully read, whatever a light row held of it.
    void Open(qirMsgListItem* message);
    void ToFolder(int move);
    Window* Over() const;

    TopLevelWindow* window_ = nullptr;
    Patch* picture_ = nullptr;
    Patch* folderValue_ = nullptr;
    Patch* sizeValue_ = nullptr;
    Patch* statusValue_ = nullptr;
    Patch* positionValue_ = nullptr;
    Patch* countValue_ = nullptr;
    Patch* layout_ = nullptr;       // the whole body, redrawn after a refresh
    Deck* deletedMark_ = nullptr;
    Patch* deletedPatch_ = nullptr; // the deck, the face of the tool bar's button
    qirRTFPanel* header_ = nullptr; // referenced
    qirRTFPanel* body_ = nullptr;   // referenced
    ScrollBox* attachBox_ = nullptr;
    AttachList* attachments_ = nullptr;
    int position_ = 0;
    qirMsgList* folder_;
    qirMsgListItem* message_;
    MsgViewDock* dock_;
    Action* close_;                 // referenced
    Menu* textMenu_ = nullptr;
    int built_ = 0;                 // the window exists: refreshes redraw
    qirString positionText_, statusText_;
    int faceShown_ = 0;
    int deletedCard_ = 0;
    std::string headerSource_, listingSource_;
};

#endif

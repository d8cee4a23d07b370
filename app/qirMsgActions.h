// What the message list window and the message view window do alike with
// messages: copy or move them to another folder, export them into a
// mailbox file, add their senders to the address book.
#ifndef QIR_MSG_ACTIONS_H
#define QIR_MSG_ACTIONS_H

#include "qirString.h"

#include <InterViews/enter-scope.h>

class Window;
class qirFolder;
class qirMsg;

class qirMsgActions {
public:
    // The choose-folder dialog over `over`: the chosen folder, or null.
    static qirFolder* ChooseFolder(Window* over);

    // 1 when every message can be read whole (qirMsg::Whole); else the
    // warning box over `over` names the first that cannot, and 0: the
    // action asking does nothing at all.  Every action that reads, copies
    // or sends a message's text asks this first.
    static int ReadWhole(const qirMsg* const* messages, int n, Window* over);

    // Copies (move 0) or moves (move 1) messages of source into target,
    // with one flush of the target for all of them.  A move into source
    // itself is refused with the warning box.  A moved message leaves
    // source at once, its row and its object too (qirFolder::MoveIn): the
    // caller must not use it afterwards; one that could only be copied and
    // stays behind is marked deleted and its row refreshed; a failed move
    // leaves it as it was and is reported.  The open windows of both
    // folders are redrawn.  Answers the number that arrived, or -1.
    // A copy into source itself flushes source: a message of it marked
    // deleted, one of `messages` too, may be gone afterwards.
    // done, when given, gets for each message what qirFolder::MoveIn tells
    // (1 gone from source, 2 copied and kept marked deleted, 0 not moved),
    // or for a copy 1 copied, 0 not.
    static int CopyTo(qirFolder* source, qirMsg* const* messages, int n, qirFolder* target, int move, Window* over,
                      int* done = nullptr);
    // ReadWhole, ChooseFolder, then CopyTo; -1 when refused or cancelled.
    static int ToFolder(qirFolder* source, qirMsg* const* messages, int n, int move, Window* over);

    // ReadWhole, asks for a file with the save dialog over `over`
    // (suggested name given), then ExportTo: the number written, or -1 when
    // refused, cancelled or nothing could be written.
    static int Export(qirMsg* const* messages, int n, const qirString& suggested, Window* over);
    // Writes the messages into the mailbox file (after what it holds with
    // append 1, else replacing it); every failure is reported at level 1
    // and nothing is claimed: the number written, or -1 when the file is
    // left as it was.
    static int ExportTo(const qirString& file, int append, qirMsg* const* messages, int n);

    // Adds an entry for each message's sender to the application's address
    // book and saves it, then the address book window shows them: the
    // number added, or -1 when there is no address book to change (said at
    // level 1; nothing changes), a message cannot be read whole (ReadWhole
    // over `over`; nothing changes) or the book could not be saved.
    static int AddSenders(qirMsg* const* messages, int n, Window* over = nullptr);
};

#endif

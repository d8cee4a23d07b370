// Help references: a page of the help directory or an outside resource,
// and the list of the references of one shown page.  Following a reference
// decides here what is to happen; the window layer (qirHelpHost, the help
// manager) shows the page, runs the program or opens the compose window.
#ifndef QIR_HELP_REFERENCE_H
#define QIR_HELP_REFERENCE_H

#include "qirList.h"
#include "qirPath.h"
#include "qirString.h"

class qirHelpReference : public qirObject {
public:
    qirHelpReference() : qirObject(0) {}
    qirHelpReference(qirString title, qirPath target);
    qirHelpReference(const qirHelpReference& other);
    qirHelpReference& operator=(const qirHelpReference& other);

    // Targets decide; titles do not count.
    int operator==(const qirHelpReference& other) const { return target == other.target; }
    int operator!=(const qirHelpReference& other) const { return !(*this == other); }

    // An outside reference holds a ":": a scheme, the ":" and the rest.
    int IsOutside() const { return !target.IsEmpty() && target.IndexOf(':') >= 0; }
    // The text before the first ":" and the text after the last one (so
    // "http://host:8080/a" has the rest "8080/a"); both "" for a page.
    qirString Scheme() const;
    qirString Rest() const;

    qirPath target;    // "index.rtf", or "http://example.org/"
    qirString title;   // what the reference is called
};

// What following a reference asks of the window layer.
class qirHelpHost {
public:
    // The pointer is over a link (1) or elsewhere (0).
    virtual void LinkCursor(int overLink) = 0;
    // Starts command, a shell command whose "$1" is argument: text of a
    // page never becomes shell text.  0, or -1 when it did not start.
    virtual int Run(const qirString& command, const qirString& argument) = 0;
    // A compose window addressed to address: 0, or -1 when none opened.
    virtual int Compose(const qirString& address) = 0;
    // Shows the page of reference once the current event has been handled
    // (the pressed link belongs to the page that goes); an outside reference
    // arriving here has no program and is reported.
    virtual void ShowLater(const qirHelpReference& reference) = 0;

protected:
    ~qirHelpHost() = default;
};

class qirHelpReferenceList;

// One reference of a page; the link characters of the page point to it.
class qirHelpReferenceNode : public qirObject {
public:
    qirHelpReferenceNode(const qirHelpReference& reference, qirHelpReferenceList* owner)
        : qirObject(0), reference_(reference), owner_(owner) {}

    void Follow();
    void Busy();
    void Unbusy();
    const qirHelpReference& Reference() const { return reference_; }
    qirHelpReferenceList* Owner() const { return owner_; }

private:
    qirHelpReference reference_;
    qirHelpReferenceList* owner_;
};

// The references of the page a view shows, in page order; owns its nodes.
class qirHelpReferenceList : public qirList {
public:
    // The help path is read from the configuration now.  host may be null
    // (nothing is shown or run) and be set later.
    explicit qirHelpReferenceList(qirHelpHost* host = nullptr);
    ~qirHelpReferenceList() override { Remove(nullptr); }

    // Appends a node holding a copy of the reference and answers it.
    qirHelpReferenceNode* Add(qirHelpReference reference);
    // The link cursor while the pointer is over a link, the normal cursor
    // after; each changes the cursor only when it is not already so.
    void Busy();
    void Unbusy();
    // Shows a page, runs the program configured for an outside reference
    // under "HelpReferences" (or the built-in one), or opens a compose
    // window for a "mailto" address.
    void Follow(qirHelpReference reference);

    void SetHost(qirHelpHost* host) { host_ = host; }
    qirHelpHost* TheHost() const { return host_; }
    const qirPath& HelpPath() const { return helpPath_; }
    int CursorShown() const { return cursorShown_; }

    // The directory of the help pages: `HelpPath`, a relative one taken
    // under the installed data (as the catalogues are), "." when empty.
    static qirPath ConfiguredHelpPath();
    // What an outside program is given for an outside reference.  With
    // two colons or more only the rest after the last one counts: alone
    // for a configured program.  Otherwise the reference itself when it
    // names a host ("scheme://..."), "http://" or "ftp://" before the rest
    // for the short form ("http:host/path"), an absolute file as it is,
    // and any other file beside the help pages.
    static qirString Argument(const qirHelpReference& reference, const qirPath& helpPath, int configured);
    // The shell command of a configured format (filled by qirFillFormat,
    // never by printf): its one conversion becomes "$1", quoted.  -1 when
    // the format holds no conversion or more than one: the reference would
    // be lost or misplaced, so nothing is run.
    static int FillFormat(const qirString& format, qirString* command);

private:
    qirHelpReferenceList(const qirHelpReferenceList&) = delete;
    qirHelpReferenceList& operator=(const qirHelpReferenceList&) = delete;

    qirPath helpPath_;
    qirHelpHost* host_;
    int cursorShown_ = 0;
};

#endif

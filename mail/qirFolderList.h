// The folders of the user's folder directory: every subdirectory whose
// extension is exactly "QIR".  The folder list window derives from it and
// overrides MakeFolder so that each folder is also one of its rows.
#ifndef QIR_FOLDER_LIST_H
#define QIR_FOLDER_LIST_H

#include "qirFolder.h"
#include "qirList.h"
#include "qirPath.h"

class qirFolderList : public qirList {
public:
    // Nothing is scanned yet.
    explicit qirFolderList(qirDirectory directory);
    // Deletes the folders.
    ~qirFolderList() override;

    // A new folder object for the folder directory path; Scan appends it.
    virtual qirFolder* MakeFolder(const qirDirectory& path);

    // Appends a folder for every "*.QIR" subdirectory, in the directory
    // stream's order: 0.  A folder directory that cannot be opened is a
    // critical error (reported at level 0, which ends the process).
    int Scan();
    // The first folder whose incoming (outgoing) flag is set, or null.
    qirFolder* Incoming() const;
    qirFolder* Outgoing() const;

    qirFolder* First() const { return static_cast<qirFolder*>(qirList::First()); }
    static qirFolder* Next(const qirFolder* f) { return static_cast<qirFolder*>(qirList::Next(f)); }
    const qirDirectory& Directory() const { return directory_; }

private:
    qirFolderList(const qirFolderList&) = delete;
    qirFolderList& operator=(const qirFolderList&) = delete;
    qirDirectory directory_;
};

#endif

// The user's filters, in the order of the filter file "<FolderDir>/filter",
// which is read and written under the lock file "<file>.LOCK".
//
// File (configuration syntax): QIRFilterFileVersion "2.0", then for each
// filter n the keys FilterEntries.<n>.Name, .IsActive, .Condition.Fields,
// .Condition.OtherFieldName, .Condition.RegExp, .Condition.IsCase,
// .Actions.Action, .Actions.ActionCopyPath, .Actions.ActionReplyPath and
// .Actions.ActionForwardAddress.  A file without a version is the old form:
// FilterEntries lines of a key and eight values (name, condition field
// index, pattern, action index, case flag, other field name, the action's
// argument, active flag).
#ifndef QIR_FILTER_LIST_H
#define QIR_FILTER_LIST_H

#include "qirFilter.h"
#include "qirList.h"
#include "qirLock.h"
#include "qirString.h"

class qirConfiguration;

class qirFilterList : public qirList {
public:
    // Empty, no lock, no path.
    qirFilterList();
    // Unlocks and deletes the lock and the filters.
    ~qirFilterList() override;

    // Load(FolderDir "/" "filter").
    int Load();
    // Takes the lock (a failure is reported at level 2 and leaves the list
    // unable to save) and appends the file's filters: 0, also for a file
    // version this program does not know (no filters read); -13 the file
    // cannot be read.  When the file exists but cannot be read the list
    // refuses to save, so the file is never replaced by what was missed.
    int Load(const char* path);
    // Throws every filter away and gives the lock back, then loads the file
    // again (Load, on the same path once one was given): what the file holds
    // now, under a fresh lock.  Load's result.
    int Reload();
    // Replaces the file through a temporary file renamed over it: 0; -19
    // not holding the lock; -13 the file existed but did not load; -12 any
    // write, the close or the rename failed.  On failure the old file stays
    // and the reason is put in *failure when given (the caller shows it),
    // else written to the log at level 1.
    int Save(qirString* failure = nullptr);

    const qirString& Path() const { return path_; }
    int IsLocked() const { return lock_ && lock_->IsLocked(); }

    qirFilter* First() const { return static_cast<qirFilter*>(qirList::First()); }
    qirFilter* Last() const { return static_cast<qirFilter*>(qirList::Last()); }
    static qirFilter* Next(const qirFilter* f) { return static_cast<qirFilter*>(qirList::Next(f)); }
    static qirFilter* Prev(const qirFilter* f) { return static_cast<qirFilter*>(qirList::Prev(f)); }

private:
    qirFilterList(const qirFilterList&) = delete;
    qirFilterList& operator=(const qirFilterList&) = delete;
    void ReadCurrent(const qirConfiguration& file);
    void ReadOld(const qirConfiguration& file);
    void Add(qirFilter* filter);

    qirLock* lock_ = nullptr; // owned, made by Load
    qirString path_;
    int loadFailed_ = 0;
};

#endif

#include "qirAddrBook.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "qirAtomicFile.h"
#include "qirError.h"
#include "qirStatus.h"

qirAddrBook::qirAddrBook(qirString path) : path_(path)
{
    qirString lockPath = path_.Concat(".LOCK");
    lock_ = new qirLock(qirPath(lockPath));
    lock_->Lock();
}

qirAddrBook::~qirAddrBook()
{
    delete lock_; // unlocks
    qirList::Remove(nullptr);
}

int qirAddrBook::Load()
{
    if (!IsLocked()) return qirLockNotHeld;
    struct stat st;
    if (path_.IsEmpty() || stat(path_.Text(), &st) != 0) {
        // Only a file that is not there may be taken as an empty book.
        if (!path_.IsEmpty() && errno != ENOENT) {
            loadFailed_ = 1;
            return qirCannotOpen;
        }
        return qirOK;
    }
    if (st.st_size == 0) return qirOK;
    FILE* f = fopen(path_.Text(), "r");
    if (!f) {
        loadFailed_ = 1;
        return qirCannotOpen;
    }
    int status = qirOK;
    for (;;) {
        qirAddrBookEntry* e = new qirAddrBookEntry();
        int r = e->Read(f);
        if (r != qirOK) {
            delete e;
            if (r != 1) status = qirUnreadable;
            break;
        }
        Append(e);
    }
    if (ferror(f)) status = qirUnreadable;
    fclose(f);
    if (status != qirOK) {
        loadFailed_ = 1;
        if (qirLog) qirLog->Report(qirLogError, "Address book <%s> cannot be read; it will not be saved over.", path_.Text());
    }
    return status;
}

static int SaveFailed(int status, qirString* failure, const char* what, const qirString& path, int cause)
{
    qirFailure(failure, what, path, cause);
    return status;
}

int qirAddrBook::Save(qirString* failure)
{
    if (!IsLocked())
        return SaveFailed(qirLockNotHeld, failure, "Another QIR holds the lock of address book", path_, 0);
    if (loadFailed_) return SaveFailed(qirUnreadable, failure, "Not saved over the unread address book", path_, 0);
    qirAtomicFile file(path_.Text());
    if (file.Open() != qirOK) return SaveFailed(qirCannotCreate, failure, "Can't create address book", path_, 1);
    for (qirAddrBookEntry* e = First(); e; e = Next(e)) {
        if (e->Write(file.Stream()) != qirOK) {
            int cause = errno;
            file.Abort();
            errno = cause;
            return SaveFailed(qirWriteError, failure, "Can't write address book", path_, 1);
        }
    }
    if (file.Commit() != qirOK) return SaveFailed(qirWriteError, failure, "Can't write address book", path_, 1);
    return qirOK;
}

qirAddrBookEntry* qirAddrBook::Find(qirString alias) const
{
    for (qirAddrBookEntry* e = First(); e; e = Next(e))
        if (e->Alias() == alias) return e;
    return nullptr;
}

int qirAddrBook::AddSenders(const qirMsg* const* messages, int n)
{
    int counter = 1, added = 0;
    for (int i = 0; i < n; ++i) {
        if (!messages[i]) continue;
        qirAddrBookEntry* entry = new qirAddrBookEntry(*messages[i]);
        while (Find(entry->Alias())) {
            qirString alias;
            alias.Format("%s (%d)", entry->Alias().Text() ? entry->Alias().Text() : "", counter++);
            entry->SetAlias(alias);
        }
        Append(entry);
        ++added;
    }
    return added;
}

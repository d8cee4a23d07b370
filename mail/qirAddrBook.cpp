#include "qirAddrBook.h"

#include <cerrno>
#include <cstdio>
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

int qirAddrBook::Save()
{
    if (!IsLocked()) return qirLockNotHeld;
    if (loadFailed_) {
        if (qirLog) qirLog->Report(qirLogError, "Address book <%s> was not read whole; not saved.", path_.Text());
        return qirUnreadable;
    }
    qirAtomicFile file(path_.Text());
    if (file.Open() != qirOK) {
        if (qirLog) qirLog->Report(qirLogError, "Can't create address book <%s>!", path_.Text());
        return qirCannotCreate;
    }
    for (qirAddrBookEntry* e = First(); e; e = Next(e)) {
        if (e->Write(file.Stream()) != qirOK) {
            file.Abort();
            if (qirLog) qirLog->Report(qirLogError, "Can't write address book <%s>!", path_.Text());
            return qirWriteError;
        }
    }
    if (file.Commit() != qirOK) {
        if (qirLog) qirLog->Report(qirLogError, "Can't write address book <%s>!", path_.Text());
        return qirWriteError;
    }
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

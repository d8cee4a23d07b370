// One message of a mail source that is read as a whole (the local mailbox
// spool), and the list of them with the operations every such source has.
#ifndef QIR_MSG_INFO_H
#define QIR_MSG_INFO_H

#include <cstdio>
#include <vector>

#include "qirFetchProof.h"
#include "qirList.h"
#include "qirString.h"

class qirMsgInfo : public qirObject {
public:
    qirMsgInfo() : qirObject(0) {}
    // A copy of another record; null gives number 0, not deleted, size 0, no id.
    explicit qirMsgInfo(const qirMsgInfo* other);
    ~qirMsgInfo() override {}

    // Position in the source, counting from 0.
    int Number() const { return number_; }
    int IsDeleted() const { return deleted_; }
    // Bytes from the start of the message's "From " line to the start of the
    // next message (the end of the file for the last); -1 while unknown.
    long Size() const { return size_; }
    // The text between "<" and ">" of the header's Message-Id; empty when the
    // header has none.
    const qirString& Id() const { return id_; }
    // The identifier to keep in a fetch history: the Message-Id, or for a
    // message without one a digest of its "From " line and header, so that
    // such a message left at the source is still fetched only once.
    const qirString& HistoryId() const { return historyId_; }
    // Where the "From " line starts in the file.
    long Offset() const { return offset_; }
    // The letter's length and a digest of its text (after the "From " line,
    // without the empty line that ends it in the spool), known once the
    // walk has passed the message's end.
    qirFetchProof Proof() const
    {
        qirFetchProof p;
        if (textLength_ < 0) return p;
        p.size = textLength_;
        p.digest = digest_;
        p.hasDigest = digested_;
        return p;
    }

private:
    friend class qirMsgInfoList;
    friend class qirMailBox;
    int number_ = 0;
    int deleted_ = 0;
    long size_ = 0;
    qirString id_{""};
    qirString historyId_{""};
    long offset_ = 0;
    long fromLength_ = 0;   // the "From " line with its line end
    long headerLength_ = 0; // "From " line and header, without the empty line
    long long textLength_ = -1;
    uint64_t digest_ = 0;
    int digested_ = 0;
};

class qirMsgInfoList : public qirList {
public:
    qirMsgInfoList() {}
    // Deletes the records.
    ~qirMsgInfoList() override;

    // The sum of the records' sizes.
    virtual long TotalSize();
    // The message's text in a new temporary file, positioned at its start
    // (the caller closes it), or null with the reason in Status.
    virtual FILE* Fetch(int number) = 0;
    virtual qirString HeaderText(int number) = 0;
    // Removes the messages marked deleted from the source.
    virtual int Commit() = 0;
    // Rebuilds the records from the source.
    virtual int Scan() = 0;

    qirMsgInfo* First() const { return static_cast<qirMsgInfo*>(qirList::First()); }
    qirMsgInfo* Last() const { return static_cast<qirMsgInfo*>(qirList::Last()); }
    static qirMsgInfo* Next(const qirMsgInfo* m) { return static_cast<qirMsgInfo*>(qirList::Next(m)); }
    static qirMsgInfo* Prev(const qirMsgInfo* m) { return static_cast<qirMsgInfo*>(qirList::Prev(m)); }
    // Constant time: the records are numbered 0, 1, 2, ... in list order.
    qirMsgInfo* Find(int number) const;
    qirMsgInfo* FindById(const qirString& id) const;
    int Count() const { return static_cast<int>(index_.size()); }
    // 0, or -3 when no record has that number.
    int MarkDeleted(int number);
    int Undelete(int number);
    int Status() const { return status_; }

protected:
    // Appends a record numbered Count().
    void AddRecord(qirMsgInfo* record);
    void ClearRecords();

    int status_ = 0;

private:
    qirMsgInfoList(const qirMsgInfoList&) = delete;
    qirMsgInfoList& operator=(const qirMsgInfoList&) = delete;
    // Records change only through AddRecord and ClearRecords, which keep the index.
    using qirList::Append;
    using qirList::AddLast;
    using qirList::InsertBefore;
    using qirList::Unlink;
    using qirList::Remove;
    using qirList::AppendAll;
    using qirList::Nth;

    std::vector<qirMsgInfo*> index_;
};

#endif

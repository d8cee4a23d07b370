#include "qirMsgInfo.h"

#include "qirStatus.h"

qirMsgInfo::qirMsgInfo(const qirMsgInfo* other) : qirObject(0)
{
    if (!other) return;
    number_ = other->number_;
    deleted_ = other->deleted_;
    size_ = other->size_;
    id_ = other->id_;
    historyId_ = other->historyId_;
    offset_ = other->offset_;
    fromLength_ = other->fromLength_;
    headerLength_ = other->headerLength_;
}

qirMsgInfoList::~qirMsgInfoList()
{
    ClearRecords();
}

long qirMsgInfoList::TotalSize()
{
    long total = 0;
    for (qirMsgInfo* m : index_)
        if (m->size_ > 0) total += m->size_;
    return total;
}

qirMsgInfo* qirMsgInfoList::Find(int number) const
{
    if (number < 0 || number >= Count()) return nullptr;
    return index_[number];
}

qirMsgInfo* qirMsgInfoList::FindById(const qirString& id) const
{
    for (qirMsgInfo* m : index_)
        if (m->id_ == id) return m;
    return nullptr;
}

int qirMsgInfoList::MarkDeleted(int number)
{
    qirMsgInfo* m = Find(number);
    if (!m) return qirNotFound;
    m->deleted_ = 1;
    return 0;
}

int qirMsgInfoList::Undelete(int number)
{
    qirMsgInfo* m = Find(number);
    if (!m) return qirNotFound;
    m->deleted_ = 0;
    return 0;
}

void qirMsgInfoList::AddRecord(qirMsgInfo* record)
{
    record->number_ = Count();
    qirList::Append(record);
    index_.push_back(record);
}

void qirMsgInfoList::ClearRecords()
{
    index_.clear();
    qirList::Remove(nullptr);
}

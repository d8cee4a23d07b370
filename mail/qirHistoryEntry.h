// One message identifier of a fetch history.
#ifndef QIR_HISTORY_ENTRY_H
#define QIR_HISTORY_ENTRY_H

#include "qirObject.h"
#include "qirString.h"

class qirHistoryEntry : public qirObject {
public:
    qirHistoryEntry(const char* id, int seen) : qirObject(0), id_(id), seen_(seen) {}
    ~qirHistoryEntry() override {}

    const qirString& Id() const { return id_; }
    // 1 when the identifier was met in the current fetch or added by it.
    int Seen() const { return seen_; }

private:
    friend class qirHistory;
    qirString id_;
    int seen_;
};

#endif

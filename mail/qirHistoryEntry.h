// One message identifier of a fetch history, with what proves that a
// message met at the source is the one stored under it.
#ifndef QIR_HISTORY_ENTRY_H
#define QIR_HISTORY_ENTRY_H

#include "qirFetchProof.h"
#include "qirObject.h"
#include "qirString.h"

class qirHistoryEntry : public qirObject {
public:
    qirHistoryEntry(const char* id, int seen) : qirObject(0), id_(id), seen_(seen) {}
    ~qirHistoryEntry() override {}

    const qirString& Id() const { return id_; }
    const qirFetchProof& Proof() const { return proof_; }
    // 1 when the identifier was met in the current fetch or added by it.
    int Seen() const { return seen_; }

private:
    friend class qirHistory;
    qirString id_;
    qirFetchProof proof_;
    int seen_;
    int added_ = 0; // the fetch that added it (0: loaded); no evidence for that fetch
};

#endif

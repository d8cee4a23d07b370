// What a filter looks for: a wildcard pattern tried against chosen parts of
// a message, the first part that matches deciding.
#ifndef QIR_FILTER_CONDITION_H
#define QIR_FILTER_CONDITION_H

#include "qirObject.h"
#include "qirString.h"
#include "qirWildcard.h"

class qirMsg;

class qirFilterCondition : public qirObject {
public:
    // Field bits, tried in the order subject, other field, To, From, Reply-To.
    enum {
        ToField = 1,       // the mailbox of each To address
        FromField = 2,     // the mailbox of each From address
        ReplyToField = 4,  // the mailbox of each Reply-To address
        SubjectField = 8,
        OtherField = 16,   // the header field of the other field name
    };

    qirFilterCondition();
    // Status -6 when OtherField is set and the name is empty, else 0.
    qirFilterCondition(int fields, qirWildcard pattern, qirString otherFieldName);
    qirFilterCondition(const qirFilterCondition& other);
    // Copies fields, pattern and name; the status stays.
    qirFilterCondition& operator=(const qirFilterCondition& other);
    ~qirFilterCondition() override;

    // 1 when the pattern matches one of the chosen texts, else 0.  Addresses
    // are tried on their mailbox alone; a message without the other field
    // does not match on it.  The other field is found by its name in any
    // case, with or without its colon ("X-Mailer", "x-mailer:").
    int Matches(const qirMsg& msg) const;

    int Fields() const { return fields_; }
    qirString OtherFieldName() const { return otherFieldName_; }
    const qirWildcard& Pattern() const { return pattern_; }
    int Status() const { return status_; }

private:
    friend class qirFilter; // a filter changed in place takes the new status

    int fields_ = 0;
    qirString otherFieldName_;
    qirWildcard pattern_;
    int status_ = 0;
};

#endif

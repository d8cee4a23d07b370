// A named filter: a condition and the actions to take on a message that
// meets it (carried out by the application, not here).
#ifndef QIR_FILTER_H
#define QIR_FILTER_H

#include "qirFilterCondition.h"
#include "qirObject.h"
#include "qirPath.h"
#include "qirString.h"

class qirMsg;

class qirFilter : public qirObject {
public:
    enum {
        CopyAction = 1,    // copy to the folder at the copy path
        ReplyAction = 2,   // reply with the file at the reply path
        ForwardAction = 4, // forward to the forward address
        DeleteAction = 8,  // mark deleted
    };

    // Status -6 when an action bit is set whose argument is empty, else 0.
    qirFilter(qirString name, int active, qirFilterCondition condition, int actions, qirPath copyPath,
              qirPath replyPath, qirString forwardAddress);
    ~qirFilter() override;

    // Replaces every field, as the constructor sets them (the filter book
    // edits a filter in place); both statuses are worked out anew.
    void Change(qirString name, int active, qirFilterCondition condition, int actions, qirPath copyPath,
                qirPath replyPath, qirString forwardAddress);

    // The condition's answer; the active flag is the caller's to test.
    int Matches(const qirMsg& msg) const { return condition_.Matches(msg); }

    qirString Name() const { return name_; }
    int IsActive() const { return active_; }
    const qirFilterCondition& Condition() const { return condition_; }
    int Actions() const { return actions_; }
    const qirPath& CopyPath() const { return copyPath_; }
    const qirPath& ReplyPath() const { return replyPath_; }
    qirString ForwardAddress() const { return forwardAddress_; }
    int Status() const { return status_; }

private:
    qirFilter(const qirFilter&) = delete;
    qirFilter& operator=(const qirFilter&) = delete;
    void CheckArguments();

    qirString name_;
    int active_;
    qirFilterCondition condition_;
    int actions_;
    qirPath copyPath_;
    qirPath replyPath_;
    qirString forwardAddress_;
    int status_ = 0;
};

#endif

#include "qirFilter.h"

#include "qirStatus.h"

qirFilter::qirFilter(qirString name, int active, qirFilterCondition condition, int actions, qirPath copyPath,
                     qirPath replyPath, qirString forwardAddress)
    : qirObject(31), name_(name), active_(active), condition_(condition), actions_(actions), copyPath_(copyPath),
      replyPath_(replyPath), forwardAddress_(forwardAddress)
{
    CheckArguments();
}

void qirFilter::Change(qirString name, int active, qirFilterCondition condition, int actions, qirPath copyPath,
                       qirPath replyPath, qirString forwardAddress)
{
    name_ = name;
    active_ = active;
    condition_ = condition;
    condition_.status_ = condition.status_;
    actions_ = actions;
    copyPath_ = copyPath;
    replyPath_ = replyPath;
    forwardAddress_ = forwardAddress;
    CheckArguments();
}

void qirFilter::CheckArguments()
{
    status_ = ((actions_ & CopyAction) && copyPath_.IsEmpty()) || ((actions_ & ReplyAction) && replyPath_.IsEmpty()) ||
                      ((actions_ & ForwardAction) && forwardAddress_.IsEmpty())
                  ? qirNotOpen
                  : qirOK;
}

qirFilter::~qirFilter() {}

#include "qirFilter.h"

#include "qirStatus.h"

qirFilter::qirFilter(qirString name, int active, qirFilterCondition condition, int actions, qirPath copyPath,
                     qirPath replyPath, qirString forwardAddress)
    : qirObject(31), name_(name), active_(active), condition_(condition), actions_(actions), copyPath_(copyPath),
      replyPath_(replyPath), forwardAddress_(forwardAddress)
{
    if (((actions_ & CopyAction) && copyPath_.IsEmpty()) || ((actions_ & ReplyAction) && replyPath_.IsEmpty()) ||
        ((actions_ & ForwardAction) && forwardAddress_.IsEmpty()))
        status_ = qirNotOpen;
}

qirFilter::~qirFilter() {}

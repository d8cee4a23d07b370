// An InterViews Action that calls a member function with a fixed argument,
// for the buttons of the dialogs.
#ifndef QIR_MEMBER_ACTION_H
#define QIR_MEMBER_ACTION_H

#include <InterViews/action.h>

template <class T>
class qirMemberAction : public Action {
public:
    typedef void (T::*Member)(int);
    // target is not owned; the button holding the action lives inside it.
    qirMemberAction(T* target, Member member, int arg = 0) : target_(target), member_(member), arg_(arg) {}
    void execute() override { (target_->*member_)(arg_); }

private:
    T* target_;
    Member member_;
    int arg_;
};

#endif

// An InterViews Action that calls a member function, without an argument
// or with a fixed one, for the buttons and menu entries of the windows.
#ifndef QIR_MEMBER_ACTION_H
#define QIR_MEMBER_ACTION_H

#include <InterViews/action.h>

template <class T>
class qirMemberAction : public Action {
public:
    typedef void (T::*Member)(int);
    typedef void (T::*Plain)();
    // target is not owned; the button holding the action lives inside it.
    qirMemberAction(T* target, Member member, int arg = 0) : target_(target), member_(member), arg_(arg) {}
    qirMemberAction(T* target, Plain plain) : target_(target), plain_(plain) {}
    void execute() override {
        if (plain_)
            (target_->*plain_)();
        else
            (target_->*member_)(arg_);
    }

private:
    T* target_;
    Member member_ = nullptr;
    Plain plain_ = nullptr;
    int arg_ = 0;
};

#endif

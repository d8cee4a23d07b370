// Work that must not run inside the handler that asks for it: a window
// closing itself from its own menu or button, a help link loading another
// page.  It runs once the current event has been handled, never while a
// dialog is posted (a dialog's loop may run inside the very action that
// asked), in the order it was asked for.
#ifndef QIR_AFTER_EVENT_H
#define QIR_AFTER_EVENT_H

class qirAfterEvent {
public:
    typedef void (*Work)(void* data);

    // Runs work(data) after the current event.  The same data may be
    // given more than once; each request runs.
    static void Run(Work work, void* data);
    // Deletes object after the current event.  A window that closes itself
    // unmaps first and then hands itself here.
    template <class T>
    static void Delete(T* object) {
        if (object)
            Run([](void* p) { delete static_cast<T*>(p); }, object);
    }
    // A window closing itself from its own button or menu: its owner's
    // pointer is cleared, the window (anything with Unmap) is unmapped now
    // and deleted after the event.  Nothing for a null pointer.
    template <class W>
    static void Close(W*& window) {
        W* closed = window;
        window = nullptr;
        if (!closed)
            return;
        closed->Unmap();
        Delete(closed);
    }
    // Drops every request for data that has not run yet: its owner is going
    // away by another road.  Answers how many were dropped.
    static int Cancel(void* data);
    // Runs everything asked for now (the end of the session, tests).
    static void RunPending();
    // A posted dialog has gone: what waited for it may run now.
    static void DialogGone();
    // Requests not yet run.
    static int Pending();
};

#endif

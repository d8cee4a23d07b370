// Controller that owns at most one window of a kind.
#ifndef QIR_LAUNCHER_H
#define QIR_LAUNCHER_H

#include "qirObject.h"

class qirLauncher : public qirObject {
public:
    qirLauncher() : qirObject(19) {}
    ~qirLauncher() override;

    // Makes the window if there is none yet, and shows it (again).
    virtual void open() = 0;
    // Deletes the window; nothing when there is none.
    virtual void close() = 0;
    // Nonzero while the window exists.
    virtual int is_open() = 0;
};

#endif

// InterViews' dispatcher header names the return type of its signal
// handler through a macro that its own configuration defines and the
// installed headers do not.  Include the dispatcher through here.
#ifndef QIR_DISPATCH_H
#define QIR_DISPATCH_H

#ifndef RETSIGTYPE
#define RETSIGTYPE void
#endif
#include <Dispatch/dispatcher.h>
#include <Dispatch/iohandler.h>

#endif

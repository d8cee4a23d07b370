// Status codes answered by the operations of the foundation and the mail
// engine: 0 for success, a negative number for a failure.
#ifndef QIR_STATUS_H
#define QIR_STATUS_H

enum {
    qirOk = 0,
    qirErrFailed = -1,       // general failure, syntax error in a configuration file
    qirErrNoMemory = -2,
    qirErrNotFound = -3,     // not found, not a directory, syntax error
    qirErrMissing = -6,      // missing value, not open
    qirErrOpen = -7,         // cannot open a file
    qirErrCreate = -8,       // cannot create a file or directory
    qirErrBadValue = -9,     // bad value, wrong kind
    qirErrNotSupported = -10,
    qirErrUnlink = -11,      // unlink or rename failed
    qirErrWrite = -12,       // write, flush or close failed
    qirErrUnreadable = -13,  // unreadable file contents
    qirErrNoTemp = -18,
    qirErrNotLocked = -19,
    qirErrBusy = -20,        // already locked, already open
};

#endif

// Status codes shared by the whole system: 0 success, negative failures.
#ifndef QIR_STATUS_H
#define QIR_STATUS_H

enum {
    qirOK = 0,
    qirFailed = -1,
    qirNoMemory = -2,
    qirNotFound = -3,
    qirPOP3Refused = -4,    // the POP3 server answered "-ERR"
    qirConnectionFailed = -5, // or an unexpected POP3 reply
    qirNotOpen = -6,
    qirCannotOpen = -7,
    qirCannotCreate = -8,
    qirBadValue = -9,
    qirNotSupported = -10,
    qirUnlinkFailed = -11,
    qirWriteError = -12,
    qirUnreadable = -13,
    qirNoSender = -15,
    qirCannotStart = -16,
    qirNoTempFile = -18,
    qirLockNotHeld = -19,
    qirAlreadyOpen = -20,
    qirLockHeld = -21, // a lock file held by another live process
    qirSMTPRefused = -22,
    qirSendmailFailed = -23,
    qirRecipientRefused = -24, // delivered, but some recipients were refused
    qirUnknownUser = -25,
    qirHistoryOverflow = -29,
};

// Codes of the directory-tree copy, move and remove functions.
enum {
    qirTreeDone = 0,
    qirTreeNotDirectory = -1,
    qirTreeCannotExamine = -100,
    qirTreeCannotOpen = -101,
    qirTreeCannotCreate = -102,
    qirTreeSubdirFailed = 1,
    qirTreeFileFailed = 2,
    qirTreeCannotRemove = 3,
};

#endif

// Status codes answered by the functions of the foundation and the mail
// engine: 0 success, negative failures.  One constant per line, by value.
#ifndef QIR_STATUS_H
#define QIR_STATUS_H

enum {
    qirStatusOk = 0,
    qirStatusFailed = -1,       // general failure
    qirStatusMissingValue = -6, // missing value or not open
};

#endif

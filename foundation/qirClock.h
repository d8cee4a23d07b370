// The current time and the process id as the mail engine stamps them on
// outgoing mail (dates, boundaries).  Tests fix both to get exact bytes.
#ifndef QIR_CLOCK_H
#define QIR_CLOCK_H

#include <ctime>

// time(), or the fixed time while one is set.
time_t qirNow();
// getpid(), or the fixed id while one is set.
long qirProcessNumber();
// 0, 1, 2, ... for the process (back to 0 with qirFixClock): tells apart
// what is stamped in the same second.
int qirNextSerial();
// Fixes the clock and the id; a time of 0 goes back to the real ones.
void qirFixClock(time_t now, long pid);

#endif

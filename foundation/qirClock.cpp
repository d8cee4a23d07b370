#include "qirClock.h"

#include <unistd.h>

static time_t fixedTime = 0;
static long fixedPid = 0;
static int serial = 0;

time_t qirNow() { return fixedTime ? fixedTime : time(nullptr); }

long qirProcessNumber() { return fixedTime ? fixedPid : (long)getpid(); }

void qirFixClock(time_t now, long pid)
{
    fixedTime = now;
    fixedPid = pid;
    serial = 0;
}

int qirNextSerial() { return serial++; }

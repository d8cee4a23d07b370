#include "qirObject.h"

#include <cstdio>

int qirObjectCounters[qirObjectClassCount];

static int ValidId(int id) { return id >= 0 && id < qirObjectClassCount ? id : 0; }

qirObject::qirObject(int classId) : classId_(ValidId(classId)) { ++qirObjectCounters[classId_]; }

qirObject::qirObject(const qirObject& other) : classId_(other.classId_) { ++qirObjectCounters[classId_]; }

qirObject::~qirObject() { --qirObjectCounters[classId_]; }

void qirResetObjectCounters()
{
    for (int& c : qirObjectCounters) c = 0;
}

void qirReportObjectCounters()
{
    bool any = false;
    for (int c : qirObjectCounters)
        if (c != 0) any = true;
    if (!any) {
        fputs("Last object removed.\n", stderr);
        return;
    }
    static const char rule[] = "------------------------------------\n";
    fputs(" Number of objects not removed yet :\n", stderr);
    fputs(rule, stderr);
    for (int i = 0; i < qirObjectClassCount; ++i)
        if (qirObjectCounters[i] != 0) fprintf(stderr, "%d\t%d\n", i, qirObjectCounters[i]);
    fputs(rule, stderr);
}

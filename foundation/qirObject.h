// Counted root class of every object in the foundation and the mail engine.
#ifndef QIR_OBJECT_H
#define QIR_OBJECT_H

enum { qirObjectClassCount = 67 };

// One live-object counter per class id, for leak diagnosis only.
extern int qirObjectCounters[qirObjectClassCount];

void qirResetObjectCounters();
// Writes the non-zero counters to standard error.
void qirReportObjectCounters();

class qirObject {
public:
    explicit qirObject(int classId = 0);
    // A copy is a new, unlinked object of the same class.
    qirObject(const qirObject& other);
    qirObject& operator=(const qirObject&) { return *this; }
    virtual ~qirObject();

    qirObject* Next() const { return next_; }
    qirObject* Prev() const { return prev_; }
    int ClassId() const { return classId_; }

private:
    friend class qirList;
    qirObject* next_ = nullptr;
    qirObject* prev_ = nullptr;
    int classId_;
};

// Zeroes the counters when constructed; one static instance lives with main.
class qirObjectCounterGuard {
public:
    qirObjectCounterGuard() { qirResetObjectCounters(); }
};

#endif

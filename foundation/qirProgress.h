// Abstract reporter of long work (fetching mail, loading a folder). The mail
// engine only calls it; the widget layer's indicator window implements it.
// Nothing that reports progress can be cancelled.
#ifndef QIR_PROGRESS_H
#define QIR_PROGRESS_H

#include <cstdint>

#include "qirList.h"
#include "qirObject.h"

class qirProgress : public qirObject {
public:
    qirProgress() : qirObject(0) {}
    ~qirProgress() override {}

    // Call order: Begin(total, 0, 1, lines), Set(n) with growing n, End();
    // the reporter may be begun again afterwards. current must not exceed
    // total. A nonzero percentMode shows a percentage and a bar, zero the two
    // amounts. lines holds qirString lines shown above the progress; it stays
    // the caller's and must live until End().
    virtual void Begin(uint32_t total, uint32_t current, int percentMode, qirList* lines)
    {
        total_ = total;
        current_ = current;
        percentMode_ = percentMode;
        lines_ = lines;
    }
    virtual void Set(uint32_t current) = 0;
    virtual void End() = 0;

    uint32_t Total() const { return total_; }
    uint32_t Current() const { return current_; }
    int PercentMode() const { return percentMode_; }
    qirList* Lines() const { return lines_; }

protected:
    uint32_t total_ = 0;
    uint32_t current_ = 0;
    int percentMode_ = 0;
    qirList* lines_ = nullptr; // not owned
};

// The reporter in use, or null when no progress is shown (not owned here:
// start-up points it at the indicator window). Test for null before every call.
extern qirProgress* qirProgressReporter;

#endif

#include "qirAfterEvent.h"

#include "qirDialog.h"
#include "qirDispatch.h"

#include <deque>

namespace {

struct Request {
    qirAfterEvent::Work work;
    void* data;
};

// A zero timer: the dispatcher expires it at its next turn, which comes
// only after the handler of the current event has returned.
class Runner : public IOHandler {
public:
    void Arm() {
        if (armed_)
            return;
        armed_ = true;
        Dispatcher::instance().startTimer(0, 0, this);
    }
    void timerExpired(long, long) override {
        armed_ = false;
        // The dialog may belong to the action that asked, and that action
        // is still on the stack: wait until the last dialog goes.
        if (qirDialog::PostedCount() == 0)
            qirAfterEvent::RunPending();
    }

private:
    bool armed_ = false;
};

std::deque<Request>& Queue() {
    static std::deque<Request> queue;
    return queue;
}

Runner& TheRunner() {
    static Runner runner;
    return runner;
}

}  // namespace

void qirAfterEvent::Run(Work work, void* data) {
    if (!work)
        return;
    Queue().push_back(Request{work, data});
    TheRunner().Arm();
}

int qirAfterEvent::Cancel(void* data) {
    int dropped = 0;
    std::deque<Request>& queue = Queue();
    for (auto it = queue.begin(); it != queue.end();) {
        if (it->data == data) {
            it = queue.erase(it);
            dropped++;
        } else {
            ++it;
        }
    }
    return dropped;
}

void qirAfterEvent::RunPending() {
    // Work may ask for more work; that runs in this pass as well.
    std::deque<Request>& queue = Queue();
    while (!queue.empty()) {
        Request r = queue.front();
        queue.pop_front();
        r.work(r.data);
    }
}

void qirAfterEvent::DialogGone() {
    if (!Queue().empty())
        TheRunner().Arm();
}

int qirAfterEvent::Pending() { return static_cast<int>(Queue().size()); }

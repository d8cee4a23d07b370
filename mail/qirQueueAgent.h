// "Delivery" into the send-queue directory (`QueueDir`): the message is
// stored as a new entry "Msg_" and a unique suffix, which the background
// delivery server sends at its next scan.
//
// An entry is written under a name beginning with "." (which the server
// skips) while the lock file of its final name is held, and renamed to the
// final name only when complete: the server never sees half an entry.
#ifndef QIR_QUEUE_AGENT_H
#define QIR_QUEUE_AGENT_H

#include "qirMailAgent.h"
#include "qirPath.h"

class qirQueueAgent : public qirMailAgent {
public:
    // Takes the queue directory from `QueueDir`.
    qirQueueAgent();
    ~qirQueueAgent() override;

    // 0; -18 no entry name can be made (the queue directory is missing or
    // not writable); -1 the entry cannot be saved (nothing is left).
    int Send(qirMsg* message) override;

    // The entry made by the last successful Send.
    const qirPath& LastEntry() const { return last_; }

private:
    qirDirectory* queue_; // owned
    qirPath last_;
};

#endif

// A delivery agent: hands an outgoing message on, and explains the last
// failure.  Callers see only this class; qirSMTPAgent, qirSendmailAgent and
// qirQueueAgent are behind it.
#ifndef QIR_MAIL_AGENT_H
#define QIR_MAIL_AGENT_H

#include <functional>
#include <string>
#include <vector>

#include "qirObject.h"
#include "qirString.h"

class qirMsg;

class qirMailAgent : public qirObject {
public:
    qirMailAgent() : qirObject(22) {}
    ~qirMailAgent() override;

    // 0 when delivered; a status code otherwise.
    virtual int Send(qirMsg* message) = 0;
    // The text that explains the last failure ("Error sending").
    virtual qirString ErrorText();
    // For a forked child before it runs a program: a descriptor of 0 or
    // more goes onto standard input (in) or output (out); each signal n of
    // 1..32 whose bit n-1 is set in ignore is ignored, SIGINT is set to its
    // default unless its bit is set; the blocked-signal mask is cleared.
    // The previous mask's signals 1..32 as bits.
    virtual unsigned PrepareChild(unsigned ignore, int in, int out);
    // 1 when the last failure is final (the receiver refused the message
    // for good), so that sending it again cannot succeed.
    virtual int IsPermanentFailure() const { return 0; }

    // Called the instant the receiver has taken the message for delivery
    // (the final reply to the text read, the program ended well), before
    // anything is logged, so that the caller can record it while the
    // message can least be lost between sent and recorded.  Empty: none.
    void SetAccepted(std::function<void()> accepted) { accepted_ = std::move(accepted); }

    // The mailboxes of the To, Cc and Bcc lists, in that order.  A mailbox
    // that is empty, holds a control character or angle brackets, or starts
    // with "-" cannot be named safely to a server or program: it goes into
    // unsafe instead.
    static void Recipients(const qirMsg* message, std::vector<std::string>* safe,
                           std::vector<std::string>* unsafe);
    // 1 when the mailbox can be given to a server or a program as it is.
    static int IsSafeMailbox(const char* mailbox);

protected:
    void Accepted()
    {
        if (accepted_) accepted_();
    }

private:
    std::function<void()> accepted_;
    qirMailAgent(const qirMailAgent&) = delete;
    qirMailAgent& operator=(const qirMailAgent&) = delete;
};

#endif

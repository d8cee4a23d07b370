// Delivery to an SMTP server: one agent is one session.  It connects and
// greets when made, sends any number of messages, and says QUIT when
// deleted (only over a connection that has not failed).
//
// "RSET" is sent only before a transaction that follows one that failed
// or was left half-way.  Replies are read to their last line ("250-..."
// continues a reply), the envelope carries the mailboxes in angle
// brackets, and the text is sent as exported (from memory, or from a
// temporary file for a very large letter): each line with CR LF, a leading "." doubled, trailing blanks
// kept, a last line without a line feed sent all the same.
#ifndef QIR_SMTP_AGENT_H
#define QIR_SMTP_AGENT_H

#include <string>

#include "qirMailAgent.h"
#include "qirSockClient.h"

class qirSMTPAgent : public qirMailAgent, public qirSockClient {
public:
    // Connects, reads the greeting and says HELO; a failure is reported at
    // level 1 and makes every Send fail.  `SMTP.TimeOut` (seconds) limits
    // each wait for the server.
    qirSMTPAgent(qirString host, qirString port);
    ~qirSMTPAgent() override;

    // 0 delivered; -6 no message; -15 no sender; -5 communication failure;
    // -22 refused by the server (also when it refused every recipient);
    // -24 delivered, but some recipients were refused (each is reported);
    // -18 no temporary file; -13 the exported text cannot be read back; or
    // the export's own status.
    int Send(qirMsg* message) override;
    // "SMTP: " and the last reply line, or "Communication Error"; after a
    // partial delivery, the refusals.
    qirString ErrorText() override;
    // The last refusal had a 5xx code.
    int IsPermanentFailure() const override { return permanent_; }

    int ReplyCode() const { return replyCode_; }
    const char* Reply() const { return reply_; }

private:
    // Reads one whole reply: 0, or -5 (reply code -1).
    int ReadReply();
    // Sends the command line and reads its reply: 0, or -5.
    int Command(const char* command);
    int SendData(FILE* text);
    int Transaction(qirMsg* message, const char* sender, FILE* text);
    int Refused(int permanentOnly);

    int replyCode_ = -1;
    char reply_[512];
    int broken_ = 0;       // the connection failed: no QUIT
    int open_ = 0;         // a transaction was begun and not ended
    int permanent_ = 0;
    std::string refusals_; // recipients refused in the last Send
};

#endif

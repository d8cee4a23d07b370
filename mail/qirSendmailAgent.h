// Delivery through a local sendmail program: the message's MIME text is the
// program's standard input, exactly as exported and ended by end of file.
//
// The command is `Sendmail.Path` and the values of `Sendmail.Flags`, run by
// "/bin/sh -c"; "-oi" is added unless "-i" or "-oi" is configured (a line
// "." must not end the text early).  The recipients (To, Cc and Bcc) follow
// as separate arguments that the shell never parses; "-t" is dropped, since
// the text carries no "BCC:" field to read Bcc recipients from.
#ifndef QIR_SENDMAIL_AGENT_H
#define QIR_SENDMAIL_AGENT_H

#include <string>
#include <vector>

#include "qirMailAgent.h"

class qirSendmailAgent : public qirMailAgent {
public:
    qirSendmailAgent() {}
    ~qirSendmailAgent() override;

    // 0; -18 no temporary file; the export's status; -9 no recipient that
    // can be named safely; -16 the program cannot be started; -23 it ended
    // with a nonzero status.
    int Send(qirMsg* message) override;

    // The shell command text (without the recipients).
    static std::string Command();
};

#endif

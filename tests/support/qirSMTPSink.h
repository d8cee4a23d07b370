// The aiosmtpd server of tests/support/smtp_sink.py, run with Debian's own
// /usr/bin/python3 on 127.0.0.1 and a free port, storing what it accepts.
#ifndef QIR_SMTP_SINK_H
#define QIR_SMTP_SINK_H

#include <string>
#include <sys/types.h>
#include <vector>

struct qirSinkMessage {
    std::string from;                   // MAIL FROM
    std::vector<std::string> recipients; // RCPT TO, in order
    std::string text;                   // the data with CR LF made LF
    std::string raw;                    // the data as received
};

class qirSMTPSink {
public:
    // options: extra words for the script ("--refuse", "x@y", ...).
    explicit qirSMTPSink(const std::vector<std::string>& options = {});
    ~qirSMTPSink();

    // 0 when aiosmtpd cannot be run here (the test then skips).
    int Running() const { return port_ > 0; }
    int Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }
    // The messages accepted so far, in order.
    std::vector<qirSinkMessage> Messages() const;
    // Waits up to the given seconds for at least n messages.
    std::vector<qirSinkMessage> WaitFor(size_t n, double seconds) const;
    static int Available();

private:
    std::string dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

#endif

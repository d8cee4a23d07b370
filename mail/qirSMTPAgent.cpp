#include "qirSMTPAgent.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirMsg.h"
#include "qirStatus.h"
#include "qirTempFile.h"

#define QIR_REPORT(level, ...) \
    do { \
        if (qirLog) qirLog->Report(level, __VA_ARGS__); \
    } while (0)

static const char* Str(const qirString& s) { return s.Text() ? s.Text() : ""; }

qirSMTPAgent::qirSMTPAgent(qirString host, qirString port) : qirSockClient(Str(host), Str(port))
{
    reply_[0] = '\0';
    if (!IsConnected()) {
        broken_ = 1;
        QIR_REPORT(qirLogError, "%s", Str(ErrorText()));
        return;
    }
    // Commands are single small writes that wait for their reply: Nagle's
    // delay would only add latency.
    int one = 1;
    setsockopt(Descriptor(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    int seconds = 0;
    if (qirConfig.GetInt("SMTP.TimeOut", &seconds) == qirOK && seconds > 0) SetTimeOut(seconds, 0);
    if (ReadReply() != qirOK || replyCode_ != 220) {
        // A server that does not greet is not spoken to again, not even QUIT.
        broken_ = 1;
        QIR_REPORT(qirLogError, "%s", Str(ErrorText()));
        return;
    }
    char name[81];
    memset(name, 0, sizeof name);
    if (gethostname(name, sizeof name - 1) != 0 || !name[0]) strcpy(name, "localhost");
    std::string helo = std::string("HELO ") + name;
    Command(helo.c_str());
}

qirSMTPAgent::~qirSMTPAgent()
{
    if (broken_) return;
    if (Command("QUIT") == qirOK && replyCode_ != 221) QIR_REPORT(qirLogError, "%s", Str(ErrorText()));
}

int qirSMTPAgent::ReadReply()
{
    for (;;) {
        if (!ReadLine(reply_, sizeof reply_)) break;
        // A line longer than the buffer is read to its end, so the next
        // reply starts on a line of its own.
        size_t n = strlen(reply_);
        int whole = n > 0 && reply_[n - 1] == '\n';
        char rest[512];
        while (!whole) {
            if (!ReadLine(rest, sizeof rest)) {
                replyCode_ = -1;
                broken_ = 1;
                return qirConnectionFailed;
            }
            size_t m = strlen(rest);
            whole = m > 0 && rest[m - 1] == '\n';
        }
        int code;
        if (sscanf(reply_, "%i", &code) != 1) break;
        replyCode_ = code;
        if (n >= 4 && reply_[3] == '-') continue; // a continued reply
        return qirOK;
    }
    replyCode_ = -1;
    broken_ = 1;
    return qirConnectionFailed;
}

int qirSMTPAgent::Command(const char* command)
{
    if (broken_) {
        replyCode_ = -1;
        return qirConnectionFailed;
    }
    if (qirLog) qirLog->Report(qirLogDebug, "SMTP: CMD=%s", command);
    std::string line = std::string(command) + "\r\n";
    if (qirSockClient::Send(line.data(), (int)line.size(), 0) < 0) {
        replyCode_ = -1;
        broken_ = 1;
        return qirConnectionFailed;
    }
    int r = ReadReply();
    if (qirLog) qirLog->Report(qirLogDebug, "SMTP: RSP=%s", reply_);
    return r;
}

qirString qirSMTPAgent::ErrorText()
{
    qirString out("SMTP: ");
    if (!refusals_.empty() && replyCode_ == 250) return out.Concat(refusals_.c_str());
    if (replyCode_ < 0) return out.Concat("Communication Error");
    std::string text = reply_;
    while (!text.empty() && strchr(" \t\r\n", text.back())) text.pop_back();
    return out.Concat(text.c_str());
}

// A refusal: reported, and final when its code is 5xx.
int qirSMTPAgent::Refused(int code)
{
    permanent_ = code >= 500 && code < 600;
    QIR_REPORT(qirLogError, "%s", Str(ErrorText()));
    return qirSMTPRefused;
}

// The exported text as DATA lines, in large writes: a send per line would
// cost a packet each.
int qirSMTPAgent::SendData(FILE* text)
{
    std::string out;
    out.reserve(1 << 16);
    std::vector<char> line(4096);
    size_t used = 0;
    int atEnd = 0;
    auto flushLine = [&]() {
        size_t n = used;
        if (n > 0 && line[n - 1] == '\n') --n;
        if (n > 0 && line[n - 1] == '\r') --n;
        if (n > 0 && line[0] == '.') out += '.';
        out.append(line.data(), n);
        out += "\r\n";
        used = 0;
    };
    char buffer[1 << 15];
    while (!atEnd) {
        size_t got = fread(buffer, 1, sizeof buffer, text);
        if (got == 0) {
            if (ferror(text)) {
                broken_ = 1; // the server waits for the rest of the text
                return qirUnreadable;
            }
            atEnd = 1;
            if (used > 0) flushLine();
        }
        for (size_t i = 0; i < got; ++i) {
            if (used == line.size()) line.resize(line.size() * 2);
            line[used++] = buffer[i];
            if (buffer[i] == '\n') flushLine();
        }
        if (atEnd) out += ".\r\n";
        if (out.size() >= (1 << 16) || atEnd) {
            if (atEnd && qirLog) qirLog->Report(qirLogDebug, "SMTP: CMD=.");
            if (qirSockClient::Send(out.data(), (int)out.size(), 0) < 0) {
                replyCode_ = -1;
                broken_ = 1;
                return qirConnectionFailed;
            }
            out.clear();
        }
    }
    return qirOK;
}

// The letter's MIME text, ready to be read: in memory, or in a temporary
// file when its parts are too large to hold.  Null with *status set when
// it cannot be made.
static FILE* ExportText(qirMsg* message, char** memory, size_t* size, int* status)
{
    enum { largestInMemory = 8 << 20 };
    *memory = nullptr;
    *status = qirOK;
    if (message->Size() <= largestInMemory) {
        FILE* out = open_memstream(memory, size);
        if (out) {
            int r = message->ExportMIME(out, 0);
            if (fclose(out) != 0 && r == qirOK) r = qirWriteError;
            FILE* in = r == qirOK ? fmemopen(*memory, *size ? *size : 1, "r") : nullptr;
            if (r == qirOK && *size == 0 && in) fseek(in, 0, SEEK_END);
            if (in) return in;
            free(*memory);
            *memory = nullptr;
            *status = r == qirOK ? qirNoMemory : r;
            return nullptr;
        }
    }
    FILE* text = qirTempFile();
    if (!text) {
        *status = qirNoTempFile;
        return nullptr;
    }
    int r = message->ExportMIME(text, 0);
    if (r == qirOK && fflush(text) != 0) r = qirWriteError;
    if (r != qirOK) {
        fclose(text);
        *status = r;
        return nullptr;
    }
    rewind(text);
    return text;
}

int qirSMTPAgent::Send(qirMsg* message)
{
    if (!message) return qirNotOpen;
    permanent_ = 0;
    refusals_.clear();
    const qirAddress* from = static_cast<const qirAddress*>(message->From()->First());
    qirString sender = from ? from->Mailbox() : qirString();
    if (!from || !IsSafeMailbox(sender.Text())) {
        QIR_REPORT(qirLogError, "SMTP: NO Sender.");
        permanent_ = 1;
        return qirNoSender;
    }
    // A transaction that failed or was left half-way is cleared first;
    // after one that ended well (or none) the session is clean already.
    if (open_) {
        if (Command("RSET") != qirOK) return qirConnectionFailed;
        open_ = 0;
    }
    // Exported before the transaction starts: a letter that cannot be
    // written out leaves the session as it was.
    char* memory = nullptr;
    size_t size = 0;
    int r;
    FILE* text = ExportText(message, &memory, &size, &r);
    if (!text) return r;
    r = Transaction(message, sender.Text(), text);
    fclose(text);
    free(memory);
    return r;
}

int qirSMTPAgent::Transaction(qirMsg* message, const char* sender, FILE* text)
{
    open_ = 1;
    std::string command = std::string("MAIL FROM:<") + sender + ">";
    if (Command(command.c_str()) != qirOK) return qirConnectionFailed;
    if (replyCode_ != 250 && replyCode_ != 251) return Refused(replyCode_);

    std::vector<std::string> recipients, unsafe;
    Recipients(message, &recipients, &unsafe);
    for (const std::string& r : unsafe) {
        refusals_ += (refusals_.empty() ? "" : "; ") + ("<" + r + ">: not a mailbox that can be sent to");
        QIR_REPORT(qirLogError, "SMTP: recipient <%s> not sent: not a mailbox that can be sent to", r.c_str());
    }
    size_t accepted = 0;
    int allPermanent = 1;
    for (const std::string& r : recipients) {
        command = "RCPT TO:<" + r + ">";
        if (Command(command.c_str()) != qirOK) return qirConnectionFailed;
        if (replyCode_ == 250 || replyCode_ == 251) {
            ++accepted;
            continue;
        }
        if (replyCode_ < 500) allPermanent = 0;
        QIR_REPORT(qirLogError, "%s", Str(ErrorText()));
        std::string text = reply_;
        while (!text.empty() && strchr(" \t\r\n", text.back())) text.pop_back();
        refusals_ += (refusals_.empty() ? "" : "; ") + ("<" + r + ">: " + text);
    }
    if (accepted == 0) {
        // Nobody would get it: no DATA, and the refusals are the answer.
        permanent_ = allPermanent;
        if (recipients.empty() && qirLog) QIR_REPORT(qirLogError, "SMTP: NO Recipient.");
        return qirSMTPRefused;
    }

    if (Command("DATA") != qirOK) return qirConnectionFailed;
    if (replyCode_ != 354) return Refused(replyCode_);
    int r = SendData(text);
    if (r != qirOK) return r;
    if (ReadReply() != qirOK) return qirConnectionFailed;
    // The transaction is over, whatever the reply says.
    open_ = 0;
    if (replyCode_ == 250) Accepted();
    if (qirLog) qirLog->Report(qirLogDebug, "SMTP: RSP=%s", reply_);
    if (replyCode_ != 250) return Refused(replyCode_);
    if (!refusals_.empty()) {
        QIR_REPORT(qirLogError, "SMTP: delivered, but refused for %s", refusals_.c_str());
        return qirRecipientRefused;
    }
    return qirOK;
}

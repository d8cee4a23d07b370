// POP3 client (RFC 1939), with the two older ways of learning message
// identifiers for servers without UIDL. The object logs in and lists the
// mailbox when it is made, and says QUIT when it is deleted, so the server
// removes messages marked with DELE only once the whole fetch is over.
#ifndef QIR_POP3_H
#define QIR_POP3_H

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "qirList.h"
#include "qirObject.h"
#include "qirSockClient.h"

// One message of the mailbox as LIST and the identifier commands gave it.
class QIRPOP3_MSG_INFO : public qirObject {
public:
    QIRPOP3_MSG_INFO(int number, int size);
    QIRPOP3_MSG_INFO(const QIRPOP3_MSG_INFO& other);
    ~QIRPOP3_MSG_INFO() override;

    int Number() const { return number_; }
    int Size() const { return size_; }
    int IsDeleted() const { return deleted_; }
    // The identifier, null when none was learnt; "" when a Message-Id line
    // could not be read. Only HasId() makes it fit for the fetch history.
    const char* Id() const { return id_; }
    int HasId() const { return id_ && *id_; }

    void SetId(const char* text, int length);
    void SetDeleted(int deleted) { deleted_ = deleted; }

private:
    QIRPOP3_MSG_INFO& operator=(const QIRPOP3_MSG_INFO&) = delete;
    int number_;
    int size_;
    int deleted_ = 0;
    char* id_ = nullptr; // owned
};

// The status field holds the last command's result: 0 "+OK", -4 "-ERR",
// -5 the connection failed or the reply was unexpected, -9 a command that
// was refused before sending (too long, or a line break in an argument).
// After a -5 the dialogue is out of step: nothing more is sent, every
// command answers -5 and the destructor sends no QUIT.
class QIRPOP3 : public qirSockClient, public qirList {
public:
    // Connects, reads the greeting, logs in with USER and PASS, and lists
    // the mailbox (STAT, LIST, then UIDL or its fallbacks). See Status().
    QIRPOP3(const char* host, const char* service, const char* user, const char* password);
    // QUIT (unless the connection failed), deletes the records, closes.
    ~QIRPOP3() override;

    int Status() const { return status_; }
    int Count() const { return static_cast<int>(records_.size()); }
    int TotalSize() const { return totalSize_; }

    // Index i is the first record whose number is i + 1; null when none.
    QIRPOP3_MSG_INFO* Info(int index) const;
    int Size(int index) const;      // 0 for no record or a deleted one
    int IsDeleted(int index) const; // 1 for no record

    // The whole message with LF line ends, dot-unstuffed, NUL-terminated;
    // the caller deletes it with delete[]. Null when there is no record, it
    // is deleted, RETR is refused, or the message does not end with its "."
    // line (a dropped connection never passes for a complete message).
    // length, when given, receives the byte count (the text may hold NULs).
    char* Retrieve(int index, int* length = nullptr);
    // Streams the same text into out: 0 only when the whole message arrived
    // and was written; -3 no record or deleted, -4 refused, -5 the message
    // ended early or the connection failed, -12 a write failed (the rest of
    // the message is still read, so the connection stays usable). On any
    // failure out holds an incomplete copy that must be thrown away.
    int RetrieveTo(int index, FILE* out);
    // The same, handing the text to sink piece by piece; a sink answering 0
    // fails the retrieval with -12 as a failed write does.
    typedef int (*Sink)(void* context, const char* text, int length);
    int RetrieveWith(int index, Sink sink, void* context);

    // Bounds for what follows, against a server that never stops sending or
    // trickles: the retrievals from now on fail with -5 once a message's
    // text passes limit bytes (0: no bound), and every read fails with -5
    // once the deadline (seconds on the steady clock, 0: none) has passed.
    // The connection is then given up (no QUIT, so nothing is deleted);
    // Cut() tells which bound ended it.
    void SetReadLimit(long long limit) { readLimit_ = limit; }
    void SetDeadline(double deadline) { deadline_ = deadline; }
    enum { cutNone = 0, cutTooLong = 1, cutTimedOut = 2 };
    int Cut() const { return cut_; }
    // The steady clock in seconds, as SetDeadline takes it.
    static double Now();

    // Asks the server's capabilities once: 1 when it takes further commands
    // before it has answered the first (PIPELINING), else 0.
    int CanPipeline();
    // Sends "RETR n" ahead, so the server prepares the message while the
    // caller still works on the one before; the retrieval of that index
    // reads the answer. Answers are read in the order asked: the next
    // retrieval or command first settles any answer asked for before it.
    // Only after CanPipeline said 1. 0, or the failure status.
    int RequestRetrieve(int index);

    // -3 for no record or a deleted one; else marks it deleted, sends
    // "DELE n" and answers its status (the mark stays whatever the reply).
    int Remove(int index);
    int Reset(); // "RSET"; success clears every deleted mark
    int Noop();  // "NOOP"

    // Sends "UIDL n"; points into the reply just after the identifier's
    // number, line end included. Null for no record, a deleted one or a
    // failed command. Valid until the next command.
    const char* UniqueId(int index);

    const char* LastCommand() const { return command_; }
    const char* LastReply() const { return reply_; }

    // Replies wait at most this long unless SetTimeOut says otherwise.
    enum { defaultTimeOut = 120 };

    // Waits no longer than the deadline for the bytes.
    int Recv(void* buffer, int length, int flags) override;

private:
    QIRPOP3(const QIRPOP3&) = delete;
    QIRPOP3& operator=(const QIRPOP3&) = delete;

    // One piece of a multi-line answer: a whole line, or part of one longer
    // than the reply buffer. Only a piece that starts a line is unstuffed
    // and tested for the "." terminator.
    struct Piece {
        const char* text;
        int length;
        int lineStart;
        int lineEnd;
        int heldCR; // a CR ended the previous piece and belongs before this text
    };
    int Login(const char* user, const char* password);
    int List();
    int ListIds();
    int ReadIdList(int xtnd);
    int ReadTopIds();
    int Command(const char* verb, const char* argument);
    int Command(const char* verb, int number);
    int ReadReply();
    int ReadRawLine();
    void BeginData();
    int ReadPiece(Piece* piece);
    int Drain();
    int SendCommand(const char* verb, const char* argument, int later = 0);
    int SendUnsent();
    int SettleAhead();
    int Broken();
    QIRPOP3_MSG_INFO* FindNumber(int number) const;
    void AddRecord(QIRPOP3_MSG_INFO* record);

    int status_ = 0;
    int totalSize_ = 0;
    int broken_ = 0;
    int pipelining_ = -1;     // -1 not asked yet
    std::deque<int> ahead_;   // indices whose RETR was sent, answers unread
    std::string unsent_;      // command lines asked ahead, not yet sent
    long long readLimit_ = 0;
    double deadline_ = 0;
    int cut_ = cutNone;
    int lineStart_ = 1; // the next piece begins a line
    int heldCR_ = 0;
    char command_[256]; // the last command line sent, CR LF included
    char reply_[2064];  // the last line received
    std::vector<QIRPOP3_MSG_INFO*> records_;  // in LIST order; the list owns them
    std::vector<QIRPOP3_MSG_INFO*> byNumber_; // first record of number i + 1
};

#endif

// The session log: a text file to which every subsystem reports through
// qirLog at one of six levels.  A level-0 report ends the process.
#ifndef QIR_ERROR_H
#define QIR_ERROR_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "qirObject.h"
#include "qirPath.h"

enum {
    qirLogCritical = 0,
    qirLogError = 1,
    qirLogWarning = 2,
    qirLogStatistics = 3,
    qirLogInfo = 4,
    qirLogDebug = 5,
    qirLogLevelCount = 6,
};

// "C" "E" "W" "S" "I" "D"; '?' for a level outside 0..5.
char qirLogLevelLetter(int level);
// "Critical" ... "Debug"; "Unknown" for a level outside 0..5.
const char* qirLogLevelName(int level);

// Shared by every Report; a formatted report is cut to 8,191 characters.
enum { qirReportBufferSize = 8192 };
extern char qirReportBuffer[qirReportBufferSize];

class qirError : public qirObject {
public:
    qirError();
    // Takes over the other log's open file; the other is left closed, so its
    // own Close does nothing.  Null: as the plain constructor.
    explicit qirError(qirError* other);
    ~qirError() override;

    // -20 already open (only level and limit change); 0, or -7.
    // A limit above 0 keeps the file to its last limit + 1 lines at Close.
    virtual int Open(const char* path, int level, int limit);
    virtual int Close(); // 0, or -6 when not open
    // Closes without trimming: a forked process lets go of its parent's log.
    void Abandon();
    virtual int IsOpen() const { return stream_ != nullptr; }
    // Writes "%c %s\n".  Level 0 also prints "Critical error: %s" on
    // standard error and exits with status 1, open or not.
    virtual void Write(int level, const char* text);
    virtual void Report(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Writes the text with " at file:line" at level 5; file is given as
    // __FILE__ and written as its source name (qirSourceName).
    virtual void Debug(const char* text, const char* file, int line);

    // Work on received mail: a fetch, the import of a mailbox.  Until the
    // matching EndReceived, a report about the content of a message
    // (ReportContent) opens no box: it is held until the message ends and
    // then written under a line that names the message, and the messages
    // that had any are counted.  Stretches nest; the count runs from the
    // outermost BeginReceived.
    void BeginReceived();
    // Ends a stretch: the messages with content reports so far (0 when
    // none is open).  The log window tells of them in one box when the
    // outermost stretch ends.
    virtual int EndReceived();
    // The received message under way ends; where names it in the log
    // ("stored as <path>").  Its held reports are written.
    void EndReceivedMessage(const char* where);
    // A message stored later than it is read: its held reports are taken
    // out to go with it, and written by the second EndReceivedMessage once
    // where it went is known.
    typedef std::vector<std::pair<int, std::string>> HeldReports; // level, text
    HeldReports TakeReceivedMessage();
    void EndReceivedMessage(const char* where, HeldReports* reports);
    int InReceived() const { return received_ > 0; }
    // As Report, for a field or part of a received message that cannot be
    // read; outside a stretch exactly Report.
    void ReportContent(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    // While held, lines gather in the stream's buffer and reach the file
    // together at the last Release (or when the buffer fills): one write
    // for the many lines of one piece of work.  Level 0 is written at once.
    void Hold() { ++held_; }
    void Release();

    void SetLevel(int level) { level_ = level; }
    int Level() const { return level_; }
    int Limit() const { return limit_; }
    const qirPath& Path() const { return path_; }

protected:
    // The two halves of Write, for a subclass that must act between them:
    // the line in the file (when open), and the end of the process after a
    // level-0 report ("Critical error: " and the text on standard error,
    // exit status 1).
    void WriteLine(int level, const char* text);
    [[noreturn]] static void EndForCritical(const char* text);

    int count_ = 0;          // lines the file is taken to hold, banner excluded
    FILE* stream_ = nullptr; // owned; null while closed
    int level_ = 0;          // display threshold, for the log window
    int limit_ = -1;         // 0 or less: no limit
    qirPath path_;           // "" while closed
    int held_ = 0;           // Hold calls not yet released
    int writingContent_ = 0; // held content reports are being written

private:
    qirError(const qirError&) = delete;
    qirError& operator=(const qirError&) = delete;
    void Trim();
    void WriteHeld(const char* where, HeldReports* reports);

    int received_ = 0;                              // open stretches
    int receivedMessages_ = 0;                      // with content reports
    HeldReports content_; // of the message under way
};

// The name texts give a source file by: __FILE__ without its directory
// and extension ("mail/qirMsg.cpp" gives "qirMsg").
std::string qirSourceName(const char* file);

// The process's log; the application object deletes whatever it points to.
extern qirError* qirLog;

// Holds the log for its lifetime (qirError::Hold): a fetch writes a line
// per message, and they reach the file together.  Flush writes what was
// held so far, as at the end of each round of stored messages.
class qirLogBatch {
public:
    qirLogBatch() { if (qirLog) qirLog->Hold(); }
    ~qirLogBatch() { if (qirLog) qirLog->Release(); }
    void Flush()
    {
        if (!qirLog) return;
        qirLog->Release();
        qirLog->Hold();
    }
    qirLogBatch(const qirLogBatch&) = delete;
    qirLogBatch& operator=(const qirLogBatch&) = delete;
};

// Opens a stretch of work on received mail for its lifetime.
class qirReceivedStretch {
public:
    qirReceivedStretch() { if (qirLog) qirLog->BeginReceived(); }
    ~qirReceivedStretch() { if (qirLog) qirLog->EndReceived(); }
    qirReceivedStretch(const qirReceivedStretch&) = delete;
    qirReceivedStretch& operator=(const qirReceivedStretch&) = delete;
};

// A failed file operation, described as "what <path>" followed by ": " and
// strerror(errno) when cause is set: into *failure when given (a caller
// that shows it itself), else into the log at level 1.
void qirFailure(qirString* failure, const char* what, const qirString& path, int cause);

#endif

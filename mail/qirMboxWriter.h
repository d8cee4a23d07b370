// Writes messages into a Unix mailbox file that other mail tools read back
// as the same messages: each one introduced by "From <sender> <asctime
// date>", its MIME text with every line that begins "From " written as
// ">From ", and an empty line after it.
//
// Nothing is claimed before Commit: a new or replaced file appears only
// then (it is written under a temporary name), and a file appended to is
// cut back to its old length when the export fails.
#ifndef QIR_MBOX_WRITER_H
#define QIR_MBOX_WRITER_H

#include <cstdio>
#include <string>

#include "qirString.h"

class qirAtomicFile;
class qirMsg;

class qirMboxWriter {
public:
    // append 1: the messages go after what the file holds (a file that
    // does not exist is made); 0: the file is replaced.
    qirMboxWriter(const char* path, int append);
    // Without a successful Commit the file is left as it was.
    ~qirMboxWriter();

    // 0, or -7 when the file (or its temporary) cannot be opened.
    int Open();
    // Writes one message: 0; -12 when a write failed (the writer is broken
    // and Commit will fail); -1 when the message itself could not be
    // exported (a body file gone): its partial text is taken back, so the
    // file stays a mailbox of the others.
    int Write(qirMsg* message);
    // Makes the written messages the file's: 0, or -12 when a write, the
    // close or the rename failed (the file is then as it was before), -6
    // when not open.
    int Commit();

    // Messages written so far.
    int Written() const { return written_; }
    // "From <sender> <date>\n": the mailbox of the first From address (with
    // blanks and control characters made "_"; "MAILER-DAEMON" when there is
    // none) and the message's date in local time as asctime writes it (now,
    // for a message without a date).
    static qirString FromLine(const qirMsg* message);

private:
    qirMboxWriter(const qirMboxWriter&) = delete;
    qirMboxWriter& operator=(const qirMboxWriter&) = delete;
    int TakeBack(long long to);
    void Fail();

    std::string path_;
    int append_;
    qirAtomicFile* replace_ = nullptr; // owned, when replacing
    FILE* out_ = nullptr;              // the stream written to
    long long start_ = 0;              // length of an appended file before us
    long long end_ = 0;                // the file's length once out_ is flushed
    std::string separator_;            // line feeds owed before the next "From "
    int created_ = 0;                  // the appended file was made here
    int written_ = 0;
    int broken_ = 0;
};

#endif

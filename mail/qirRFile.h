// The line reader of a body part: lines of a message stream up to the
// boundary line that ends the part.  Lines longer than 999 bytes come in
// pieces; bytes are passed exactly, NUL bytes included.
#ifndef QIR_RFILE_H
#define QIR_RFILE_H

#include <cstdio>

#include "qirObject.h"
#include "qirString.h"

enum {
    qirRFileLineSize = 1000, // a piece holds at most 999 bytes
    qirRFileReading = 0,
    qirRFileSeparator = 1,   // a separator line was met
    qirRFileClosing = 2,     // the closing line, or the end while a boundary was expected
};

class qirRFile : public qirObject {
public:
    // boundary: null for a part that runs to the end of the input.  status
    // (may be null) receives 0 on SetStream and the end state when it is set.
    qirRFile(const char* boundary, int* status);
    // With a boundary, reads on to the line that ends the part, so that the
    // stream stands behind it.  The stream is not closed (not owned).
    ~qirRFile() override;

    void SetStream(FILE* stream);
    // Length of the next line (or piece), or -1 at a boundary line or at the
    // end of the input.
    int ReadLine();
    // The next byte of the part (0 to 255), -1 at the end.
    int GetChar();
    // The unread rest of the current line, or the next line; "" at the end.
    // Text only: a NUL byte cuts it.  Decoders use NextPiece.
    qirString RestOfLine();
    // Binary form of RestOfLine: the bytes (often in the stream's own
    // buffer) stay valid until the next read of the reader or the stream;
    // -1 at the end.  A piece may be empty.
    int NextPiece(const unsigned char** data);
    // Whole lines at once, where NextPiece would hand them out one by one
    // with nothing to tell them apart: the run of complete lines in the
    // stream's buffer, none beginning with "-", whose line ends are all
    // theirs (the line after the run is there and does not begin with
    // "-").  Its length, 0 when there is no such run (NextPiece then goes
    // on); valid as NextPiece's bytes.  The run starts and ends a line.
    int NextLines(const unsigned char** data);
    int HasMore();
    // With a boundary, reads on to the line that ends the part.
    void Drain();

    int EndState() const { return endState_; }
    // Whether the current piece began a line, and whether it ends one (its
    // line end read, or taken by the boundary line after it, or the input
    // ended).  A long line is several pieces.
    int PieceStartsLine() const { return startsLine_; }
    int PieceEndsLine() const { return endsLine_; }
    // The current piece's line end was taken by the boundary line after it.
    int LineEndTaken() const { return lineEndTaken_; }

private:
    qirRFile(const qirRFile&) = delete;
    qirRFile& operator=(const qirRFile&) = delete;

    struct Piece {
        unsigned char bytes[qirRFileLineSize];
        int length;
        int startsLine;
    };
    int ReadPiece(Piece* piece);
    int Classify(const unsigned char* p, int n, int startsLine) const;
    int BufferedLine(const unsigned char** data) const;
    void SetEnd(int state);

    FILE* stream_ = nullptr;      // not owned
    qirString separator_;         // "--" boundary LF
    qirString closing_;           // "--" boundary "--" LF
    int hasBoundary_ = 0;
    Piece pieces_[2];             // the current piece and the one read ahead
    Piece* line_ = &pieces_[0];
    Piece* ahead_ = &pieces_[1];
    int haveAhead_ = 0;
    const unsigned char* data_ = pieces_[0].bytes; // the current line's bytes
    int position_ = 0;
    int length_ = 0;
    int startsLine_ = 1;
    int endsLine_ = 1;
    int lineEndTaken_ = 0;
    int nextStartsLine_ = 1;      // the next raw piece begins a line
    int atEnd_ = 0;               // the stream gave its last byte
    int endState_ = qirRFileReading;
    int* status_ = nullptr;       // the owner's; not owned
};

#endif

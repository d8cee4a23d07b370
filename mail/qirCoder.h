// Transfer-encoding coders: each decodes one body part from a message
// stream (through its own qirRFile, which stops at the part's boundary) and
// encodes a file into an outgoing stream.
#ifndef QIR_CODER_H
#define QIR_CODER_H

#include <cstdio>

#include "qirObject.h"
#include "qirRFile.h"

// Encoding codes of qirContentType.
enum {
    qirEncBase64 = 0,
    qirEnc7bit = 1,
    qirEncQuotedPrintable = 2,
    qirEncUUEncode = 3,
    qirEncBTOA = 4,
    qirEnc8bit = 5,
    qirEncBinary = 6,
    qirEncUnknown = 7,
};

class qirCoder : public qirObject {
public:
    // Codes 0 base64, 2 quoted-printable, 3 uuencode, 4 btoa, 1, 5, 6, 7
    // identity; any other code: null.  The caller owns the coder.  boundary
    // may be null; status (may be null) follows the reader's end state.
    static qirCoder* Create(int encoding, const char* boundary, int* status);
    // Decodes into the file at path, through a temporary file renamed over
    // it once every write and the close succeeded (qirAtomicFile).  0 or 1 (as Decode); -7 the file cannot
    // be made; -12 a write failed (path then keeps its old contents); -1 a
    // failed decode (what was decoded is kept at path).
    // direct: path is new in a directory nobody reads yet, so the file is
    // written in place (qirAtomicFile's direct mode).
    static int DecodeToFile(qirCoder* coder, FILE* in, const char* path, int direct = 0);

    // Deletes the reader, which drains the part to its boundary.
    ~qirCoder() override;
    // 1 when the reader ended at the closing boundary, else 0; -12 when a
    // write to out failed; -10 a btoa part that fails its checks.
    virtual int Decode(FILE* in, FILE* out) = 0;
    // Writes the encoded input: 0; -12 a write failed; -13 a read failed.
    // name: the file name uuencode puts in its "begin" line (may be null).
    virtual int Encode(FILE* in, FILE* out, const char* name) = 0;

    qirRFile* Reader() const { return reader_; }

protected:
    qirCoder(const char* boundary, int* status);
    // Buffered writes that remember a failure, so coders check once at the
    // end; DecodeResult and EncodeResult flush.
    void Put(FILE* out, const void* data, size_t n);
    void Put(FILE* out, const char* text);
    void Flush();
    // Decoding straight into the output buffer: room for n bytes (at most
    // 64 KB) at the returned place, then Wrote with how many were filled.
    unsigned char* Room(FILE* out, size_t n);
    void Wrote(size_t n) { buffered_ += n; }
    int DecodeResult();
    int EncodeResult(FILE* in);

    qirRFile* reader_; // owned
    int failed_ = 0;

private:
    enum { bufferSize = 1 << 16 };
    unsigned char buffer_[bufferSize];
    size_t buffered_ = 0;
    FILE* bufferStream_ = nullptr; // where buffer_ goes; not owned

private:
    qirCoder(const qirCoder&) = delete;
    qirCoder& operator=(const qirCoder&) = delete;
};

// 76-character lines of the standard alphabet with "=" padding; decoding
// carries a group across line ends and long-line pieces.
class qirBase64Coder : public qirCoder {
public:
    qirBase64Coder(const char* boundary, int* status) : qirCoder(boundary, status) {}
    int Decode(FILE* in, FILE* out) override;
    int Encode(FILE* in, FILE* out, const char* name) override;
};

// Quoted-printable; an "=" not followed by two hexadecimal digits (either
// case) stays as it is.
class qirQPCoder : public qirCoder {
public:
    qirQPCoder(const char* boundary, int* status) : qirCoder(boundary, status) {}
    int Decode(FILE* in, FILE* out) override;
    int Encode(FILE* in, FILE* out, const char* name) override;
};

// "begin 660 name" ... "end"; a line shorter than its count byte decodes
// the missing characters as zeros.
class qirUUCoder : public qirCoder {
public:
    qirUUCoder(const char* boundary, int* status) : qirCoder(boundary, status) {}
    int Decode(FILE* in, FILE* out) override;
    int Encode(FILE* in, FILE* out, const char* name) override;
};

// The system's own base-85 framing with byte count and three checks.
class qirBTOACoder : public qirCoder {
public:
    qirBTOACoder(const char* boundary, int* status) : qirCoder(boundary, status) {}
    int Decode(FILE* in, FILE* out) override;
    int Encode(FILE* in, FILE* out, const char* name) override;

private:
    void Check(unsigned c);
    void EncodeByte(FILE* out, unsigned c);
    void PutChar(FILE* out, char c);

    unsigned long checkE_ = 0, checkS_ = 0, checkR_ = 0; // 32-bit, wrapping
    int count_ = 0;      // bytes or digits in the current group
    int lineChars_ = 0;  // characters on the current output line
    unsigned long word_ = 0;
    FILE* out_ = nullptr; // not owned
};

// 7bit, 8bit, binary and unknown encodings: bytes pass unchanged.
class qirPlainCoder : public qirCoder {
public:
    qirPlainCoder(const char* boundary, int* status) : qirCoder(boundary, status) {}
    int Decode(FILE* in, FILE* out) override;
    int Encode(FILE* in, FILE* out, const char* name) override;
};

#endif

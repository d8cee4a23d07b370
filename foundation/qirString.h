// The string value of the system: owned, null distinct from "".
#ifndef QIR_STRING_H
#define QIR_STRING_H

#include <cstdio>

#include "qirObject.h"

// Shared buffer for formatting; Format output is cut to fit it.
enum { qirFormatBufferSize = 8192 };
extern char qirFormatBuffer[qirFormatBufferSize];

class qirString : public qirObject {
public:
    qirString() : qirObject(8) {}
    qirString(const char* text);
    qirString(const char* text, int n);
    qirString(const qirString& other);
    qirString(qirString&& other) noexcept;
    explicit qirString(const qirString* other);
    ~qirString() override;

    virtual const char* Text() const { return text_; }

    virtual int operator==(const qirString& s) const;
    virtual int operator==(const char* s) const;
    virtual int operator!=(const qirString& s) const { return !(*this == s); }
    virtual int operator!=(const char* s) const { return !(*this == s); }
    virtual int operator>(const qirString& s) const;
    virtual int operator>(const char* s) const;
    virtual int operator>=(const qirString& s) const;
    virtual int operator>=(const char* s) const;
    virtual int operator<(const qirString& s) const;
    virtual int operator<(const char* s) const;
    virtual int operator<=(const qirString& s) const;
    virtual int operator<=(const char* s) const;

    virtual qirString& Append(const char* s);
    virtual qirString& Append(const qirString& s);
    virtual qirString& Append(char c);
    virtual qirString Concat(const char* s) const;
    virtual qirString Concat(const qirString& s) const;
    virtual qirString Concat(char c) const;

    virtual int EqualsIgnoreCase(const qirString& s) const;
    virtual int EqualsIgnoreCase(const char* s) const;

    virtual qirString Substring(int from, int count) const;
    virtual void Cut(int from, int count);
    virtual int Find(int from, char c) const;
    virtual qirString TailFromChar(char c) const;
    virtual qirString TailFromLastChar(char c) const;

    virtual int ToLong(long* out) const;
    virtual int ToInt(int* out) const;
    virtual int ToFloat(float* out) const;
    virtual int ToDouble(double* out) const;

    virtual int IsEmpty() const { return !text_ || !*text_; }

    qirString& operator=(const qirString& s) { return Assign(s); }
    qirString& operator=(qirString&& s) noexcept;
    qirString& operator=(const char* s) { return Assign(s); }
    qirString& Assign(const qirString& s);
    qirString& Assign(const char* s);
    const char* SetText(const char* s);
    // Replaces the text with the printf-formatted result (at most 8,191 chars).
    qirString& Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

    int Length() const;
    qirString Left(int n) const { return Substring(0, n); }
    qirString From(int n) const { return Substring(n, -1); }
    void KeepLeft(int n) { Cut(0, n); }
    void KeepFrom(int n) { Cut(n, -1); }
    int IndexOf(char c) const { return Find(0, c); }
    int LastIndexOf(char c) const { return Find(-1, c); }
    char CharAt(int i) const;
    const char* Data() const { return text_; }

    void ToLower();
    void ToUpper();
    void TrimRight();
    void ChopNewline();

    // Writes the characters without terminator (one NUL for a null text);
    // 1 when a write fails.
    int Write(FILE* stream) const;
    // Reads one line (LF dropped, at most 4,095 characters); 1 at the end
    // of the stream, the text then unchanged.
    int ReadLine(FILE* stream);

private:
    // Most texts of mail (names, addresses, keys, numbers) are short: they
    // live inside the object, and only longer ones take memory of their own.
    enum { localSize = 24 };
    void Set(const char* s, size_t n); // s may point into this string
    void Take(char* buffer);           // a malloc'd buffer, now owned
    void Release();
    void MoveFrom(qirString& other);
    char* text_ = nullptr; // NUL-terminated or null: local_ or owned memory
    char local_[localSize];
};

// 1 when the printf format takes exactly the conversions of kinds, in
// order, besides any "%%": 's' a string (flag "-" and a width of at most
// two digits; no precision, which would cut a text anywhere), 'd' an int
// and 'l' a long (flags "-+ #0", width and precision of at most two digits
// each, one of d i o u x X, with "l" before it for a long).  Formats from
// the configuration or a catalogue are checked with this before use.
int qirFormatTakes(const char* format, const char* kinds);

#endif

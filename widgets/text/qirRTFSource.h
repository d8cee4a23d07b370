// Where the editor's readers take their bytes from: a stdio stream or a
// string held by the caller.
#ifndef QIR_RTF_SOURCE_H
#define QIR_RTF_SOURCE_H

#include <cstddef>
#include <cstdio>
#include <string>

class qirRTFSource {
public:
    qirRTFSource() {}
    explicit qirRTFSource(FILE* f) { SetStream(f); }
    explicit qirRTFSource(const char* s) { SetText(s); }
    qirRTFSource(const char* s, size_t n) { SetText(s, n); }

    // The stream is not closed, the text not copied: both stay the caller's.
    void SetStream(FILE* f);
    // A NUL-terminated text; the two-argument form takes n bytes, NULs too.
    void SetText(const char* s);
    void SetText(const char* s, size_t n);

    // The next byte as 0..255, or -1 at the end (or with nothing set).
    int NextChar();
    // Gives back the byte just read.
    void Unget(int c);
    // A text the source holds itself; read whole into an empty string it
    // is handed over without a copy.
    void TakeText(std::string&& text);
    // Appends everything not read yet to out.  Reading stops at the end of
    // the stream or at a read error.
    void ReadAll(std::string& out);

private:
    std::string owned_;
    FILE* stream_ = nullptr;
    const char* text_ = nullptr;
    size_t length_ = 0;
    size_t position_ = 0;
};

#endif

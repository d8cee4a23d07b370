// File paths: a string that expands a leading "~", splits into parts and
// answers simple questions about the file it names; and directories.
#ifndef QIR_PATH_H
#define QIR_PATH_H

#include <dirent.h>

#include "qirString.h"

class qirPath : public qirString {
public:
    // Every constructor and assignment expands a leading tilde; an unknown
    // user leaves the text as it was (the code is dropped).
    qirPath() {}
    qirPath(const qirPath& other);
    qirPath(const qirString& text);
    explicit qirPath(const qirString* text); // null gives a null path
    qirPath(const char* text);
    ~qirPath() override;

    qirPath& Assign(const qirString* text); // null assigns ""
    qirPath& Assign(const char* text);
    qirPath& Assign(const qirString& text);
    qirPath& operator=(const qirPath& p) { return Assign(p); }
    qirPath& operator=(const qirString& s) { return Assign(s); }
    qirPath& operator=(const char* s) { return Assign(s); }

    // 0, or -25 when "~user" names a user the password database lacks.
    int ExpandTilde();

    // Parts, as new values.  Dirname: text before the last "/"; Basename:
    // text after it (both "" without a "/").  Extension: text after the last
    // "." anywhere; Stem: base name before its last "." ("" without one).
    qirString Dirname() const;
    qirString Basename() const;
    qirString Extension() const;
    qirString Stem() const;

    // Rebuild from parts: directory, then "/" base name when the base name
    // is not empty, then "." extension when that is not empty either.
    void SetBasename(qirString name);   // drops the extension
    void SetDirname(qirString dir);     // keeps the base name, drops the extension
    // Replaces the extension of the base name, or adds one when it has none.
    void SetExtension(qirString ext);

    int Exists() const;      // 0, or -3
    int IsDirectory() const; // 0 directory, -3 anything else, -7 stat fails

    virtual int Unlink();                       // 0, or -11
    virtual int Rename(const char* newName);    // 0, or -11; the text stays
};

// A directory and a walk of its entries.  The stream handle is not owned:
// the destructor leaves an open stream open; only Close closes it, and a
// copy or assignment shares the same stream.
class qirDirectory : public qirPath {
public:
    qirDirectory() {}
    qirDirectory(const qirDirectory& other);
    qirDirectory(const qirPath& path);
    qirDirectory(const char* path);
    qirDirectory(const qirString& path);
    explicit qirDirectory(const qirString* path);
    ~qirDirectory() override;

    qirDirectory& Assign(const qirDirectory& other); // path, handle and last entry
    qirDirectory& operator=(const qirDirectory& other) { return Assign(other); }

    int Open();    // -6 empty path; 0, or -7
    int Close();   // 0, or -1; the handle becomes null
    int Rewind();  // 0
    // Directory "/" entry name, "." and ".." included; "" after the last.
    qirPath NextEntry();
    int IsOpen() const { return handle_ != nullptr; }
    int Create() const; // mode 0700: 0, or -8

private:
    DIR* handle_ = nullptr;        // not owned, see above
    struct dirent* last_ = nullptr; // owned by the stream
};

#endif

// A body part stored as one file, with its content type; it decodes itself
// from a message stream, encodes itself into an outgoing one and keeps its
// description in the "Body.PARSED" file of its directory.
#ifndef QIR_MSG_COMPONENT_H
#define QIR_MSG_COMPONENT_H

#include <cstdio>
#include <string>
#include <unordered_set>

#include "qirContentType.h"
#include "qirObject.h"
#include "qirPath.h"

class qirMsgComponent : public qirObject {
public:
    // Keeps the path (a leading "~" expanded) and copies the content type.
    // Unless the type is multipart, a missing file is created empty.
    qirMsgComponent(const qirPath& path, const qirContentType& type);
    // Same path, copied content type; the disk is not touched.
    qirMsgComponent(const qirMsgComponent& other);
    // The file stays.
    ~qirMsgComponent() override;

    // Decodes the part from the stream into the file: 0 at a separator line
    // (or the end of the input without a boundary), 1 at the closing line
    // (or the end while a boundary was expected), -1 failure (reported),
    // -10 without a path.  The stream is left behind the part's boundary.
    virtual int ImportBody(FILE* in, const char* boundary);
    // Encodes the file into the stream: 0; -7 the file cannot be read;
    // -12 the encoding or a write failed (both reported).
    virtual int ExportBody(FILE* out, const char* boundary);
    virtual int Reserved() { return -10; }
    virtual int CopyToPath(const char* target); // 0, or -12
    // Updates "MsgBody.*" in the directory's "Body.PARSED": 0; -6 the path
    // has no "/"; -1 the update failed.
    virtual int Save();
    // Reads the content type back from there: 0; -6; -1.
    virtual int Load();
    virtual int CopyFrom(const qirMsgComponent* other); // 0, or -1
    virtual int RemoveFromDisk();                       // 0, or -11
    virtual int Size();                                 // bytes, or -1
    // The path becomes directory "/" base name; no file moves.
    virtual void MoveTo(const qirPath& directory);

    int Encoding() const { return contentType_.encoding; }
    int IsMultipart() const { return contentType_.IsMultipart(); }
    int IsText() const { return contentType_.IsText(); }
    const qirPath& Path() const { return *path_; }
    qirContentType& ContentType() { return contentType_; }
    const qirContentType& ContentType() const { return contentType_; }

    // The single entrance for names that come from mail.  Answers the path
    // of a new file in directory for a part of the given type:
    // - the stored name is the last path segment of name ("/" and "\"
    //   both count), each byte other than letters, digits, ". _ - + , @"
    //   and well-formed UTF-8 beyond ASCII mapped to "_", cut to
    //   StoredNameLimit bytes;
    // - a name is generated ("Part_N" and the type's extension) when that
    //   leaves "", or a name beginning with ".";
    // - a reserved name of the message directory ("Header.822",
    //   "Body.PARSED", "MsgBody.txt", "Name.txt", "Icon.tif", "XFace.pbm",
    //   "QIR.Msg.Body.Mixed", "LOCK", ignoring case, or an extension
    //   "tmp...", "LCK" or "LOCK") or an existing entry gets "_N" added
    //   before its extension (with a reserved extension, its "." becomes
    //   "_" and "_N" goes last);
    // - without a name, "Part_N" with ".txt" for text, else "." and the
    //   subtype limited as a name is (no extension when nothing is left).
    // The caller keeps the name as received as the part name, unless an
    // entry of that name was there: then the name the file got.
    // made: in a directory this process has just made, the names of what
    // it put there so far; the disk is then not asked.  Null: it is.
    static qirPath StoredPath(const char* directory, const char* name, const qirContentType& type,
                              const std::unordered_set<std::string>* made = nullptr);
    // Whether an entry of that name is in the directory (as StoredPath
    // decides it, from made when given).
    static int NameTaken(const std::string& directory, const std::string& name,
                         const std::unordered_set<std::string>* made);
    enum { StoredNameLimit = 120 };
    // The byte mapping of StoredPath alone, for tests and callers that
    // show a name: the last segment with unsafe bytes mapped to "_".
    static qirString SafeName(const char* name, int limit);

    // The part's directory is new and not yet a message (see qirMsg): its
    // files are then written in place instead of renamed in.  Not copied.
    void SetInNewDirectory(int on) { inNewDirectory_ = on ? 1 : 0; }
    int InNewDirectory() const { return inNewDirectory_; }

private:
    qirMsgComponent& operator=(const qirMsgComponent&) = delete;

protected:
    qirPath* path_;              // owned
    qirContentType contentType_;
    int inNewDirectory_ = 0;
};

#endif

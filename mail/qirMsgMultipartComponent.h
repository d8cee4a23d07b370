// A multipart body: a directory inside the message directory (or inside
// another multipart directory) holding one file per part and a
// "Body.PARSED" with one row "MsgBody.%d" per part (file name, type,
// subtype, encoding code, encoding name, part name, charset, Content-*
// text).  Every multipart body is stored as multipart/mixed.
#ifndef QIR_MSG_MULTIPART_COMPONENT_H
#define QIR_MSG_MULTIPART_COMPONENT_H

#include <cstdio>

#include "qirHeaderFields.h"
#include "qirList.h"
#include "qirMsgComponent.h"

class qirConfiguration;
class qirConfigurationOverlay;
class qirConfigurationText;

class qirMsgMultipartComponent : public qirMsgComponent {
public:
    // Keeps the path (the directory, created with mode 0700 when it cannot
    // be written) and a copy of the type set to multipart/mixed; the
    // boundary is kept.
    qirMsgMultipartComponent(const qirPath& directory, const qirContentType& type);
    // For loading an existing part: the directory is not made (loading
    // writes nothing, and a missing one fails the load anyway).
    struct Existing {};
    qirMsgMultipartComponent(const qirPath& directory, const qirContentType& type, Existing);
    // Copies every part object; the disk is not touched.
    qirMsgMultipartComponent(const qirMsgMultipartComponent& other);
    // Deletes the part objects; the disk is not touched.
    ~qirMsgMultipartComponent() override;

    // Splits the stream into parts.  The parts are split at the type's own
    // boundary (the argument when the type has none); for a multipart inside
    // a multipart the argument is the enclosing boundary, and after its own
    // closing line the rest is read up to the enclosing boundary line.
    // A body without any separator line is kept whole as one text part.
    // 0 the enclosing separator or the end of the input; 1 the closing line;
    // -1 a part failed; -6 no boundary at all.
    int ImportBody(FILE* in, const char* boundary) override;
    // Every part between separator lines of the boundary, then the closing
    // line: 0; -12 a write failed.  A multipart part gets a boundary of its
    // own, never the enclosing one.
    int ExportBody(FILE* out, const char* boundary) override;
    int CopyToPath(const char* target) override { return -10; }
    // SaveParts, then the own description into the containing directory's
    // "Body.PARSED": 0; -1; -6 the path has no "/".
    int Save() override;
    // Reads the rows of this directory's "Body.PARSED" into parts (files
    // are not touched, missing ones are not made): 0, or -1.
    int Load() override;
    // Copies the other multipart's files into this directory: 0, or -1.
    int CopyFrom(const qirMsgComponent* other) override;
    // 0; -1 the directory cannot be written or a part failed; -11.
    int RemoveFromDisk() override;
    // The sum of the parts' sizes (parts without a file count nothing).
    int Size() override;
    // What Size answers after Load, for the multipart directory, read
    // without making the part objects.
    static int SizeOnDisk(const char* directory);
    void MoveTo(const qirPath& directory) override;

    // Writes this directory's "Body.PARSED" (and those of multipart parts),
    // replacing it: 0, or -1.  The message calls this and writes the own
    // description with its own keys.
    int SaveParts();

    qirMsgComponent* First() const { return static_cast<qirMsgComponent*>(parts_.First()); }
    static qirMsgComponent* Next(const qirMsgComponent* p) { return static_cast<qirMsgComponent*>(qirList::Next(p)); }
    int Count() const { return parts_.Count(); }
    // Takes over the part (owned).
    void Append(qirMsgComponent* part) { parts_.Append(part); }
    // Takes over the part, placed before `before` (first when before is
    // null or not a part of this body).
    void InsertBefore(qirMsgComponent* part, qirMsgComponent* before)
    {
        parts_.InsertBefore(part, before && parts_.Contains(before) ? before : parts_.First());
    }
    // Gives the part up (the caller owns it then): 1, or 0 when it is not
    // a part of this body.  Its file stays.
    int Take(qirMsgComponent* part) { return parts_.Unlink(part); }
    qirMsgComponent* Part(int n) const { return static_cast<qirMsgComponent*>(parts_.Nth(n)); }
    // The header fields of the part read last by ImportBody.
    qirHeaderFields* PartFields() const { return partFields_; }

private:
    qirMsgMultipartComponent& operator=(const qirMsgMultipartComponent&) = delete;
    int RemoveParts();
    int ImportParts(FILE* in, const char* own);
    int ImportWhole(FILE* in);
    int ExportParts(FILE* out, const char* boundary, int depth);

    qirList parts_;                // owned qirMsgComponent objects
    qirHeaderFields* partFields_;  // owned
    int digest_;                   // declared multipart/digest: parts default to message/rfc822
};

// The eight "MsgBody.*" keys that describe a body (single or multipart)
// in the "Body.PARSED" of the directory that holds it: written into a new
// file's text, or laid over a tree keyed "MsgBody".
void qirPutBodyKeys(qirConfigurationText& out, const qirMsgComponent* part);
void qirPutBodyKeys(qirConfigurationOverlay& out, const qirMsgComponent* part);

// Which boundary line the line is: 1 the separator ("--" boundary), 2 the
// closing line ("--" boundary "--"), 0 neither.  Trailing blanks, TABs, CR
// and LF are allowed after either.
int qirBoundaryLine(const char* line, size_t length, const char* boundary);

#endif

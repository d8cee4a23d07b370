#include "qirMsgMultipartComponent.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirFieldParsers.h"
#include "qirHeaderScanner.h"
#include "qirStatus.h"
#include "qirUtilities.h"

static const char sourceName[] = "qirMsgMultipartComponent";

static const char* Str(const qirString& s) { return s.Text() ? s.Text() : ""; }

#define QIR_REPORT(level, ...) \
    do { \
        if (qirLog) qirLog->Report(level, __VA_ARGS__); \
    } while (0)

static qirContentType Mixed(const qirContentType& type)
{
    qirContentType ct(type);
    ct.type = "multipart";
    ct.subtype = "mixed";
    return ct;
}

qirMsgMultipartComponent::qirMsgMultipartComponent(const qirPath& directory, const qirContentType& type)
    : qirMsgComponent(directory, Mixed(type)), partFields_(new qirHeaderFields),
      digest_(type.subtype.EqualsIgnoreCase("digest"))
{
    // An existing directory makes mkdir fail harmlessly.
    if (!path_->IsEmpty()) mkdir(path_->Text(), 0700);
}

qirMsgMultipartComponent::qirMsgMultipartComponent(const qirPath& directory, const qirContentType& type, Existing)
    : qirMsgComponent(directory, Mixed(type)), partFields_(new qirHeaderFields),
      digest_(type.subtype.EqualsIgnoreCase("digest"))
{
}

// A part object on a file that is not touched: the plain constructor would
// create a missing file, which loading must not do and which an import
// would only replace.
static qirMsgComponent* LoadedPart(const qirPath& path, const qirContentType& type)
{
    qirContentType placeholder(type);
    placeholder.type = "multipart";
    qirMsgComponent* part = new qirMsgComponent(path, placeholder);
    part->ContentType() = type;
    return part;
}

static qirMsgComponent* CopyPart(const qirMsgComponent* part)
{
    if (part->IsMultipart())
        return new qirMsgMultipartComponent(*static_cast<const qirMsgMultipartComponent*>(part));
    return new qirMsgComponent(*part);
}

qirMsgMultipartComponent::qirMsgMultipartComponent(const qirMsgMultipartComponent& other)
    : qirMsgComponent(other), partFields_(new qirHeaderFields(*other.partFields_)), digest_(other.digest_)
{
    for (qirMsgComponent* p = other.First(); p; p = Next(p)) parts_.Append(CopyPart(p));
}

qirMsgMultipartComponent::~qirMsgMultipartComponent()
{
    parts_.Remove(nullptr);
    delete partFields_;
}

// ---------------------------------------------------------------- boundaries

int qirBoundaryLine(const char* line, size_t n, const char* boundary)
{
    if (!boundary || !*boundary) return 0;
    size_t b = strlen(boundary);
    if (n < b + 2 || line[0] != '-' || line[1] != '-' || memcmp(line + 2, boundary, b) != 0) return 0;
    size_t i = b + 2;
    int kind = 1;
    if (i + 2 <= n && line[i] == '-' && line[i + 1] == '-') {
        kind = 2;
        i += 2;
    }
    for (; i < n; ++i)
        if (line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '\n') return 0;
    return kind;
}

namespace {
// Lines of the raw stream through getline.
struct RawLines {
    char* buffer = nullptr;
    size_t capacity = 0;
    ~RawLines() { free(buffer); }
    ssize_t Next(FILE* in) { return getline(&buffer, &capacity, in); }
};
} // namespace

// Reads lines up to a boundary line of the boundary: its kind, or 0 at the
// end of the input.
static int SkipTo(FILE* in, const char* boundary)
{
    RawLines lines;
    ssize_t n;
    while ((n = lines.Next(in)) > 0) {
        int kind = qirBoundaryLine(lines.buffer, n, boundary);
        if (kind) return kind;
    }
    return 0;
}

// ---------------------------------------------------------------- import

// One part header field into the working content type.  Fields a body
// part may hold besides these (MIME-Version, Content-ID,
// Content-Description, ...) are passed over; others are reported.
static void ParsePartField(const std::string& text, qirContentType* ct)
{
    qirScanInput = text.c_str();
    qirHeaderScanner::Reset();
    int r = qirOK;
    switch (qirHeaderScanner::nextToken()) {
    case qirTokContentType: {
        size_t colon = text.find(':');
        ct->header = colon == std::string::npos ? "" : text.c_str() + colon + 1;
        r = qirParseContentType(ct);
        break;
    }
    case qirTokTransferEncoding:
        r = qirParseTransferEncoding(ct);
        break;
    case qirTokContentDisposition:
        r = qirParseContentDisposition(ct);
        break;
    case qirTokMimeVersion:
    case qirTokOtherField:
        break;
    default:
        r = qirNotFound;
        break;
    }
    qirHeaderScanner::SkipToEnd();
    if (r != qirOK && qirLog)
        qirLog->ReportContent(qirLogError, "--->PARSING_ERROR (<%s>,%d):in field '%s'\n", sourceName, __LINE__,
                              text.c_str());
}

int qirMsgMultipartComponent::RemoveParts()
{
    int r = qirOK;
    for (qirMsgComponent* p = First(); p; p = Next(p))
        if (r == qirOK && p->RemoveFromDisk() != qirOK) r = qirFailed;
    parts_.Remove(nullptr);
    return r;
}

int qirMsgMultipartComponent::ImportBody(FILE* in, const char* boundary)
{
    if (RemoveParts() != qirOK) return qirFailed;
    const char* own = !contentType_.boundary.IsEmpty() ? contentType_.boundary.Text() : boundary;
    if (!own || !*own || !in) return qirNotOpen;
    // The enclosing boundary, when this multipart is a part of another.
    const char* outer = boundary && *boundary && strcmp(boundary, own) != 0 ? boundary : nullptr;

    // Preamble: up to the first separator.  Without an enclosing boundary
    // a line of ours is all that can end it.
    long start = outer ? -1 : ftell(in);
    RawLines lines;
    ssize_t n;
    int kind = 0;
    while ((n = lines.Next(in)) > 0) {
        if ((kind = qirBoundaryLine(lines.buffer, n, own))) break;
        if (outer) {
            int k = qirBoundaryLine(lines.buffer, n, outer);
            if (k) return k == 1 ? 0 : 1;
        }
    }
    if (kind == 0) {
        if (outer) return 1;
        // Not one separator: rather than lose the text, keep it whole as one
        // text part.
        if (start >= 0 && fseek(in, start, SEEK_SET) == 0) return ImportWhole(in);
        return 0;
    }
    int r = kind == 2 ? 1 : ImportParts(in, own);
    if (r < 0) return r;
    if (!outer) return r;
    // Our closing line was met: the epilogue runs to the enclosing boundary.
    if (r == 1) {
        int k = SkipTo(in, outer);
        return k == 1 ? 0 : 1;
    }
    // The input ended inside our parts.
    return 1;
}

int qirMsgMultipartComponent::ImportWhole(FILE* in)
{
    qirContentType ct;
    ct.encoding = contentType_.encoding;
    ct.encodingName = contentType_.encodingName;
    ct.charset = contentType_.charset;
    std::unordered_set<std::string> none; // the parts were removed: a new directory is empty
    qirMsgComponent* part = LoadedPart(StoredPath(Str(*path_), nullptr, ct, inNewDirectory_ ? &none : nullptr), ct);
    part->SetInNewDirectory(inNewDirectory_);
    if (part->ImportBody(in, nullptr) < 0) {
        delete part;
        return qirFailed;
    }
    parts_.Append(part);
    return 0;
}

// Whether the file the part name would be stored as is in the directory.
static int PartNameTaken(const std::string& dir, const qirString& partName,
                         const std::unordered_set<std::string>* made)
{
    if (partName.IsEmpty()) return 0;
    qirString safe = qirMsgComponent::SafeName(partName.Text(), qirMsgComponent::StoredNameLimit);
    if (safe.IsEmpty() || safe.CharAt(0) == '.') return 0;
    return qirMsgComponent::NameTaken(dir, safe.Text(), made);
}

// The parts after the first separator: 1 after the closing line, 0 at the
// end of the input, -1 when a part fails.
int qirMsgMultipartComponent::ImportParts(FILE* in, const char* own)
{
    std::string dir = Str(*path_);
    std::string text;
    // A directory just made holds only the parts stored below: names are
    // chosen without asking the disk.
    std::unordered_set<std::string> madeNames;
    std::unordered_set<std::string>* made = inNewDirectory_ && parts_.IsEmpty() ? &madeNames : nullptr;
    for (;;) {
        int c = getc(in);
        if (c == EOF) return 0;
        ungetc(c, in);

        partFields_->Remove(nullptr);
        qirContentType ct;
        if (digest_) {
            // The parts of a digest are messages unless they say otherwise.
            ct.type = "message";
            ct.subtype = "rfc822";
        }
        long before = ftell(in);
        if (partFields_->Read(in) != qirOK) {
            QIR_REPORT(qirLogError, "Error FieldsSplit(<%s>,%d)", sourceName, __LINE__);
            return qirFailed;
        }
        for (qirPair* p = partFields_->First(); p; p = qirHeaderFields::Next(p)) {
            text.assign(Str(*p->Key()));
            for (char& ch : text) ch = (char)toupper((unsigned char)ch);
            if (p->Value()) text.append(Str(*p->Value()));
            ParsePartField(text, &ct);
        }
        if (ct.IsMultipart() && ct.boundary.IsEmpty()) {
            // No boundary of its own: no line can be told to end a part of
            // it, so it is kept whole as text up to our next separator.
            ct.type = "text";
            ct.subtype = "plain";
        }
        // The stored name is made safe and unique.  The part name stays as
        // received, unless an earlier part took that file name: then the
        // part is known by the name it got.
        int headerRead = before >= 0 && ftell(in) != before;
        int taken = PartNameTaken(dir, ct.partName, made);
        qirPath path = StoredPath(dir.c_str(), ct.partName.Text(), ct, made);
        if (taken) ct.partName = path.Basename();
        qirMsgComponent* part;
        if (ct.IsMultipart()) {
            part = new qirMsgMultipartComponent(path, ct);
        } else {
            ct.boundary = own;
            // The decoder makes the file; an empty one made first would
            // only be replaced.
            part = LoadedPart(path, ct);
        }
        part->SetInNewDirectory(inNewDirectory_);
        int r = part->ImportBody(in, own);
        if (r < 0) {
            delete part;
            return qirFailed;
        }
        // Two separator lines in a row hold no part at all.
        if (!headerRead && !part->IsMultipart() && part->Size() == 0) {
            part->RemoveFromDisk();
            delete part;
        } else {
            parts_.Append(part);
            if (made) made->insert(Str(path.Basename()));
        }
        if (r == 1) return 1;
    }
}

// ---------------------------------------------------------------- export

int qirMsgMultipartComponent::ExportBody(FILE* out, const char* boundary)
{
    return ExportParts(out, boundary, 0);
}

int qirMsgMultipartComponent::ExportParts(FILE* out, const char* boundary, int depth)
{
    if (!out || !boundary) return qirNotOpen;
    int failed = 0;
    auto put = [&](const char* s) {
        if (fputs(s, out) == EOF) failed = 1;
    };
    for (qirMsgComponent* p = First(); p; p = Next(p)) {
        put("--");
        put(boundary);
        put("\n");
        qirContentType& ct = p->ContentType();
        ct.BuildHeader();
        if (p->IsMultipart() && ct.boundary == boundary) {
            // Boundaries made in the same second by the same process are
            // equal; a nested one must differ from every enclosing one.
            qirString old = ct.boundary;
            qirString fresh = old;
            char suffix[16];
            snprintf(suffix, sizeof suffix, ".%d", depth + 1);
            fresh.Append(suffix);
            std::string header = Str(ct.header);
            size_t at = header.find(Str(old));
            if (at != std::string::npos) header.replace(at, old.Length(), Str(fresh));
            ct.header = header.c_str();
            ct.boundary = fresh;
        }
        put(Str(ct.header));
        put("\n");
        int r = p->IsMultipart()
                    ? static_cast<qirMsgMultipartComponent*>(p)->ExportParts(out, Str(ct.boundary), depth + 1)
                    : p->ExportBody(out, boundary);
        if (r != qirOK) QIR_REPORT(qirLogError, "Error(<%s>,%d):Error ExportMIME10!", sourceName, __LINE__);
        put("\n");
    }
    put("--");
    put(boundary);
    put("--\n");
    return failed || ferror(out) ? qirWriteError : qirOK;
}

// ---------------------------------------------------------------- store

template <class Out>
static void PutBodyKeys(Out& out, const qirMsgComponent* part)
{
    const qirContentType& ct = part->ContentType();
    out.Begin("MsgBody");
    out.Leaf("ENCODING", {std::to_string(ct.encoding).c_str()});
    out.Leaf("NAME", {part->Path().Basename().Text()});
    out.Leaf("STYPE", {ct.type.Text()});
    out.Leaf("SSUBTYPE", {ct.subtype.Text()});
    out.Leaf("SENCODING", {ct.encodingName.Text()});
    out.Leaf("SNAME", {ct.partName.Text()});
    out.Leaf("SCHARSET", {ct.charset.Text()});
    out.Leaf("FULLCONTENT", {ct.header.Text()});
    out.End();
}

void qirPutBodyKeys(qirConfigurationText& out, const qirMsgComponent* part) { PutBodyKeys(out, part); }
void qirPutBodyKeys(qirConfigurationOverlay& out, const qirMsgComponent* part) { PutBodyKeys(out, part); }

int qirMsgMultipartComponent::SaveParts()
{
    const char* dir = Str(*path_);
    if (!inNewDirectory_ && access(dir, W_OK) != 0 && mkdir(dir, 0700) != 0) return qirFailed;
    // The file is made whole each time: written as it is made.
    qirConfigurationText out;
    out.Begin("MsgBody");
    int n = 0;
    for (qirMsgComponent* p = First(); p; p = Next(p), ++n) {
        if (p->IsMultipart() && static_cast<qirMsgMultipartComponent*>(p)->SaveParts() != qirOK) {
            QIR_REPORT(qirLogError, "ERROR(<%s>,%d): Error saving", sourceName, __LINE__);
            return qirFailed;
        }
        const qirContentType& ct = p->ContentType();
        out.Leaf(std::to_string(n).c_str(),
                 {p->Path().Basename().Text(), Str(ct.type), Str(ct.subtype), std::to_string(ct.encoding).c_str(),
                  Str(ct.encodingName), Str(ct.partName), Str(ct.charset), Str(ct.header)});
    }
    out.End();
    // In a new message directory the message's own "Body.PARSED", written
    // last, is what makes the parts a message; this one can go in place.
    return out.Save((std::string(dir) + "/Body.PARSED").c_str(), inNewDirectory_) == qirOK ? qirOK : qirFailed;
}

int qirMsgMultipartComponent::Save()
{
    if (SaveParts() != qirOK) return qirFailed;
    if (path_->IndexOf('/') < 0) return qirNotOpen;
    qirConfiguration tree;
    qirConfigurationOverlay out(&tree, "MsgBody");
    qirPutBodyKeys(out, this);
    qirString parsed = path_->Dirname().Concat("/Body.PARSED");
    return tree.UpdateFile(parsed.Text()) == qirOK ? qirOK : qirFailed;
}

// Only an entry of the multipart directory itself.
static int IsPartName(const char* name)
{
    return *name && !strchr(name, '/') && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

// Adds the sizes of the parts a multipart directory lists, as Load and
// Size would count them: 0, or -1 where a load would stop (the parts
// before it counted).
static int AddPartSizes(const std::string& dir, int* total)
{
    qirConfiguration tree;
    if (tree.Load((dir + "/Body.PARSED").c_str()) != qirOK) return qirFailed;
    qirConfiguration* rows = tree.Child("MsgBody");
    for (qirConfiguration* row = rows ? rows->FirstChild() : nullptr; row; row = qirConfiguration::NextChild(row)) {
        qirString name = row->Value(0), type = row->Value(1);
        if (!IsPartName(Str(name))) return qirFailed;
        std::string path = dir + "/" + Str(name);
        if (type.EqualsIgnoreCase("multipart")) {
            if (AddPartSizes(path, total) != qirOK) return qirFailed;
        } else if (int s = qirFileSize(path.c_str()); s > 0) {
            *total += s;
        }
    }
    return qirOK;
}

int qirMsgMultipartComponent::SizeOnDisk(const char* directory)
{
    int total = 0;
    AddPartSizes(directory ? directory : "", &total);
    return total;
}

int qirMsgMultipartComponent::Load()
{
    std::string dir = Str(*path_);
    qirConfiguration tree;
    if (tree.Load((dir + "/Body.PARSED").c_str()) != qirOK) return qirFailed;
    parts_.Remove(nullptr);
    qirConfiguration* rows = tree.Child("MsgBody");
    if (!rows) return qirOK;
    for (qirConfiguration* row = rows->FirstChild(); row; row = qirConfiguration::NextChild(row)) {
        // The eight values in one walk of the row, without copies.
        const char* v[8] = {"", "", "", "", "", "", "", ""};
        const qirStringList* values = row->ValueList();
        int k = 0;
        for (const qirString* s = values->First(); s && k < 8; s = qirStringList::Next(s)) v[k++] = Str(*s);
        const char* name = v[0];
        if (!IsPartName(name)) return qirFailed;
        qirContentType ct;
        ct.type = v[1];
        ct.subtype = v[2];
        ct.encoding = atoi(v[3]);
        ct.encodingName = v[4];
        ct.partName = v[5];
        ct.charset = v[6];
        ct.header = v[7];
        qirPath path((dir + "/" + name).c_str());
        if (ct.IsMultipart()) {
            qirMsgMultipartComponent* multi = new qirMsgMultipartComponent(path, ct, Existing());
            parts_.Append(multi);
            if (multi->Load() != qirOK) return qirFailed;
        } else {
            parts_.Append(LoadedPart(path, ct));
        }
    }
    return qirOK;
}

int qirMsgMultipartComponent::CopyFrom(const qirMsgComponent* otherPart)
{
    if (!otherPart || !otherPart->IsMultipart() || otherPart == this) return qirFailed;
    const qirMsgMultipartComponent* other = static_cast<const qirMsgMultipartComponent*>(otherPart);
    std::string dir = Str(*path_);
    if (access(dir.c_str(), W_OK) != 0 && mkdir(dir.c_str(), 0700) != 0) return qirFailed;
    for (qirMsgComponent* p = other->First(); p; p = Next(p)) {
        qirPath path((dir + "/" + Str(p->Path().Basename())).c_str());
        if (p->IsMultipart()) {
            qirMsgMultipartComponent* multi = new qirMsgMultipartComponent(path, p->ContentType());
            parts_.Append(multi);
            if (multi->CopyFrom(p) != qirOK) return qirFailed;
        } else {
            if (qirCopyFile(Str(p->Path()), Str(path)) != 0) {
                QIR_REPORT(qirLogError, "Here(<%s>,%d)): ERROR: cp <%s> => <%s>", sourceName, __LINE__,
                           Str(p->Path()), Str(path));
                return qirFailed;
            }
            parts_.Append(LoadedPart(path, p->ContentType()));
        }
    }
    contentType_ = other->contentType_;
    return qirOK;
}

int qirMsgMultipartComponent::RemoveFromDisk()
{
    const char* dir = Str(*path_);
    if (access(dir, W_OK) != 0) return qirFailed;
    std::string parsed = std::string(dir) + "/Body.PARSED";
    if (access(parsed.c_str(), W_OK) == 0 && unlink(parsed.c_str()) != 0 && errno != ENOENT)
        return qirUnlinkFailed;
    for (qirMsgComponent* p = First(); p; p = Next(p))
        if (p->RemoveFromDisk() != qirOK) return qirFailed;
    if (rmdir(dir) != 0 && qirRemoveDirectory(dir, 0) != 0) {
        QIR_REPORT(qirLogError, "Error removing(<%s>,%d):", sourceName, __LINE__);
        return qirUnlinkFailed;
    }
    return qirOK;
}

int qirMsgMultipartComponent::Size()
{
    int total = 0;
    for (qirMsgComponent* p = First(); p; p = Next(p)) {
        int s = p->Size();
        if (s > 0) total += s;
    }
    return total;
}

void qirMsgMultipartComponent::MoveTo(const qirPath& directory)
{
    qirMsgComponent::MoveTo(directory);
    for (qirMsgComponent* p = First(); p; p = Next(p)) p->MoveTo(*path_);
}

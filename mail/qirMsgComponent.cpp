#include "qirMsgComponent.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "qirCoder.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirStatus.h"
#include "qirUtilities.h"

static const char sourceName[] = "qirMsgComponent";

static const char* Str(const qirString& s) { return s.Text() ? s.Text() : ""; }

qirMsgComponent::qirMsgComponent(const qirPath& path, const qirContentType& type)
    : qirObject(7), path_(new qirPath(path)), contentType_(type)
{
    if (!contentType_.IsMultipart() && !path_->IsEmpty()) {
        // Never truncates: an existing file stays as it is.
        int fd = open(path_->Text(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) close(fd);
    }
}

qirMsgComponent::qirMsgComponent(const qirMsgComponent& other)
    : qirObject(7), path_(new qirPath(*other.path_)), contentType_(other.contentType_) {}

qirMsgComponent::~qirMsgComponent() { delete path_; }

int qirMsgComponent::ImportBody(FILE* in, const char* boundary)
{
    if (path_->IsEmpty()) return qirNotSupported;
    int status = 0;
    qirCoder* coder = qirCoder::Create(contentType_.encoding, boundary, &status);
    if (!coder) {
        if (qirLog)
            qirLog->Report(qirLogError, "Error(<%s>,%d): Unknown encoding: <%s, %d>!", sourceName, __LINE__,
                           Str(contentType_.encodingName), contentType_.encoding);
        return qirFailed;
    }
    int r = qirCoder::DecodeToFile(coder, in, path_->Text(), inNewDirectory_);
    delete coder; // the reader reads on to the boundary line
    if (r < 0) {
        if (qirLog) qirLog->ReportContent(qirLogError, "Error decoding(<%s>,%d):", sourceName, __LINE__);
        return qirFailed;
    }
    return status == qirRFileClosing ? 1 : 0;
}

int qirMsgComponent::ExportBody(FILE* out, const char* boundary)
{
    FILE* in = fopen(path_->Text() ? path_->Text() : "", "rb");
    if (!in) {
        if (qirLog) qirLog->Report(qirLogError, "Error encoding!");
        return qirCannotOpen;
    }
    qirCoder* coder = qirCoder::Create(contentType_.encoding, boundary, nullptr);
    int r = qirFailed;
    if (coder) {
        qirString name = path_->Basename();
        r = coder->Encode(in, out, Str(name));
        delete coder;
    }
    fclose(in);
    if (r != 0) {
        if (qirLog) qirLog->Report(qirLogError, "Error encoding!");
        return qirWriteError;
    }
    return qirOK;
}

int qirMsgComponent::CopyToPath(const char* target)
{
    return qirCopyFile(Str(*path_), target) == 0 ? qirOK : qirWriteError;
}

// The directory's "Body.PARSED", or "" when the path has no "/".
static qirString ParsedFile(const qirPath& path)
{
    if (path.IndexOf('/') < 0) return qirString("");
    return path.Dirname().Concat("/Body.PARSED");
}

int qirMsgComponent::Save()
{
    qirString file = ParsedFile(*path_);
    if (file.IsEmpty()) return qirNotOpen;
    qirConfiguration tree;
    tree.SetInt("MsgBody.ENCODING", contentType_.encoding);
    tree.Set("MsgBody.NAME", Str(path_->Basename()));
    tree.Set("MsgBody.STYPE", Str(contentType_.type));
    tree.Set("MsgBody.SSUBTYPE", Str(contentType_.subtype));
    tree.Set("MsgBody.SENCODING", Str(contentType_.encodingName));
    tree.Set("MsgBody.SNAME", Str(contentType_.partName));
    tree.Set("MsgBody.SCHARSET", Str(contentType_.charset));
    tree.Set("MsgBody.FULLCONTENT", Str(contentType_.header));
    return tree.UpdateFile(file.Text()) == qirOK ? qirOK : qirFailed;
}

int qirMsgComponent::Load()
{
    qirString file = ParsedFile(*path_);
    if (file.IsEmpty()) return qirNotOpen;
    qirConfiguration tree;
    if (tree.Load(file.Text()) != qirOK) return qirFailed;
    int code;
    if (tree.GetInt("MsgBody.ENCODING", &code) != qirOK) return qirFailed;
    contentType_.encoding = code;
    auto get = [&](const char* key) { return qirString(Str(tree.Get(key))); };
    contentType_.type = get("MsgBody.STYPE");
    contentType_.subtype = get("MsgBody.SSUBTYPE");
    contentType_.encodingName = get("MsgBody.SENCODING");
    contentType_.partName = get("MsgBody.SNAME");
    contentType_.charset = get("MsgBody.SCHARSET");
    contentType_.header = get("MsgBody.FULLCONTENT");
    return qirOK;
}

int qirMsgComponent::CopyFrom(const qirMsgComponent* other)
{
    if (!other) return qirFailed;
    if (qirCopyFile(Str(*other->path_), Str(*path_)) != 0) {
        if (qirLog)
            qirLog->Report(qirLogError, "ERROR: (<%s>,%d)): cp <%s><%s>", sourceName, __LINE__,
                           Str(*other->path_), Str(*path_));
        return qirFailed;
    }
    contentType_ = other->contentType_;
    return qirOK;
}

int qirMsgComponent::RemoveFromDisk()
{
    if (path_->IsEmpty()) return qirOK;
    if (access(path_->Text(), W_OK) == 0 && unlink(path_->Text()) != 0 && errno != ENOENT)
        return qirUnlinkFailed;
    return qirOK;
}

int qirMsgComponent::Size() { return qirFileSize(Str(*path_)); }

void qirMsgComponent::MoveTo(const qirPath& directory)
{
    qirString base = path_->Basename();
    path_->Assign(qirString(Str(directory)).Concat('/').Concat(base));
}

// ---------------------------------------------------------------- names from mail

// Length of a well-formed UTF-8 sequence at p that is safe to show (no C1
// controls, no line or paragraph separators, no direction overrides), or 0.
static int SafeUtf8(const unsigned char* p, const unsigned char* end)
{
    int n = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC2 ? 2 : 0;
    if (n == 0 || p[0] > 0xF4 || end - p < n) return 0;
    unsigned cp = p[0] & (0x7F >> n);
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (p[i] & 0x3F);
    }
    static const unsigned least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    if (cp <= 0x9F || (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0xFEFF)
        return 0;
    return n;
}

qirString qirMsgComponent::SafeName(const char* name, int limit)
{
    if (!name) name = "";
    const char* last = name;
    for (const char* p = name; *p; ++p)
        if (*p == '/' || *p == '\\') last = p + 1;
    const unsigned char* p = (const unsigned char*)last;
    const unsigned char* end = p + strlen(last);
    std::string out;
    while (p < end) {
        unsigned c = *p;
        if (c < 0x80) {
            int ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                     || strchr("._-+,@", (int)c);
            out += ok ? (char)c : '_';
            ++p;
        } else if (int n = SafeUtf8(p, end)) {
            out.append((const char*)p, n);
            p += n;
        } else {
            out += '_';
            ++p;
        }
    }
    if ((int)out.size() > limit) {
        // Keep a short extension; never cut a character in two.
        size_t dot = out.rfind('.');
        std::string ext = dot != std::string::npos && dot > 0 && out.size() - dot <= 17 ? out.substr(dot) : "";
        size_t keep = limit - ext.size();
        while (keep > 0 && ((unsigned char)out[keep] & 0xC0) == 0x80) --keep;
        out = out.substr(0, keep) + ext;
    }
    return qirString(out.c_str());
}

static int IsReservedName(const std::string& name)
{
    static const char* const reserved[] = {"Header.822", "Body.PARSED", "MsgBody.txt", "Name.txt", "Icon.tif",
                                           "XFace.pbm",  "QIR.Msg.Body.Mixed", "LOCK"};
    for (const char* r : reserved)
        if (!strcasecmp(name.c_str(), r)) return 1;
    return 0;
}

// Extensions the stores and locks use for their own files.
static int IsReservedExtension(const std::string& ext)
{
    return !strncasecmp(ext.c_str(), "tmp", 3) || !strcasecmp(ext.c_str(), "LCK") || !strcasecmp(ext.c_str(), "LOCK");
}

int qirMsgComponent::NameTaken(const std::string& dir, const std::string& name,
                               const std::unordered_set<std::string>* made)
{
    if (made) return made->count(name) != 0;
    // Only an entry that is there is in the way; other failures show later.
    struct stat st;
    return lstat((dir + "/" + name).c_str(), &st) == 0;
}

static int Usable(const std::string& dir, const std::string& name, const std::unordered_set<std::string>* made)
{
    if (name.empty() || name[0] == '.' || IsReservedName(name)) return 0;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && IsReservedExtension(name.substr(dot + 1))) return 0;
    return !qirMsgComponent::NameTaken(dir, name, made);
}

// Numbers tried after the first few, so that many parts of one name cost
// a bounded number of probes each.
static unsigned long nameCounter = 0;

qirPath qirMsgComponent::StoredPath(const char* directory, const char* name, const qirContentType& type,
                                    const std::unordered_set<std::string>* made)
{
    std::string dir = directory && *directory ? directory : ".";
    std::string safe = Str(SafeName(name, StoredNameLimit));
    std::string stem, ext;
    if (safe.empty() || safe[0] == '.') {
        stem = "Part";
        if (type.IsText()) {
            ext = ".txt";
        } else {
            std::string sub = Str(SafeName(Str(type.subtype), 16));
            if (!sub.empty() && sub[0] != '.' && !IsReservedExtension(sub)) ext = "." + sub;
        }
    } else {
        if (Usable(dir, safe, made)) return qirPath((dir + "/" + safe).c_str());
        size_t dot = safe.rfind('.');
        if (dot != std::string::npos && dot > 0 && !IsReservedExtension(safe.substr(dot + 1))) {
            stem = safe.substr(0, dot);
            ext = safe.substr(dot);
        } else {
            // A reserved extension would stay reserved after any suffix.
            stem = safe;
            if (dot != std::string::npos) stem[dot] = '_';
        }
    }
    std::string candidate;
    for (unsigned long n = 1;; ++n) {
        unsigned long number = n <= 16 ? n : 16 + ++nameCounter;
        candidate = stem + "_" + std::to_string(number) + ext;
        if (Usable(dir, candidate, made)) break;
    }
    return qirPath((dir + "/" + candidate).c_str());
}

#include "qirMsg.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "qirAddress.h"
#include "qirAtomicFile.h"
#include "qirSyncBatch.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirFieldParsers.h"
#include "qirHeaderScanner.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"
#include "qirStatus.h"
#include "qirUtilities.h"

static const char sourceName[] = "qirMsg";
static const char mixedName[] = "QIR.Msg.Body.Mixed";

static const char* Str(const qirString& s) { return s.Text() ? s.Text() : ""; }
static const char* Str(const qirString* s) { return s && s->Text() ? s->Text() : ""; }

#define QIR_REPORT(level, ...) \
    do { \
        if (qirLog) qirLog->Report(level, __VA_ARGS__); \
    } while (0)

// An address list that owns its addresses.
namespace {
class qirAddressList : public qirList {
public:
    ~qirAddressList() override { Remove(nullptr); }
};

// The five groups of "Body.PARSED", in the order of the lists.
const char* const groupNames[5] = {"groupTO", "groupCC", "groupBCC", "groupFROM", "groupREPLYTO"};
} // namespace

void qirCopyAddresses(qirList* target, const qirList* source)
{
    if (!target || !source) return;
    for (qirObject* o = source->First(); o; o = qirList::Next(o))
        target->Append(new qirAddress(*static_cast<const qirAddress*>(o)));
}

static void ReplaceAddresses(qirList* target, const qirList* source)
{
    if (target == source) return;
    target->Remove(nullptr);
    qirCopyAddresses(target, source);
}

// What a summary holds.
void qirMsg::Init()
{
    from_ = &fromList_;
    subject_ = &subjectText_;
    subjectText_ = "";
}

// What a summary leaves out, made where it is missing.
void qirMsg::AllocateRest()
{
    if (!contentType_) {
        contentType_ = new qirContentType;
        // Send relies on code 7bit while the name still says 8bit.
        contentType_->encoding = qirEnc7bit;
    }
    if (!to_) to_ = new qirAddressList;
    if (!cc_) cc_ = new qirAddressList;
    if (!bcc_) bcc_ = new qirAddressList;
    if (!replyTo_) replyTo_ = new qirAddressList;
    if (!face_) face_ = new qirXFace;
    if (!fields_) fields_ = new qirHeaderFields;
    if (!mimeVersion_) mimeVersion_ = new qirString("");
}

qirMsg::qirMsg(const qirPath& path) : qirObject(3), directory_(path)
{
    Bound();
    Init();
    AllocateRest();
    Open(0);
}

qirMsg::qirMsg(const qirPath& path, Summary) : qirObject(3), directory_(path)
{
    Bound();
    Init();
    Open(1);
}

void qirMsg::Open(int summary)
{
    // An existing message is the usual case (a folder being opened): one
    // test for it.  A directory that is there but not writable is neither
    // made nor loaded.
    if (access(Str(directory_), W_OK) != 0) {
        AllocateRest();
        if (mkdir(Str(directory_), 0700) != 0) return;
        fresh_ = 1;
        body_ = new qirMsgComponent(qirPath(directory_.Concat("/MsgBody.txt")), *contentType_);
        return;
    }
    if (summary) {
        partial_ = 1;
        if (LoadSummary() == qirOK) return;
        // Read whole instead, from a clean start.  What does not load even
        // so is no message: the folder reports all such directories at
        // once, not one box per directory.
        partial_ = 0;
        from_->Remove(nullptr);
        *subject_ = "";
        date_ = 0;
        isRead_ = isRemoved_ = 0;
        modified_ = 1;
        AllocateRest();
        if (Load() != qirOK) broken_ = 1;
        return;
    }
    if (Load() != qirOK)
        QIR_REPORT(qirLogError, "Error loading(<%s>,%d):path:<%s>", sourceName, __LINE__, Str(directory_));
}

int qirMsg::Complete()
{
    if (partial_ != 1) return partial_ == 2 ? qirFailed : qirOK;
    // Flags changed in memory are kept over what the disk says.
    const int read = isRead_, removed = isRemoved_, changed = modified_;
    int r = Load();
    if (r != qirOK)
        QIR_REPORT(qirLogError, "Error loading(<%s>,%d):path:<%s>", sourceName, __LINE__, Str(directory_));
    if (changed) {
        isRead_ = read;
        isRemoved_ = removed;
        modified_ = 1;
    }
    return r;
}

qirMsg::qirMsg(const qirPath& path, Blank) : qirObject(3), directory_(path)
{
    Bound();
    Init();
    AllocateRest();
    // The import makes the body; an empty default one would only be removed.
    fresh_ = mkdir(Str(directory_), 0700) == 0;
}

qirMsg::qirMsg(const qirPath& path, const qirMsg* source) : qirObject(3), directory_(path)
{
    Bound();
    Init();
    AllocateRest();
    if (access(Str(directory_), F_OK) != 0 && mkdir(Str(directory_), 0700) != 0) {
        QIR_REPORT(qirLogError, "Here(<%s>,%d): ERROR makinfg directory <%s>", sourceName, __LINE__,
                   Str(directory_));
    } else if (source && CopyFrom(source) != qirOK) {
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d):Error loading", sourceName, __LINE__);
    }
    modified_ = 1;
}

static qirMsgComponent* CopyBody(const qirMsgComponent* body)
{
    if (!body) return nullptr;
    if (body->IsMultipart())
        return new qirMsgMultipartComponent(*static_cast<const qirMsgMultipartComponent*>(body));
    return new qirMsgComponent(*body);
}

qirMsg::qirMsg(const qirMsg& other) : qirObject(3), directory_(other.directory_)
{
    other.Need();
    Bound();
    Init();
    AllocateRest();
    qirCopyAddresses(to_, other.to_);
    qirCopyAddresses(cc_, other.cc_);
    qirCopyAddresses(bcc_, other.bcc_);
    qirCopyAddresses(from_, other.from_);
    qirCopyAddresses(replyTo_, other.replyTo_);
    *subject_ = *other.subject_;
    *face_ = *other.face_;
    *mimeVersion_ = *other.mimeVersion_;
    *fields_ = *other.fields_;
    date_ = other.date_;
    *contentType_ = *other.contentType_;
    body_ = CopyBody(other.body_);
    isRead_ = other.isRead_;
    isRemoved_ = other.isRemoved_;
    modified_ = 1;
}

qirMsg::~qirMsg()
{
    delete to_;
    delete cc_;
    delete bcc_;
    fromList_.Remove(nullptr);
    delete replyTo_;
    delete contentType_;
    delete face_;
    delete mimeVersion_;
    delete fields_;
    delete body_;
}

// ---------------------------------------------------------------- accessors

int qirMsg::Size()
{
    if (partial_ == 1) return size_;
    return body_ ? body_->Size() : 0;
}

// The size the body object would give, without making it: the file's (-1
// when it is missing), or the sum of the parts a multipart directory
// lists.  A summary reads it once: nothing changes the body of a summary.
static int BodySize(const std::string& path, int multipart)
{
    if (multipart) return qirMsgMultipartComponent::SizeOnDisk(path.c_str());
    return qirFileSize(path.c_str());
}

const unsigned char* qirMsg::XFaceBits() const
{
    if (partial_ == 1 && !faceRead_) {
        // Most messages have none: one failed open says so, and only a
        // message with a picture keeps one.
        qirMsg* self = const_cast<qirMsg*>(this);
        self->faceRead_ = 1;
        qirXFace face;
        if (face.ReadPBM((std::string(Str(directory_)) + "/XFace.pbm").c_str()) == qirOK && !face.IsEmpty())
            self->face_ = new qirXFace(face);
    }
    return !face_ || face_->IsEmpty() ? nullptr : face_->XbmBits();
}

// Keeps canonical_ with the directory.
void qirMsg::Bound()
{
    const char* path = Str(directory_);
    const char* base = strrchr(path, '/');
    base = base ? base + 1 : path;
    canonical_ = -1;
    if (strncmp(base, "Message", 7) != 0) return;
    const char* digits = base + 7;
    size_t n = strlen(digits);
    if (n == 0 || n > 9 || strspn(digits, "0123456789") != n || (digits[0] == '0' && n > 1)) return;
    canonical_ = atoi(digits);
}

int qirMsg::Number() const
{
    qirString base = directory_.Basename();
    if (base.Length() <= 7) return 0;
    return (int)strtol(Str(base) + 7, nullptr, 0);
}

// A change other than the flags makes the message whole first, so that
// the save that follows writes all of it.
void qirMsg::SetTo(const qirList* l) { Need(); modified_ = 1; if (l) ReplaceAddresses(to_, l); }
void qirMsg::SetCc(const qirList* l) { Need(); modified_ = 1; if (l) ReplaceAddresses(cc_, l); }
void qirMsg::SetBcc(const qirList* l) { Need(); modified_ = 1; if (l) ReplaceAddresses(bcc_, l); }
void qirMsg::SetFrom(const qirList* l) { Need(); modified_ = 1; if (l) ReplaceAddresses(from_, l); }
void qirMsg::SetReplyTo(const qirList* l) { Need(); modified_ = 1; if (l) ReplaceAddresses(replyTo_, l); }
void qirMsg::AddTo(const qirAddress* a) { Need(); modified_ = 1; if (a) to_->Append(new qirAddress(*a)); }
void qirMsg::AddCc(const qirAddress* a) { Need(); modified_ = 1; if (a) cc_->Append(new qirAddress(*a)); }
void qirMsg::AddBcc(const qirAddress* a) { Need(); modified_ = 1; if (a) bcc_->Append(new qirAddress(*a)); }
void qirMsg::AddFrom(const qirAddress* a) { Need(); modified_ = 1; if (a) from_->Append(new qirAddress(*a)); }
void qirMsg::AddReplyTo(const qirAddress* a) { Need(); modified_ = 1; if (a) replyTo_->Append(new qirAddress(*a)); }
void qirMsg::SetSubject(const qirString* s) { Need(); modified_ = 1; if (s) *subject_ = *s; }
void qirMsg::SetDate(time_t t) { Need(); modified_ = 1; date_ = t; }
void qirMsg::SetRead(int flag) { modified_ = 1; isRead_ = flag ? 1 : 0; }
void qirMsg::SetRemoved(int flag) { modified_ = 1; isRemoved_ = flag ? 1 : 0; }
void qirMsg::SetFace(const qirXFace* face) { Need(); modified_ = 1; if (face) *face_ = *face; }

void qirMsg::SetFields(const qirHeaderFields* f)
{
    Need();
    modified_ = 1;
    if (!f || f == fields_) return;
    qirHeaderFields* copy = new qirHeaderFields(*f);
    delete fields_;
    fields_ = copy;
}

int qirMsg::SetBody(qirMsgComponent* body)
{
    Need();
    modified_ = 1;
    if (body_ && body_ != body) {
        if (body_->RemoveFromDisk() != qirOK) {
            QIR_REPORT(qirLogError, "Error(<%s>,%d):", sourceName, __LINE__);
            return qirFailed;
        }
        delete body_;
    }
    body_ = body;
    return qirOK;
}

// Removes the body from disk and deletes it: 0, or -1 (reported).
int qirMsg::DropBody(const char* what, int line)
{
    if (!body_) return qirOK;
    if (body_->RemoveFromDisk() != qirOK) {
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d): Error removing %s", sourceName, line, what);
        return qirFailed;
    }
    delete body_;
    body_ = nullptr;
    return qirOK;
}

// ---------------------------------------------------------------- load and save

// A stored body name must name an entry of the directory itself.
static int IsPlainEntryName(const qirString& name)
{
    const char* s = name.Text();
    if (!s || !*s || strchr(s, '/')) return 0;
    return strcmp(s, ".") != 0 && strcmp(s, "..") != 0;
}

// The message's own keys of "Body.PARSED" (steps shared by a whole load and
// a summary, which takes only the FROM list of the five): 0, or -1 at the
// first value that does not read, the values before it kept.
int qirMsg::ReadParsed(const qirConfiguration& tree, int whole)
{
    qirList* lists[5] = {to_, cc_, bcc_, from_, replyTo_};
    for (int i = 0; i < 5; ++i) {
        if (!whole && lists[i] != from_) continue;
        qirConfiguration* group = tree.Child(groupNames[i]);
        if (!group) continue;
        lists[i]->Remove(nullptr);
        for (qirConfiguration* c = group->FirstChild(); c; c = qirConfiguration::NextChild(c)) {
            qirString mailbox = c->Value(0), name = c->Value(1);
            // The copy keeps only non-empty strings: an empty name is none.
            qirAddress read(&mailbox, &name);
            lists[i]->Append(new qirAddress(read));
        }
    }
    *subject_ = Str(tree.Get("SUBJ"));

    // Signed and 64-bit, so that -1 (an unreadable date) survives a save.
    qirString date = tree.Get("DATE");
    if (date.IsEmpty()) {
        date_ = 0;
    } else {
        char* end = nullptr;
        errno = 0;
        long long v = strtoll(date.Text(), &end, 10);
        if (*end || errno) return qirFailed;
        date_ = (time_t)v;
    }
    if (tree.GetInt("isRead", &isRead_) != qirOK) return qirFailed;
    if (tree.GetInt("isRemoved", &isRemoved_) != qirOK) return qirFailed;
    return qirOK;
}

int qirMsg::Load()
{
    AllocateRest();
    int r = LoadWhole();
    if (r == qirOK) {
        partial_ = 0;
    } else if (partial_ == 1) {
        partial_ = 2;
    }
    return r;
}

int qirMsg::LoadSummary()
{
    qirConfiguration tree;
    if (tree.Load((std::string(Str(directory_)) + "/Body.PARSED").c_str()) != qirOK) return qirFailed;
    if (ReadParsed(tree, 0) != qirOK) return qirFailed;
    // The rest of what a whole load requires of the file, so that a summary
    // is made exactly where a whole load would succeed on it.
    int code;
    if (tree.GetInt("MsgBody.ENCODING", &code) != qirOK) return qirFailed;
    qirString name = tree.Get("MsgBody.NAME");
    if (!IsPlainEntryName(name)) return qirFailed;
    // The size too, which a list sorts by: one call for a single body.
    size_ = BodySize(std::string(Str(directory_)) + "/" + name.Text(),
                     tree.Get("MsgBody.STYPE").EqualsIgnoreCase("multipart"));
    storedRead_ = isRead_;
    storedRemoved_ = isRemoved_;
    modified_ = 0;
    return qirOK;
}

int qirMsg::LoadWhole()
{
    std::string dir = Str(directory_);
    // Read whole, then parsed from memory: a folder loads thousands of
    // these, and a stream per file costs more than the reading.  The buffer
    // stays for the next message.
    static std::string text;
    int r = qirReadWholeFile((dir + "/Header.822").c_str(), &text);
    if (r == qirCannotOpen) return qirCannotOpen;
    qirHeaderFields* fields = new qirHeaderFields;
    if (r == qirOK && !text.empty()) {
        FILE* header = fmemopen(&text[0], text.size(), "r");
        r = header ? fields->Read(header) : qirFailed;
        if (header) fclose(header);
    }
    if (text.capacity() > (1u << 16)) std::string().swap(text);
    if (r != qirOK) {
        delete fields;
        QIR_REPORT(qirLogError, "Here(<%s>,%d)): ERROR reading header", sourceName, __LINE__);
        return qirFailed;
    }
    delete fields_;
    fields_ = fields;

    qirConfiguration tree;
    if (tree.Load((dir + "/Body.PARSED").c_str()) != qirOK) return qirFailed;
    if (ReadParsed(tree, 1) != qirOK) return qirFailed;

    // Most messages have no picture: one failed open says so (a picture
    // that is there but cannot be read fails the load).
    std::string pbm = dir + "/XFace.pbm";
    int faceStatus = face_->ReadPBM(pbm.c_str()); // cleared first
    if (faceStatus != qirOK && faceStatus != qirCannotOpen) return qirFailed;

    int code;
    if (tree.GetInt("MsgBody.ENCODING", &code) != qirOK) return qirFailed;
    contentType_->encoding = code;
    contentType_->type = Str(tree.Get("MsgBody.STYPE"));
    contentType_->subtype = Str(tree.Get("MsgBody.SSUBTYPE"));
    contentType_->encodingName = Str(tree.Get("MsgBody.SENCODING"));
    qirString name = tree.Get("MsgBody.NAME");
    if (!IsPlainEntryName(name)) return qirFailed;
    qirPath bodyPath(qirString(dir.c_str()).Concat('/').Concat(name));
    // The body's description is in the tree read above (reading the file
    // again through the part's own Load would cost a second parse); all of
    // it, single or multipart, since a whole save writes all of it back.
    qirContentType ct(*contentType_);
    ct.partName = Str(tree.Get("MsgBody.SNAME"));
    ct.charset = Str(tree.Get("MsgBody.SCHARSET"));
    ct.header = Str(tree.Get("MsgBody.FULLCONTENT"));

    // The old body object goes, its files stay: they are the ones read now.
    delete body_;
    body_ = nullptr;
    if (contentType_->IsMultipart()) {
        qirMsgMultipartComponent* multi =
            new qirMsgMultipartComponent(bodyPath, ct, qirMsgMultipartComponent::Existing());
        body_ = multi;
        if (multi->Load() != qirOK) return qirFailed;
    } else {
        // Loading writes nothing: a missing body file is not made here.
        qirContentType placeholder(ct);
        placeholder.type = "multipart";
        body_ = new qirMsgComponent(bodyPath, placeholder);
        body_->ContentType() = ct;
    }
    modified_ = 0;
    return qirOK;
}

// Writes "Header.822" through a temporary file: 0; -8 it cannot be made;
// -1 a write failed.
int qirMsg::WriteHeader(int direct) const
{
    qirAtomicFile file((std::string(Str(directory_)) + "/Header.822").c_str(), direct);
    if (file.Open() != qirOK) return qirCannotCreate;
    if (fields_->Write(file.Stream()) != qirOK) {
        file.Abort();
        return qirFailed;
    }
    return file.Commit() == qirOK ? qirOK : qirFailed;
}

// A node with one value per argument, built without path lookups.
static qirConfiguration* Node(const char* name, const qirString& v0)
{
    qirConfiguration* n = new qirConfiguration(name);
    n->ValueList()->Set(v0, 0);
    return n;
}

// The message's own keys of "Body.PARSED", in their order, given to out (a
// qirConfigurationText or qirConfigurationOverlay).
template <class Out>
void qirMsg::PutSummary(Out& out) const
{
    const qirList* lists[5] = {to_, cc_, bcc_, from_, replyTo_};
    for (int i = 0; i < 5; ++i) {
        out.Begin(groupNames[i]);
        int n = 0;
        for (qirObject* o = lists[i]->First(); o; o = qirList::Next(o), ++n) {
            const qirAddress* a = static_cast<const qirAddress*>(o);
            out.Leaf(std::to_string(n).c_str(), {a->Mailbox().Text(), a->FullName().Text()});
        }
        out.End();
    }
    out.Leaf("SUBJ", {Str(subject_)});
    out.Leaf("DATE", {std::to_string((long long)date_).c_str()});
    out.Leaf("isRead", {std::to_string(isRead_).c_str()});
    out.Leaf("isRemoved", {std::to_string(isRemoved_).c_str()});
}

// A summary has only its flags to write, and nothing when they are as
// stored: the rest of the message is not rewritten.
int qirMsg::SaveFlags()
{
    if (isRead_ != storedRead_ || isRemoved_ != storedRemoved_) {
        qirConfiguration tree;
        char text[16];
        snprintf(text, sizeof text, "%d", isRead_);
        tree.Append(Node("isRead", text));
        snprintf(text, sizeof text, "%d", isRemoved_);
        tree.Append(Node("isRemoved", text));
        if (tree.UpdateFile((std::string(Str(directory_)) + "/Body.PARSED").c_str()) != qirOK) return qirFailed;
        storedRead_ = isRead_;
        storedRemoved_ = isRemoved_;
    }
    modified_ = 0;
    return qirOK;
}

int qirMsg::Save()
{
    if (!modified_) return qirOK;
    if (partial_) return SaveFlags();
    std::string dir = Str(directory_);
    // Only the first attempt counts as new: after a failed one, files may be
    // there.
    const int fresh = fresh_;
    fresh_ = 0;
    if (!fresh && access(dir.c_str(), W_OK) != 0 && mkdir(dir.c_str(), 0700) != 0) return qirFailed;
    if (!fields_) return qirNotOpen;
    // A directory made by this object is no message until its "Body.PARSED"
    // is renamed in, last: a crash before leaves a directory that does not
    // load, never a message with a half-written file.  So the other files
    // need no temporary names, and nothing old is there to merge or remove.
    int r = WriteHeader(fresh);
    if (r != qirOK) return r;

    std::string pbm = dir + "/XFace.pbm";
    if (!face_->IsEmpty()) {
        if (face_->WritePBM(pbm.c_str()) != qirOK) return qirFailed;
    } else if (!fresh && unlink(pbm.c_str()) != 0 && errno != ENOENT) {
        // A picture removed from the message must not come back on Load.
        return qirFailed;
    }

    // The message's own keys replace what the file held; keys written by
    // others stay.  A new message's file has nothing to keep: it is written
    // as it is made, without a tree.
    std::string parsed = dir + "/Body.PARSED";
    qirConfiguration tree;
    if (!fresh && access(parsed.c_str(), F_OK) == 0 && tree.Load(parsed.c_str()) != qirOK) return qirFailed;
    if (body_ && body_->IsMultipart() && static_cast<qirMsgMultipartComponent*>(body_)->SaveParts() != qirOK)
        return qirFailed;
    if (fresh) {
        qirConfigurationText out;
        PutSummary(out);
        if (body_) qirPutBodyKeys(out, body_);
        // In a directory that is synced and published whole (a fetch's
        // staging area), nothing reads the summary before it is complete.
        if (out.Save(parsed.c_str(), qirSyncBatch::Deferring()) != qirOK) return qirFailed;
    } else {
        qirConfigurationOverlay out(&tree, "MsgBody");
        PutSummary(out);
        if (body_) qirPutBodyKeys(out, body_);
        if (tree.Save(parsed.c_str()) != qirOK) return qirFailed;
    }
    modified_ = 0;
    return qirOK;
}

// ---------------------------------------------------------------- copy, remove, move

int qirMsg::CopyFrom(const qirMsg* source)
{
    if (!source || source == this || source->Whole() != qirOK) return qirFailed;
    Need();
    ReplaceAddresses(to_, source->to_);
    ReplaceAddresses(cc_, source->cc_);
    ReplaceAddresses(bcc_, source->bcc_);
    ReplaceAddresses(from_, source->from_);
    ReplaceAddresses(replyTo_, source->replyTo_);
    *subject_ = *source->subject_;
    *face_ = *source->face_;
    *mimeVersion_ = *source->mimeVersion_;
    *fields_ = *source->fields_;
    date_ = source->date_;
    isRead_ = source->isRead_;
    isRemoved_ = source->isRemoved_;
    modified_ = 1;
    if (source->body_) *contentType_ = source->body_->ContentType();
    if (DropBody("msg_body", __LINE__) != qirOK) return qirFailed;
    if (!source->body_) return qirOK;

    qirString ext = qirMsgComponent::SafeName(Str(contentType_->subtype), 16);
    qirString name("msg_body");
    if (!ext.IsEmpty() && ext.CharAt(0) != '.') name.Append('.').Append(ext);
    qirPath path(directory_.Concat('/').Concat(name));
    if (contentType_->IsMultipart()) {
        qirMsgMultipartComponent* multi = new qirMsgMultipartComponent(path, *contentType_);
        body_ = multi;
        if (multi->CopyFrom(source->body_) != qirOK) return qirFailed;
    } else {
        body_ = new qirMsgComponent(path, *contentType_);
        if (body_->CopyFrom(source->body_) != qirOK) return qirFailed;
    }
    return qirOK;
}

int qirMsg::RemoveFromDisk()
{
    std::string dir = Str(directory_);
    struct stat st;
    if (stat(dir.c_str(), &st) != 0) return qirCannotOpen;
    // Out of its place in one step before anything in it goes: a kill
    // during the removal leaves either the whole message or a hidden
    // directory that no folder lists (a folder's next load clears it away).
    // The body lies inside the directory and goes with it.
    std::string aside;
    if (qirPutAside(dir.c_str(), removedPrefix, &aside) != 0) {
        QIR_REPORT(qirLogError, "Error(<%s>,%d): Error:<%s>", sourceName, __LINE__, strerror(errno));
        return qirUnlinkFailed;
    }
    if (qirRemoveDirectory(aside.c_str(), 0) != 0)
        QIR_REPORT(qirLogWarning, "Error(<%s>,%d): <%s> removed only in part; <%s> is left", sourceName, __LINE__,
                   dir.c_str(), aside.c_str());
    modified_ = 1;
    fresh_ = 0;
    return qirOK;
}

int qirMsg::MoveTo(const qirPath& target)
{
    // One call for the usual case (a renumbering moves thousands): a rename
    // that never replaces; the tree is moved only across file systems.
    int renamed = qirRenameNoReplace(Str(directory_), Str(target)) == 0;
    struct stat st;
    if (!renamed && (errno == EEXIST || errno == ENOTEMPTY || lstat(Str(target), &st) == 0)) {
        QIR_REPORT(qirLogError, "Error moving! %s => %s - target directory exists!", Str(directory_), Str(target));
        return qirFailed;
    }
    if (!renamed && qirMoveDirectory(Str(directory_), Str(target), 0) != 0) {
        QIR_REPORT(qirLogError, "Error moving! %s => %s%s", Str(directory_), Str(target), strerror(errno));
        return qirFailed;
    }
    directory_ = qirDirectory(target);
    Bound();
    if (body_) body_->MoveTo(directory_);
    modified_ = 1;
    return qirOK;
}

// ---------------------------------------------------------------- multipart

int qirMsg::MakeMultipart()
{
    Need();
    if (body_ && body_->IsMultipart()) return qirOK;
    qirContentType mixed(body_ ? body_->ContentType() : *contentType_);
    mixed.type = "multipart";
    mixed.subtype = "mixed";
    mixed.partName = mixedName;
    // Inside the message directory, beside the body it replaces.
    std::string dir = std::string(Str(directory_)) + "/" + mixedName;
    struct stat st;
    int existed = lstat(dir.c_str(), &st) == 0;
    if (existed && !S_ISDIR(st.st_mode)) {
        QIR_REPORT(qirLogError, "Error copying file: <%s>=><%s> (%s, %d)", Str(body_ ? body_->Path() : directory_),
                   dir.c_str(), sourceName, __LINE__);
        return qirFailed;
    }
    qirMsgMultipartComponent* multi = new qirMsgMultipartComponent(qirPath(dir.c_str()), mixed);
    qirMsgComponent* first = nullptr;
    if (body_) {
        // The text is copied before the old body goes; if the copy fails the
        // message stays as it was.
        qirPath copy = qirMsgComponent::StoredPath(dir.c_str(), nullptr, body_->ContentType());
        if (lstat(dir.c_str(), &st) != 0 || body_->CopyToPath(Str(copy)) != qirOK) {
            QIR_REPORT(qirLogError, "Error copying file: <%s>=><%s> (%s, %d)", Str(body_->Path()), Str(copy),
                       sourceName, __LINE__);
            delete multi;
            if (!existed) qirRemoveDirectory(dir.c_str(), 0);
            return qirFailed;
        }
        first = new qirMsgComponent(copy, body_->ContentType());
        if (SetBody(multi) != qirOK) {
            unlink(Str(copy));
            delete first;
            delete multi;
            if (!existed) qirRemoveDirectory(dir.c_str(), 0);
            return qirFailed;
        }
        multi->Append(first);
    } else {
        SetBody(multi);
    }
    contentType_->type = "multipart";
    contentType_->subtype = "mixed";
    modified_ = 1;
    return qirOK;
}

// ---------------------------------------------------------------- import

int qirMsg::ImportRFC822(FILE* in)
{
    Need();
    modified_ = 1;
    fields_->Remove(nullptr);
    if (!in || fields_->Read(in) != qirOK) {
        QIR_REPORT(qirLogError, "Error fields splitting(<%s>,%d):", sourceName, __LINE__);
        return qirFailed;
    }
    ParseFields();
    // A directory this object has just made holds nothing yet: the body's
    // name is chosen without asking the disk.
    std::unordered_set<std::string> none;
    const std::unordered_set<std::string>* made = fresh_ && !body_ ? &none : nullptr;
    if (DropBody("msg body", __LINE__) != qirOK) return qirFailed;

    // Only a multipart is split: a boundary parameter on a single body must
    // not cut it short at a line that looks like a separator.
    const char* boundary = contentType_->IsMultipart() ? contentType_->boundary.Text() : nullptr;
    qirContentType ct(*contentType_);
    if (ct.IsMultipart() && (!boundary || !*boundary)) {
        // A multipart that cannot be split is kept whole as text: nothing is
        // lost, and the reader still sees it.  Not even an empty boundary
        // goes on: it would end the text at the first line "--".
        boundary = nullptr;
        ct.type = "text";
        ct.subtype = "plain";
        contentType_->type = ct.type;
        contentType_->subtype = ct.subtype;
    }
    qirPath path = qirMsgComponent::StoredPath(Str(directory_), nullptr, ct, made);
    if (ct.IsMultipart()) {
        body_ = new qirMsgMultipartComponent(path, ct);
    } else {
        // The decoder makes the file itself.
        qirContentType placeholder(ct);
        placeholder.type = "multipart";
        body_ = new qirMsgComponent(path, placeholder);
        body_->ContentType() = ct;
    }
    body_->SetInNewDirectory(fresh_);
    if (body_->ImportBody(in, boundary) < 0) {
        if (qirLog)
            qirLog->ReportContent(qirLogError, "Error(<%s>,%d): Error importing message", sourceName, __LINE__);
        return qirFailed;
    }
    return qirOK;
}

int qirMsg::ParseFields()
{
    Need();
    std::string text;
    for (qirPair* p = fields_->First(); p; p = qirHeaderFields::Next(p)) {
        text.assign(Str(p->Key()));
        for (char& c : text) c = (char)toupper((unsigned char)c);
        text.append(Str(p->Value()));
        int r = ParseField(text.c_str());
        if (r != qirOK && qirLog)
            qirLog->ReportContent(qirLogError, "--->PARSING_ERROR %d (<%s>,%d):in field '%s'\n", r, sourceName,
                                  __LINE__, text.c_str());
    }
    if (replyTo_->IsEmpty()) qirCopyAddresses(replyTo_, from_);
    return qirOK;
}

int qirMsg::ParseField(const char* text)
{
    Need();
    qirScanInput = text;
    qirHeaderScanner::Reset();
    int r = qirOK;
    switch (qirHeaderScanner::nextToken()) {
    case qirTokReplyTo:
        r = qirParseAddressList(replyTo_, qirTokEnd);
        break;
    case qirTokFrom:
        r = qirParseMailboxList(from_, qirTokEnd);
        break;
    case qirTokSender:
        r = qirHeaderScanner::nextToken() == qirTokMailbox ? qirParseMailbox(from_) : qirNotFound;
        break;
    case qirTokDate:
        if (qirHeaderScanner::nextToken() == qirTokDateText) date_ = qirParseDate(qirScanText);
        else r = qirNotFound;
        break;
    case qirTokTo:
    case qirTokCc:
    case qirTokBcc:
        // An imported message keeps every recipient in its TO list.
        r = qirParseAddressList(to_, qirTokEnd);
        break;
    case qirTokSubject: {
        char* s = qirScanRestAsText();
        *subject_ = s ? s : "";
        free(s);
        break;
    }
    case qirTokMimeVersion: {
        char* s = qirScanRestAsText();
        *mimeVersion_ = s ? s : "";
        free(s);
        break;
    }
    case qirTokContentType: {
        const char* colon = strchr(text, ':');
        contentType_->header = colon ? colon + 1 : "";
        r = qirParseContentType(contentType_);
        break;
    }
    case qirTokXFace: {
        char* s = qirScanRestAsText();
        std::string face;
        for (const char* p = s ? s : ""; *p; ++p)
            if (*p != ' ' && *p != '\t') face += *p;
        free(s);
        // A picture that does not decode leaves the message without one.
        face_->SetText(face.c_str());
        break;
    }
    case qirTokTransferEncoding:
        r = qirParseTransferEncoding(contentType_);
        break;
    case qirTokContentDisposition:
        r = qirParseContentDisposition(contentType_);
        break;
    case qirTokOtherField:
        break;
    default:
        r = qirNotFound;
        break;
    }
    // The scanner must reach the field's end before the next field starts.
    qirHeaderScanner::SkipToEnd();
    return r;
}

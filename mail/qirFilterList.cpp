#include "qirFilterList.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirStatus.h"

namespace {

const char* const Version = "2.0";

qirString Text(const qirConfiguration* node, const char* key, int index = 0)
{
    qirString v = node ? node->Get(key, index) : qirString();
    return v.Text() ? v : qirString("");
}

int Number(const qirConfiguration* node, const char* key, int index = 0)
{
    int n = 0;
    if (node) node->GetInt(key, &n, index);
    return n;
}

// 1 shifted left by a bit index from the old form; nothing for an index
// that names no bit.
int Bit(int index) { return index >= 0 && index < 31 ? 1 << index : 0; }

} // namespace

qirFilterList::qirFilterList() {}

qirFilterList::~qirFilterList()
{
    delete lock_; // unlocks
    qirList::Remove(nullptr);
}

int qirFilterList::Load()
{
    qirString dir = qirConfig.Get("FolderDir");
    std::string path = std::string(dir.Text() ? dir.Text() : "") + "/filter";
    return Load(path.c_str());
}

void qirFilterList::Add(qirFilter* filter)
{
    if (filter->Condition().Status() < 0 && qirLog) qirLog->Report(qirLogError, "No variable defined");
    Append(filter);
}

int qirFilterList::Load(const char* path)
{
    path_ = path;
    if (!lock_) {
        lock_ = new qirLock(qirPath(path_.Concat(".LOCK")));
        int r = lock_->Lock();
        if (r != qirOK && r != qirAlreadyOpen && qirLog)
            qirLog->Report(qirLogWarning, "Can't lock file: <%s>!", lock_->Path().Text());
    }
    qirConfiguration file;
    if (file.Load(path) != qirOK) {
        struct stat st;
        // A missing file is an empty list; one that is there but unreadable
        // must not be replaced by the little that was understood.
        if (stat(path, &st) == 0 || errno != ENOENT) loadFailed_ = 1;
        return qirUnreadable;
    }
    qirString version = file.Get("QIRFilterFileVersion");
    if (version.IsEmpty()) ReadOld(file);
    else if (version == Version) ReadCurrent(file);
    return qirOK;
}

int qirFilterList::Reload()
{
    qirList::Remove(nullptr);
    delete lock_; // unlocks
    lock_ = nullptr;
    loadFailed_ = 0;
    if (path_.IsEmpty()) return Load();
    qirString path = path_;
    return Load(path.Text());
}

void qirFilterList::ReadCurrent(const qirConfiguration& file)
{
    qirConfiguration* entries = file.Child("FilterEntries");
    if (!entries) return;
    for (qirConfiguration* e = entries->FirstChild(); e; e = qirConfiguration::NextChild(e)) {
        qirWildcard pattern(Text(e, "Condition.RegExp"), Number(e, "Condition.IsCase"));
        qirFilterCondition condition(Number(e, "Condition.Fields"), pattern, Text(e, "Condition.OtherFieldName"));
        Add(new qirFilter(Text(e, "Name"), Number(e, "IsActive"), condition, Number(e, "Actions.Action"),
                          qirPath(Text(e, "Actions.ActionCopyPath")), qirPath(Text(e, "Actions.ActionReplyPath")),
                          Text(e, "Actions.ActionForwardAddress")));
    }
}

void qirFilterList::ReadOld(const qirConfiguration& file)
{
    qirConfiguration* entries = file.Child("FilterEntries");
    if (!entries) return;
    for (qirConfiguration* e = entries->FirstChild(); e; e = qirConfiguration::NextChild(e)) {
        auto value = [e](int i) {
            qirString v = e->Value(i);
            return v.Text() ? v : qirString("");
        };
        auto number = [&value](int i) {
            int n = 0;
            value(i).ToInt(&n);
            return n;
        };
        int actions = Bit(number(3));
        qirString argument = value(6);
        qirWildcard pattern(value(2), number(4));
        qirFilterCondition condition(Bit(number(1)), pattern, value(5));
        Add(new qirFilter(value(0), number(7), condition, actions,
                          qirPath(actions == qirFilter::CopyAction ? argument : qirString("")),
                          qirPath(actions == qirFilter::ReplyAction ? argument : qirString("")),
                          actions == qirFilter::ForwardAction ? argument : qirString("")));
    }
}

int qirFilterList::Save(qirString* failure)
{
    auto failed = [&](int status, const char* what, int cause) {
        qirFailure(failure, what, path_, cause);
        return status;
    };
    if (!IsLocked()) return failed(qirLockNotHeld, "Another QIR holds the lock of filter file", 0);
    if (loadFailed_) return failed(qirUnreadable, "Not saved over the unread filter file", 0);
    qirConfiguration file;
    file.Set("QIRFilterFileVersion", Version);
    // Each entry's node is made here and filled through short paths: a
    // dotted path from the top would search every entry before it.
    qirConfiguration* entries = nullptr;
    int n = 0;
    for (qirFilter* f = First(); f; f = Next(f), ++n) {
        if (!entries) {
            entries = new qirConfiguration("FilterEntries");
            file.Append(entries);
        }
        qirConfiguration* e = new qirConfiguration(std::to_string(n).c_str());
        entries->Append(e);
        const qirFilterCondition& c = f->Condition();
        e->Set("Name", f->Name());
        e->SetInt("IsActive", f->IsActive());
        e->SetInt("Condition.Fields", c.Fields());
        e->Set("Condition.OtherFieldName", c.OtherFieldName());
        e->Set("Condition.RegExp", c.Pattern().Pattern());
        e->SetInt("Condition.IsCase", c.Pattern().IsCaseSensitive());
        e->SetInt("Actions.Action", f->Actions());
        e->Set("Actions.ActionCopyPath", f->CopyPath());
        e->Set("Actions.ActionReplyPath", f->ReplyPath());
        e->Set("Actions.ActionForwardAddress", f->ForwardAddress());
    }
    if (file.Save(path_.Text()) != qirOK) return failed(qirWriteError, "Can't write filter file", 1);
    return qirOK;
}

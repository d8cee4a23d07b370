#include "qirFolder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

#include "QIRPOP3.h"
#include "qirError.h"
#include "qirHistory.h"
#include "qirLanguageGroup.h"
#include "qirMailBox.h"
#include "qirProgress.h"
#include "qirStatus.h"
#include "qirUtilities.h"

static const char sourceName[] = "qirFolder";
static const char stagingPrefix[] = ".QIRnew.";

static const char* Str(const qirString& s) { return s.Text() ? s.Text() : ""; }

#define QIR_REPORT(level, ...) \
    do { \
        if (qirLog) qirLog->Report(level, __VA_ARGS__); \
    } while (0)

// ---------------------------------------------------------------- names

int qirFolder::IsMessageName(const char* base)
{
    return base && *base && strncasecmp(base, "Message", 7) == 0;
}

unsigned long long qirFolder::NumberKey(const char* base)
{
    const char* rest = base + 7;
    if (!*rest || !(*rest >= '0' && *rest <= '9')) return ULLONG_MAX;
    char* end = nullptr;
    errno = 0;
    unsigned long long n = strtoull(rest, &end, 0);
    if (*end) {
        // "Message08" is not octal; its digits still say eight.
        errno = 0;
        n = strtoull(rest, &end, 10);
        if (*end) return ULLONG_MAX;
    }
    if (errno == ERANGE || n >= ULLONG_MAX) return ULLONG_MAX - 1;
    return n;
}

static std::string MessageName(long n) { return "Message" + std::to_string(n); }

static int IsDirectoryEntry(const char* dir, const struct dirent* e)
{
    if (e->d_type == DT_DIR) return 1;
    if (e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) return 0;
    struct stat st;
    std::string path = std::string(dir) + "/" + e->d_name;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int qirFolder::MessageNames(const char* dir, std::vector<std::string>* names) const
{
    DIR* d = opendir(dir);
    if (!d) return qirFailed;
    while (struct dirent* e = readdir(d))
        if (IsMessageName(e->d_name) && IsDirectoryEntry(dir, e)) names->push_back(e->d_name);
    closedir(d);
    return qirOK;
}

// Moves without ever replacing what is at the target (rename alone would
// silently replace an empty directory).
static int MoveNoReplace(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without the flag: claim the name with an exclusive mkdir,
    // then replace that empty directory of our own.
    struct stat st;
    if (stat(from.c_str(), &st) != 0) return -1;
    if (S_ISDIR(st.st_mode)) {
        if (mkdir(to.c_str(), 0700) != 0) return -1;
        if (rename(from.c_str(), to.c_str()) == 0) return 0;
        int saved = errno;
        rmdir(to.c_str());
        errno = saved;
        return -1;
    }
    if (lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(from.c_str(), to.c_str());
}

// ---------------------------------------------------------------- life

qirFolder::qirFolder(const qirPath& path)
{
    directory_ = new qirDirectory(path);
    if (directory_->IsDirectory() != 0 && directory_->Create() != 0) {
        delete directory_;
        directory_ = nullptr;
        return;
    }
    std::string dir = Str(*directory_);
    if (FILE* f = fopen((dir + "/Name.txt").c_str(), "r")) {
        char line[80];
        if (fgets(line, sizeof line, f)) {
            line[strcspn(line, "\r\n")] = 0;
            name_ = line;
        } else {
            name_ = "";
        }
        fclose(f);
    } else {
        name_ = directory_->Stem();
    }
    qirString stem = directory_->Stem();
    incoming_ = strcmp(Str(stem), "Incoming") == 0;
    outgoing_ = strcmp(Str(stem), "Outgoing") == 0;
    std::string icon = dir + "/Icon.tif";
    if (access(icon.c_str(), F_OK) == 0) icon_ = icon.c_str();
    else if (incoming_) icon_ = "/usr/local/lib/QIR/Images/incoming.tif";
    else if (outgoing_) icon_ = "/usr/local/lib/QIR/Images/sent.tif";
    else icon_ = "/usr/local/lib/QIR/Images/folder.tif";
    loaded_ = 0;
    Renumber();
}

qirFolder::~qirFolder()
{
    while (qirObject* o = qirList::First()) {
        qirList::Unlink(o);
        delete o;
    }
    if (!staging_.empty()) rmdir(staging_.c_str());
    delete directory_;
}

qirMsg* qirFolder::First() const { return static_cast<qirMsg*>(qirList::First()); }
qirMsg* qirFolder::Last() const { return static_cast<qirMsg*>(qirList::Last()); }
qirMsg* qirFolder::Next(const qirMsg* m) const { return static_cast<qirMsg*>(qirList::Next(m)); }
qirMsg* qirFolder::Prev(const qirMsg* m) const { return static_cast<qirMsg*>(qirList::Prev(m)); }

qirMsg* qirFolder::NewMessage(const qirPath* path)
{
    if (path) return new qirMsg(*path);
    qirDirectory* next = NextMessagePath();
    qirMsg* m = new qirMsg(*next);
    delete next;
    return m;
}

// ---------------------------------------------------------------- counting

int qirFolder::CountOnDisk()
{
    std::vector<std::string> names;
    count_ = directory_ && MessageNames(Str(*directory_), &names) == qirOK ? (int)names.size() : 0;
    return count_;
}

qirDirectory* qirFolder::NextMessagePath()
{
    if (loaded_) {
        int n = 0;
        for (qirObject* o = qirList::First(); o; o = qirList::Next(o)) ++n;
        if (n != count_) CountOnDisk();
    }
    std::string dir = directory_ ? Str(*directory_) : "";
    return new qirDirectory((dir + "/" + MessageName(count_)).c_str());
}

// ---------------------------------------------------------------- load

int qirFolder::SaveAll(int noDirectoryOk)
{
    if (!noDirectoryOk && !directory_) return qirNotOpen;
    for (qirMsg* m = First(); m; m = Next(m))
        if (m->Save() != qirOK) return qirFailed;
    return qirOK;
}

int qirFolder::Load(const qirDirectory* from)
{
    const qirDirectory* d = from ? from : directory_;
    if (!d) return qirNotOpen;
    if (d->IsDirectory() != 0 && d->Create() != 0) return qirFailed;
    std::string dir = Str(*d);
    DIR* handle = opendir(dir.c_str());
    if (!handle) return qirFailed;

    qirList lines;
    if (qirProgressReporter) {
        lines.Append(new qirString(qirLanguage.Text(1001)));
        lines.Append(new qirString(name_));
        qirProgressReporter->Begin(count_ > 0 ? count_ : 0, 0, 1, &lines);
    }
    int made = 0, loadedNow = 0;
    for (qirObject* o = qirList::First(); o; o = qirList::Next(o)) ++made;
    while (struct dirent* e = readdir(handle)) {
        if (!IsMessageName(e->d_name) || !IsDirectoryEntry(dir.c_str(), e)) continue;
        qirPath path((dir + "/" + e->d_name).c_str());
        Append(NewMessage(&path));
        ++made;
        ++loadedNow;
        if (qirProgressReporter)
            qirProgressReporter->Set(std::min<uint32_t>(loadedNow, qirProgressReporter->Total()));
    }
    closedir(handle);
    if (qirProgressReporter) qirProgressReporter->End();
    while (qirObject* o = lines.First()) {
        lines.Unlink(o);
        delete o;
    }
    count_ = made;
    loaded_ = 1;
    return qirOK;
}

void qirFolder::Unload()
{
    while (qirObject* o = qirList::First()) {
        qirList::Unlink(o);
        delete o;
    }
    loaded_ = 0;
    CountOnDisk();
}

// ---------------------------------------------------------------- renumber

namespace {
struct RenumberEntry {
    std::string name;
    unsigned long long key;
    qirMsg* message; // loaded form only
};
}

// Gives the entries the names "Message" 0, 1, ... in key order.  Every move
// goes by the entry's real name, and a target still held by a later entry
// is first moved aside under a name that is still a message name, so an
// interrupted renumbering loses nothing.  move(from, to, message) answers 0
// on success.
template <class Move>
static void RenumberEntries(const std::string& dir, std::vector<RenumberEntry>& entries, Move move)
{
    std::stable_sort(entries.begin(), entries.end(), [](const RenumberEntry& a, const RenumberEntry& b) {
        return a.key != b.key ? a.key < b.key : a.name < b.name;
    });
    std::unordered_map<std::string, size_t> byName;
    byName.reserve(entries.size() * 2);
    for (size_t i = 0; i < entries.size(); ++i) byName[entries[i].name] = i;
    unsigned aside = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string target = MessageName((long)i);
        RenumberEntry& e = entries[i];
        if (e.name == target) continue;
        auto held = byName.find(target);
        if (held != byName.end() && held->second > i) {
            RenumberEntry& other = entries[held->second];
            std::string spare;
            struct stat st;
            do {
                spare = "Message-aside-" + std::to_string(getpid()) + "-" + std::to_string(aside++);
            } while (lstat((dir + "/" + spare).c_str(), &st) == 0);
            if (move(dir + "/" + other.name, dir + "/" + spare, other.message) != 0) continue;
            size_t index = held->second;
            byName.erase(held);
            other.name = spare;
            byName[spare] = index;
        }
        if (move(dir + "/" + e.name, dir + "/" + target, e.message) != 0) continue;
        byName.erase(e.name);
        e.name = target;
        byName[target] = i;
    }
}

int qirFolder::Renumber() { return loaded_ ? RenumberLoaded() : RenumberDisk(); }

int qirFolder::RenumberLoaded()
{
    std::vector<RenumberEntry> entries;
    for (qirMsg* m = First(); m; m = Next(m)) {
        qirString base = m->Path().Basename();
        entries.push_back({Str(base), NumberKey(Str(base)), m});
    }
    count_ = (int)entries.size();
    if (entries.empty() || !directory_) return qirOK;
    RenumberEntries(Str(*directory_), entries, [](const std::string& from, const std::string& to, qirMsg* m) {
        if (m->MoveTo(qirPath(to.c_str())) == qirOK) return 0;
        QIR_REPORT(qirLogError, "Error(<%s>,%d): Error moving: <%s>=><%s>", sourceName, __LINE__, from.c_str(),
                   to.c_str());
        return -1;
    });
    return qirOK;
}

int qirFolder::RenumberDisk()
{
    if (!directory_) return qirOK;
    std::string dir = Str(*directory_);
    std::vector<std::string> names;
    if (MessageNames(dir.c_str(), &names) != qirOK) {
        count_ = 0;
        QIR_REPORT(qirLogError, "Can't open directory");
        return qirFailed;
    }
    count_ = (int)names.size();
    std::vector<RenumberEntry> entries;
    entries.reserve(names.size());
    for (std::string& n : names) entries.push_back({n, NumberKey(n.c_str()), nullptr});
    RenumberEntries(dir, entries, [](const std::string& from, const std::string& to, qirMsg*) {
        if (MoveNoReplace(from, to) == 0) return 0;
        QIR_REPORT(qirLogError, "Can't move directory");
        return -1;
    });
    return qirOK;
}

// ---------------------------------------------------------------- flush

int qirFolder::Flush()
{
    if (SaveAll(0) != qirOK) QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Error Saving", sourceName, __LINE__);
    for (qirMsg* m = First(); m;) {
        qirMsg* next = Next(m);
        if (m->IsRemoved()) {
            if (m->RemoveFromDisk() != qirOK) {
                QIR_REPORT(qirLogError, "Error removing message(<%s>,%d): ThePath:<%s>", sourceName, __LINE__,
                           Str(m->Path()));
                return qirFailed;
            }
            qirList::Unlink(m);
            delete m;
        }
        m = next;
    }
    if (Renumber() != qirOK) {
        QIR_REPORT(qirLogError, "Error sorting qirFolder(<%s>,%d): ThePath:<%s>", sourceName, __LINE__,
                   directory_ ? Str(*directory_) : "");
        return qirFailed;
    }
    return qirOK;
}

// ---------------------------------------------------------------- staging

void qirFolder::RemoveStaleStaging()
{
    if (!directory_) return;
    std::string dir = Str(*directory_);
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> stale;
    const size_t prefix = sizeof stagingPrefix - 1;
    while (struct dirent* e = readdir(d)) {
        if (strncmp(e->d_name, stagingPrefix, prefix) != 0) continue;
        long pid = strtol(e->d_name + prefix, nullptr, 10);
        if (pid > 0 && (pid == getpid() || kill((pid_t)pid, 0) == 0 || errno != ESRCH)) continue;
        stale.push_back(dir + "/" + e->d_name);
    }
    closedir(d);
    for (const std::string& s : stale) qirRemoveDirectory(s.c_str(), 0);
}

qirPath qirFolder::StoreNew(int (*fill)(qirMsg*, void*), void* context, int* status)
{
    *status = qirFailed;
    if (!directory_) {
        *status = qirNotOpen;
        return qirPath("");
    }
    std::string dir = Str(*directory_);
    if (staging_.empty() || access(staging_.c_str(), W_OK) != 0) {
        // Private to this process: nothing else can appear inside it, and a
        // name starting with "." is never taken for a message.
        std::string tmpl = dir + "/" + stagingPrefix + std::to_string(getpid()) + ".XXXXXX";
        if (!mkdtemp(&tmpl[0])) {
            *status = qirCannotCreate;
            return qirPath("");
        }
        staging_ = tmpl;
    }
    static unsigned serial = 0;
    std::string work = staging_ + "/m" + std::to_string(serial++);
    qirMsg* message = new qirMsg(qirPath(work.c_str()));
    int r = message->Body() ? fill(message, context) : qirCannotCreate;
    delete message;
    if (r != qirOK) {
        qirRemoveDirectory(work.c_str(), 0);
        *status = r;
        return qirPath("");
    }
    // The first free number at or above the count; leftovers are never
    // reused, whatever they hold.
    for (long n = count_ < 0 ? 0 : count_;; ++n) {
        std::string target = dir + "/" + MessageName(n);
        if (MoveNoReplace(work, target) == 0) {
            if (n >= count_) count_ = (int)n + 1;
            *status = qirOK;
            return qirPath(target.c_str());
        }
        if (errno != EEXIST && errno != ENOTEMPTY && errno != EISDIR && errno != ENOTDIR) break;
        if (n >= (long)count_ + 1000000L) break;
    }
    qirRemoveDirectory(work.c_str(), 0);
    *status = qirCannotCreate;
    return qirPath("");
}

// ---------------------------------------------------------------- copy in

static int CopyDirectoryInto(qirMsg* message, void* context)
{
    const qirMsg* source = static_cast<const qirMsg*>(context);
    std::string target = Str(message->Path());
    // The staged directory already exists (empty but for a default body);
    // replace it with the copy.
    qirRemoveDirectory(target.c_str(), 0);
    return qirCopyDirectory(Str(source->Path()), target.c_str(), 0) == 0 ? qirOK : qirFailed;
}

int qirFolder::CopyIn(qirMsg* const* messages, int n)
{
    int copied = 0;
    for (int i = 0; i < n; ++i) {
        int status;
        qirPath path = StoreNew(CopyDirectoryInto, messages[i], &status);
        if (status != qirOK) {
            QIR_REPORT(qirLogError, "Error copying direcory");
            continue;
        }
        ++copied;
        if (loaded_) Append(NewMessage(&path));
    }
    if (!staging_.empty() && rmdir(staging_.c_str()) == 0) staging_.clear();
    if (n > 0) Flush();
    return copied > 0 || n == 0 ? copied : qirFailed;
}

int qirFolder::CopyIn(qirMsg* message)
{
    return CopyIn(&message, 1) == 1 ? qirOK : qirFailed;
}

// ---------------------------------------------------------------- destroy, move

int qirFolder::Destroy()
{
    if (!directory_) return qirNotOpen;
    for (qirMsg* m = First(); m; m = Next(m)) {
        if (m->RemoveFromDisk() != qirOK) {
            QIR_REPORT(qirLogError, "Error removing message(<%s>,%d): ThePath:<%s>\n", sourceName, __LINE__,
                       Str(m->Path()));
            return qirFailed;
        }
    }
    const char* dir = Str(*directory_);
    if (rmdir(dir) != 0 && qirRemoveDirectory(dir, 0) != 0) return qirUnlinkFailed;
    Unload();
    return qirOK;
}

int qirFolder::MoveTo(const qirPath& newPath)
{
    struct stat st;
    if (lstat(Str(newPath), &st) == 0) return qirFailed;
    if (mkdir(Str(newPath), 0700) != 0) return qirCannotCreate;
    int k = 0;
    for (qirMsg* m = First(); m; m = Next(m), ++k) {
        std::string target = std::string(Str(newPath)) + "/" + MessageName(k);
        if (m->MoveTo(qirPath(target.c_str())) != qirOK) return qirFailed;
    }
    if (!directory_ || rmdir(Str(*directory_)) != 0) return qirFailed;
    *directory_ = qirDirectory(newPath);
    return qirOK;
}

// ---------------------------------------------------------------- POP3 fetch

// Makes the stored messages durable before the server may forget them.
static int SyncFolder(const qirDirectory* dir)
{
    int fd = open(dir ? Str(*dir) : ".", O_RDONLY | O_DIRECTORY);
    if (fd < 0) return -1;
    int r = syncfs(fd);
    close(fd);
    return r;
}

namespace {
struct ImportContext {
    FILE* text;
};
}

static int ImportAndSave(qirMsg* message, void* context)
{
    FILE* f = static_cast<ImportContext*>(context)->text;
    rewind(f);
    if (message->ImportRFC822(f) != qirOK) {
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't import message:\n", sourceName, __LINE__);
        return qirFailed;
    }
    int s = message->Save();
    if (s != qirOK) {
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't save message: Status = %d", sourceName, __LINE__, s);
        return s;
    }
    return qirOK;
}

// Records a stored message at once, so that a fetch cut short later never
// fetches it again.
static void Remember(qirHistory* history, const char* id)
{
    if (!history || !id || !*id) return;
    history->Add(id, 1);
    int r = history->Save();
    if (r != qirOK && r != qirHistoryOverflow)
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't save the fetch history %s: Status = %d", sourceName, __LINE__,
                   history->Path() ? history->Path() : "", r);
}

int qirFolder::FetchPOP3(qirString server, qirString service, qirString user, qirString password,
                         qirHistory* history, int keep)
{
    QIRPOP3* pop = new QIRPOP3(Str(server), Str(service), Str(user), Str(password));
    if (pop->Status() != qirOK) {
        int status = pop->Status();
        QIR_REPORT(qirLogError, "POP: Error establishing connection");
        delete pop; // no QUIT after a failed connection (the client knows)
        return status;
    }
    QIR_REPORT(qirLogDebug, "POP: Connection established");
    RemoveStaleStaging();

    qirList lines;
    uint32_t total = pop->TotalSize() > 0 ? (uint32_t)pop->TotalSize() : 0;
    if (qirProgressReporter) {
        lines.Append(new qirString(qirLanguage.Text(1000)));
        qirProgressReporter->Begin(total, 0, 1, &lines);
    }
    // DELE waits until every stored message is on disk; the server drops the
    // messages only at QUIT anyway, and the history keeps a fetch cut short
    // from storing them twice.
    std::vector<int> toDelete;
    uint64_t bytes = 0;
    FILE* text = nullptr;
    const int n = pop->Count();
    for (int i = 0; i < n; ++i) {
        QIRPOP3_MSG_INFO* info = pop->Info(i);
        if (!info) {
            QIR_REPORT(qirLogInfo, "POP: Can't access message info for message %d - skipping", i);
            continue;
        }
        if (info->HasId() && history && history->FindAndMark(info->Id())) {
            QIR_REPORT(qirLogStatistics, "POP: Message %d already in history - skipping", i);
            // Stored by an earlier fetch whose DELE never took effect.
            if (!keep) toDelete.push_back(i);
            continue;
        }
        QIR_REPORT(qirLogStatistics, "POP: Receiving message %d of %d", i + 1, n);
        // One temporary file serves the whole fetch: making one per message
        // costs more than the copy itself.
        if (text) {
            rewind(text);
            if (ftruncate(fileno(text), 0) != 0) {
                fclose(text);
                text = nullptr;
            }
        }
        if (!text && !(text = tmpfile())) {
            QIR_REPORT(qirLogInfo, "POP3: Can't create temporary files, skipping  message %d", i);
            continue;
        }
        int r = pop->RetrieveTo(i, text);
        if (r != qirOK || fflush(text) != 0) {
            QIR_REPORT(qirLogInfo, "POP3: Can't receive message %d - skipping", i);
            if (r == qirConnectionFailed) break; // nothing more can come
            continue;
        }
        bytes += (uint64_t)info->Size();
        if (qirProgressReporter) qirProgressReporter->Set((uint32_t)std::min<uint64_t>(bytes, total));
        ImportContext context{text};
        int status;
        qirPath path = StoreNew(ImportAndSave, &context, &status);
        if (status != qirOK) continue;
        Remember(history, info->Id());
        if (loaded_) Append(NewMessage(&path));
        if (!keep) toDelete.push_back(i);
    }
    if (text) fclose(text);
    if (!staging_.empty() && rmdir(staging_.c_str()) == 0) staging_.clear();
    if (!toDelete.empty()) {
        if (SyncFolder(directory_) != 0) {
            QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't write the folder to disk: %s; nothing is deleted",
                       sourceName, __LINE__, strerror(errno));
        } else {
            for (int i : toDelete)
                if (pop->Remove(i) == qirConnectionFailed) break;
        }
    }
    delete pop; // QUIT: only now does the server remove what was deleted
    if (qirProgressReporter) qirProgressReporter->End();
    while (qirObject* o = lines.First()) {
        lines.Unlink(o);
        delete o;
    }
    if (Flush() != qirOK) {
        QIR_REPORT(qirLogError, "Flushing error(<%s>,%d)", sourceName, __LINE__);
        return qirWriteError;
    }
    CountOnDisk();
    return qirOK;
}

// ---------------------------------------------------------------- mailbox fetch

int qirFolder::FetchMailbox(const qirPath& spool, qirHistory* history, int keep)
{
    qirMailBox box(spool, 0);
    switch (box.Status()) {
    case qirOK:
        break;
    case qirAlreadyOpen:
        QIR_REPORT(qirLogError, "MailBox: Mailbox %s already locked by another process.", Str(spool));
        return qirAlreadyOpen;
    case qirBadValue:
        QIR_REPORT(qirLogError, "MailBox: %s is directory.", Str(spool));
        return qirBadValue;
    case qirCannotOpen:
        QIR_REPORT(qirLogError, "MailBox: Can't open mailbox %s. May be permission denied.", Str(spool));
        return qirCannotOpen;
    case qirNotOpen:
        QIR_REPORT(qirLogError, "Mail spool directory %s not found. Check path in ~/.QIR/user.cfg file",
                   Str(spool.Dirname()));
        return qirNotOpen;
    default:
        return box.Status();
    }
    QIR_REPORT(qirLogDebug, "MailBox: mailbox is succesfully opened.");
    RemoveStaleStaging();
    qirList lines;
    long size = box.TotalSize();
    uint32_t total = size > 0 ? (uint32_t)std::min<long>(size, UINT32_MAX) : 0;
    if (qirProgressReporter) {
        lines.Append(new qirString(qirLanguage.Text(1000)));
        qirProgressReporter->Begin(total, 0, 1, &lines);
    }
    int deleted = 0;
    // One walk, front to back: a message known to the history is passed over
    // without copying its body.
    while (qirMsgInfo* info = box.NextMessage()) {
        int i = info->Number();
        const char* id = Str(info->HistoryId());
        if (history && *id && history->FindAndMark(id)) {
            QIR_REPORT(qirLogInfo, "MailBox: Message %d already in history - skipping", i);
            // Stored by a fetch whose rewrite of the spool never happened.
            if (!keep && box.MarkDeleted(i) == qirOK) ++deleted;
            continue;
        }
        QIR_REPORT(qirLogStatistics, "MailBox: Receiving message %d", i + 1);
        FILE* text = box.FetchCurrent();
        if (!text) {
            QIR_REPORT(qirLogError, "MailBox: Can't create temporary files, skipping  message %d", i);
            continue;
        }
        ImportContext context{text};
        int status;
        qirPath path = StoreNew(ImportAndSave, &context, &status);
        fclose(text);
        if (qirProgressReporter)
            qirProgressReporter->Set((uint32_t)std::min<long>(std::max<long>(info->Offset(), 0), total));
        if (status != qirOK) continue;
        Remember(history, id);
        if (loaded_) Append(NewMessage(&path));
        if (!keep && box.MarkDeleted(i) == qirOK) ++deleted;
    }
    if (box.Status() != qirOK)
        QIR_REPORT(qirLogError, "MailBox: Error reading %s: Status = %d", Str(spool), box.Status());
    if (!staging_.empty() && rmdir(staging_.c_str()) == 0) staging_.clear();
    if (deleted) {
        if (SyncFolder(directory_) != 0) {
            QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't write the folder to disk: %s; the mailbox is kept",
                       sourceName, __LINE__, strerror(errno));
            for (qirMsgInfo* m = box.First(); m; m = box.Next(m)) box.Undelete(m->Number());
        } else {
            int r = box.Commit();
            if (r != qirOK)
                QIR_REPORT(qirLogError, "MailBox: Can't rewrite %s: Status = %d%s%s", Str(spool), r,
                           box.TempPath().empty() ? "" : "; the new text is kept in ",
                           box.TempPath().c_str());
        }
    }
    if (qirProgressReporter) qirProgressReporter->End();
    while (qirObject* o = lines.First()) {
        lines.Unlink(o);
        delete o;
    }
    if (Flush() != qirOK) {
        QIR_REPORT(qirLogError, "Flushing error(<%s>,%d)\n", sourceName, __LINE__);
        return qirWriteError;
    }
    CountOnDisk();
    return qirOK;
}

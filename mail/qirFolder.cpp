#include "qirFolder.h"

#include <algorithm>
#include <functional>
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
static const char asideMark[] = "-aside-";

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
        // Put aside by a renumbering that did not end: its number is the
        // place it had ("Message7-aside-<pid>-<n>").
        if (*end && strncmp(end, asideMark, sizeof asideMark - 1) != 0) return ULLONG_MAX;
    }
    if (errno == ERANGE || n >= ULLONG_MAX) return ULLONG_MAX - 1;
    return n;
}

static std::string MessageName(long n) { return "Message" + std::to_string(n); }

static int IsDirectoryEntry(const char* dir, const char* name, unsigned char type)
{
    if (type == DT_DIR) return 1;
    if (type != DT_UNKNOWN && type != DT_LNK) return 0;
    struct stat st;
    std::string path = std::string(dir) + "/" + name;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A directory that a copy was being made in, or that a removal had put
// aside, by a process that is gone: nobody will finish it.
static int IsLeftover(const char* name)
{
    size_t prefix;
    if (strncmp(name, stagingPrefix, sizeof stagingPrefix - 1) == 0) prefix = sizeof stagingPrefix - 1;
    else if (strncmp(name, qirMsg::removedPrefix, strlen(qirMsg::removedPrefix)) == 0)
        prefix = strlen(qirMsg::removedPrefix);
    else return 0;
    long pid = strtol(name + prefix, nullptr, 10);
    return !(pid > 0 && (pid == getpid() || kill((pid_t)pid, 0) == 0 || errno != ESRCH));
}

namespace {
struct NameScan {
    const char* dir;
    std::vector<std::string>* names;
    std::vector<std::string>* leftovers;
};
}

int qirFolder::MessageNames(const char* dir, std::vector<std::string>* names,
                            std::vector<std::string>* leftovers) const
{
    NameScan scan{dir, names, leftovers};
    auto visit = [](const char* name, unsigned char type, void* context) {
        NameScan* s = static_cast<NameScan*>(context);
        if (IsMessageName(name)) {
            if (IsDirectoryEntry(s->dir, name, type)) s->names->push_back(name);
        } else if (s->leftovers && name[0] == '.' && IsLeftover(name)) {
            s->leftovers->push_back(name);
        }
    };
    return qirScanDirectory(dir, visit, &scan) == 0 ? qirOK : qirFailed;
}

// The message directories in arrival order: by the number each carries,
// the same order the renumbering gives them (not the directory stream's,
// which on most file systems is a hash order).
static void ArrivalOrder(std::vector<std::string>* names)
{
    std::vector<std::pair<unsigned long long, std::string*>> keyed;
    keyed.reserve(names->size());
    for (std::string& n : *names) keyed.push_back({qirFolder::NumberKey(n.c_str()), &n});
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : *a.second < *b.second;
    });
    std::vector<std::string> sorted;
    sorted.reserve(names->size());
    for (auto& k : keyed) sorted.push_back(std::move(*k.second));
    names->swap(sorted);
}

static int MoveNoReplace(const std::string& from, const std::string& to)
{
    return qirRenameNoReplace(from.c_str(), to.c_str());
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
    DeleteMessages();
    if (!staging_.empty()) rmdir(staging_.c_str());
    delete directory_;
}

// Deletes every loaded message in the order they were made, which is about
// the order they lie in memory: after a sort, the list's order would visit
// a large folder's memory at random, page by page.
void qirFolder::DeleteMessages()
{
    std::vector<qirMsg*> all;
    all.swap(arrival_);
    places_.clear();
    nextPlace_ = 0;
    {
        qirList chain; // lets go of the old links at once, touching no node
        chain.AppendAll(this);
    }
    for (qirMsg* m : all) delete m;
}

void qirFolder::AddLoaded(qirMsg* message)
{
    if (!message) return;
    qirList::Append(message);
    arrival_.push_back(message);
    places_.push_back(nextPlace_++);
}

int qirFolder::Reorder(const std::vector<int>& order)
{
    const int n = (int)arrival_.size();
    if ((int)order.size() != n) return qirBadValue;
    std::vector<int> rank(n, -1);
    for (int k = 0; k < n; ++k) {
        if (order[k] < 0 || order[k] >= n || rank[order[k]] >= 0) return qirBadValue;
        rank[order[k]] = k;
    }
    // The messages are visited in the order they were made, which is about
    // the order they lie in memory.
    std::vector<qirObject*> nodes(arrival_.begin(), arrival_.end());
    qirList::Relink(nodes.data(), order.data(), rank.data(), n);
    places_.swap(rank);
    nextPlace_ = n;
    return qirOK;
}

qirMsg* qirFolder::First() const { return static_cast<qirMsg*>(qirList::First()); }
qirMsg* qirFolder::Last() const { return static_cast<qirMsg*>(qirList::Last()); }
qirMsg* qirFolder::Next(const qirMsg* m) const { return static_cast<qirMsg*>(qirList::Next(m)); }
qirMsg* qirFolder::Prev(const qirMsg* m) const { return static_cast<qirMsg*>(qirList::Prev(m)); }

qirMsg* qirFolder::NewMessage(const qirPath* path)
{
    // A loaded folder lists its messages: what else they hold is read when
    // it is asked for.
    if (path) return new qirMsg(*path, qirMsg::Summary());
    qirDirectory* next = NextMessagePath();
    qirMsg* m = new qirMsg(*next);
    delete next;
    return m;
}

// ---------------------------------------------------------------- counting

namespace {
struct CountScan {
    const char* dir;
    int count;
};
}

int qirFolder::CountOnDisk()
{
    // Counted as the names go by: a large folder makes no list of them.
    CountScan scan{directory_ ? Str(*directory_) : "", 0};
    auto visit = [](const char* name, unsigned char type, void* context) {
        CountScan* s = static_cast<CountScan*>(context);
        if (IsMessageName(name) && IsDirectoryEntry(s->dir, name, type)) ++s->count;
    };
    count_ = directory_ && qirScanDirectory(scan.dir, visit, &scan) == 0 ? scan.count : 0;
    return count_;
}

qirDirectory* qirFolder::NextMessagePath()
{
    if (loaded_ && qirList::Count() != count_) CountOnDisk();
    std::string dir = directory_ ? Str(*directory_) : "";
    // Past a directory that holds the number but did not load, or one a
    // move took away from the middle: such a place is not free.
    struct stat st;
    long n = count_;
    while (directory_ && lstat((dir + "/" + MessageName(n)).c_str(), &st) == 0) ++n;
    return new qirDirectory((dir + "/" + MessageName(n)).c_str());
}

// The progress report of a load or a fetch, shown while a reporter exists:
// begun with its text lines, ended (the lines freed) by End or at the
// latest when the work's scope closes.
namespace {
class ProgressReport {
public:
    ProgressReport(uint32_t total, const qirString& first, const qirString* second = nullptr)
    {
        if (!qirProgressReporter) return;
        lines_.Append(new qirString(first));
        if (second) lines_.Append(new qirString(*second));
        qirProgressReporter->Begin(total, 0, 1, &lines_);
        begun_ = 1;
    }
    ~ProgressReport() { End(); }
    // Never past the total the report began with.
    void Set(uint64_t current)
    {
        if (begun_ && qirProgressReporter)
            qirProgressReporter->Set((uint32_t)std::min<uint64_t>(current, qirProgressReporter->Total()));
    }
    void End()
    {
        if (begun_ && qirProgressReporter) qirProgressReporter->End();
        begun_ = 0;
        while (qirObject* o = lines_.First()) {
            lines_.Unlink(o);
            delete o;
        }
    }

private:
    qirList lines_;
    int begun_ = 0;
};
}

// ---------------------------------------------------------------- load

int qirFolder::SaveAll(int noDirectoryOk)
{
    if (!noDirectoryOk && !directory_) return qirNotOpen;
    // In the order the messages were loaded: the same set as the list's,
    // and a walk through memory rather than across it after a sort.
    for (qirMsg* m : arrival_)
        if (m->Save() != qirOK) return qirFailed;
    return qirOK;
}

int qirFolder::Load(const qirDirectory* from)
{
    const qirDirectory* d = from ? from : directory_;
    if (!d) return qirNotOpen;
    if (d->IsDirectory() != 0 && d->Create() != 0) return qirFailed;
    std::string dir = Str(*d);
    std::vector<std::string> names, leftovers;
    if (MessageNames(dir.c_str(), &names, &leftovers) != qirOK) return qirFailed;
    // What killed copies and removals left behind goes whenever a folder is
    // loaded, not only when new mail comes.
    for (const std::string& l : leftovers) qirRemoveDirectory((dir + "/" + l).c_str(), 0);
    ArrivalOrder(&names);

    ProgressReport progress((uint32_t)names.size(), qirLanguage.Text(1001), &name_);
    int made = 0, loadedNow = 0;
    for (qirObject* o = qirList::First(); o; o = qirList::Next(o)) ++made;
    std::vector<std::string> broken;
    for (const std::string& name : names) {
        qirPath path((dir + "/" + name).c_str());
        qirMsg* m = NewMessage(&path);
        ++loadedNow;
        progress.Set(loadedNow);
        // Kept on disk for the user, in its place, but no message.
        if (m && m->IsBroken()) {
            delete m;
            broken.push_back(name);
            continue;
        }
        AddLoaded(m);
        ++made;
    }
    progress.End();
    if (!broken.empty()) {
        std::string some;
        for (size_t i = 0; i < broken.size() && i < 5; ++i) some += (i ? ", " : "") + broken[i];
        if (broken.size() > 5) some += ", ...";
        QIR_REPORT(qirLogError, "%d message directories in <%s> could not be read and are not listed (%s); "
                   "they are kept on disk as they are", (int)broken.size(), dir.c_str(), some.c_str());
        if (d == directory_) broken_.insert(broken_.end(), broken.begin(), broken.end());
    }
    count_ = made;
    loaded_ = 1;
    return qirOK;
}

void qirFolder::Unload()
{
    DeleteMessages();
    broken_.clear();
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
            // The name keeps the place (the number it held), so that a
            // renumbering cut short here still sorts it where it was.
            do {
                spare = target + asideMark + std::to_string(getpid()) + "-" + std::to_string(aside++);
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

// 1 when the loaded messages are exactly "Message0" to "Message" n-1, in
// whatever list order: then the renumbering has nothing to move.  One pass
// in memory order, reading no name; also counts the messages marked
// removed.
// The directories that did not load take their places in it too.
static int CanonicalNumberOf(const std::string& name)
{
    if (name.size() < 8 || name.compare(0, 7, "Message") != 0 || name.size() > 17) return -1;
    if (name[7] == '0' && name.size() > 8) return -1;
    for (size_t i = 7; i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return -1;
    return atoi(name.c_str() + 7);
}

static int NumberedWithoutGaps(const std::vector<qirMsg*>& messages, const std::vector<std::string>& broken,
                               int* removed)
{
    std::vector<char> seen(messages.size() + broken.size(), 0);
    int gapless = 1;
    *removed = 0;
    auto place = [&](int n) {
        if (n < 0 || (size_t)n >= seen.size() || seen[n]) gapless = 0;
        else seen[n] = 1;
    };
    for (qirMsg* m : messages) {
        if (m->IsRemoved()) ++*removed;
        place(m->CanonicalNumber());
    }
    for (const std::string& b : broken) place(CanonicalNumberOf(b));
    return gapless;
}

int qirFolder::RenumberLoaded()
{
    int removed;
    if (NumberedWithoutGaps(arrival_, broken_, &removed)) {
        count_ = (int)arrival_.size();
        return qirOK;
    }
    std::vector<RenumberEntry> entries;
    for (qirMsg* m = First(); m; m = Next(m)) {
        qirString base = m->Path().Basename();
        entries.push_back({Str(base), NumberKey(Str(base)), m});
    }
    for (const std::string& b : broken_) entries.push_back({b, NumberKey(b.c_str()), nullptr});
    count_ = (int)arrival_.size();
    if (entries.empty() || !directory_) return qirOK;
    RenumberEntries(Str(*directory_), entries, [](const std::string& from, const std::string& to, qirMsg* m) {
        if (m ? m->MoveTo(qirPath(to.c_str())) == qirOK : MoveNoReplace(from, to) == 0) return 0;
        QIR_REPORT(qirLogError, "Error(<%s>,%d): Error moving: <%s>=><%s>", sourceName, __LINE__, from.c_str(),
                   to.c_str());
        return -1;
    });
    broken_.clear();
    for (const RenumberEntry& e : entries)
        if (!e.message) broken_.push_back(e.name);
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
    if (!directory_ && arrival_.empty()) return qirOK; // destroyed, or never made
    // A message about to be removed is not written first: should its
    // removal fail, it stays on disk as it was, undeleted, and nothing is lost.
    int saved = directory_ ? qirOK : qirNotOpen;
    for (qirMsg* m : arrival_)
        if (saved == qirOK && !m->IsRemoved() && m->Save() != qirOK) saved = qirFailed;
    if (saved != qirOK) QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Error Saving", sourceName, __LINE__);
    // A loaded folder with nothing removed and nothing to renumber (the
    // usual close): done.
    int removed;
    if (loaded_ && NumberedWithoutGaps(arrival_, broken_, &removed) && removed == 0) {
        count_ = (int)arrival_.size();
        return qirOK;
    }
    // The list is taken whole and rebuilt from its head, so that each
    // message leaves or comes back in one step however many are purged.
    qirList all;
    all.AppendAll(this);
    int failed = 0;
    std::vector<qirMsg*> gone;
    while (qirMsg* m = static_cast<qirMsg*>(all.First())) {
        all.Unlink(m);
        if (!failed && m->IsRemoved()) {
            if (m->RemoveFromDisk() == qirOK) {
                gone.push_back(m);
                continue;
            }
            QIR_REPORT(qirLogError, "Error removing message(<%s>,%d): ThePath:<%s>", sourceName, __LINE__,
                       Str(m->Path()));
            failed = 1;
        }
        Append(m);
    }
    if (!gone.empty()) {
        std::sort(gone.begin(), gone.end(), std::less<qirMsg*>());
        size_t kept = 0;
        for (size_t i = 0; i < arrival_.size(); ++i) {
            if (std::binary_search(gone.begin(), gone.end(), arrival_[i], std::less<qirMsg*>())) continue;
            arrival_[kept] = arrival_[i];
            places_[kept++] = places_[i]; // the survivors keep their order
        }
        arrival_.resize(kept);
        places_.resize(kept);
        for (qirMsg* m : gone) delete m;
    }
    if (failed) return qirFailed;
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
    while (struct dirent* e = readdir(d))
        if (e->d_name[0] == '.' && IsLeftover(e->d_name)) stale.push_back(dir + "/" + e->d_name);
    closedir(d);
    for (const std::string& s : stale) qirRemoveDirectory(s.c_str(), 0);
}

qirPath qirFolder::StoreNew(int (*fill)(const char*, void*), void* context, int* status)
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
    int r = fill(work.c_str(), context);
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

static int SyncFolder(const qirDirectory* dir);

static int CopyDirectoryInto(const char* target, void* context)
{
    const qirMsg* source = static_cast<const qirMsg*>(context);
    return qirCopyDirectory(Str(source->Path()), target, 0) == 0 ? qirOK : qirFailed;
}

static int ShareDirectoryInto(const char* target, void* context)
{
    const qirMsg* source = static_cast<const qirMsg*>(context);
    return qirShareDirectory(Str(source->Path()), target) == 0 ? qirOK : qirFailed;
}

int qirFolder::CopyIn(qirMsg* const* messages, int n, int* copiedFlags, int share)
{
    int copied = 0, failed = 0;
    std::string firstFailure;
    for (int i = 0; i < n; ++i) {
        if (copiedFlags) copiedFlags[i] = 0;
        qirMsg* m = messages[i];
        if (!m) continue;
        // A read mark not saved yet would be lost on the copy; a deletion is
        // not copied, or the copy's own flush would purge it with the original.
        if (m->IsModified() && !m->IsFresh()) {
            int removed = m->IsRemoved();
            m->SetRemoved(0);
            if (m->Save() != qirOK)
                QIR_REPORT(qirLogWarning, "Can't save the flags of <%s> before copying it", Str(m->Path()));
            if (removed) m->SetRemoved(1);
        }
        int status;
        qirPath path = StoreNew(share ? ShareDirectoryInto : CopyDirectoryInto, m, &status);
        if (status != qirOK) {
            if (!failed++) firstFailure = Str(m->Path());
            continue;
        }
        ++copied;
        if (copiedFlags) copiedFlags[i] = 1;
        if (loaded_) AddLoaded(NewMessage(&path));
    }
    if (!staging_.empty() && rmdir(staging_.c_str()) == 0) staging_.clear();
    // One report for the whole batch: a move of a thousand messages into a
    // full disk is one failure to the user.
    if (failed)
        QIR_REPORT(qirLogError, "Error copying direcory <%s> into <%s>: %d of %d messages not copied",
                   firstFailure.c_str(), directory_ ? Str(*directory_) : "", failed, n);
    if (n > 0 && copied == 0) return qirFailed;
    if (copied > 0) Flush();
    return copied;
}

// One directory's entries made durable: fsync of the directory itself.
static int SyncDirectory(const char* dir)
{
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int r = fsync(fd);
    close(fd);
    return r;
}

int qirFolder::MoveIn(qirFolder* source, qirMsg* const* messages, int n, int* movedFlags)
{
    std::vector<int> state(n > 0 ? n : 0, 0);
    if (!directory_ || !source || source == this || n <= 0) {
        for (int i = 0; i < n; ++i)
            if (movedFlags) movedFlags[i] = 0;
        return n > 0 ? qirFailed : 0;
    }
    const std::string dir = Str(*directory_);
    std::vector<qirPath> arrived;
    std::vector<int> copiedAt; // moved by a copy (another file system)
    int failed = 0, renamed = 0;
    std::string firstFailure, why;
    for (int i = 0; i < n; ++i) {
        qirMsg* m = messages[i];
        if (!m) continue;
        // What the user sees goes along: changed flags are saved first, and
        // a deletion stays behind (the copy of a move is never deleted).
        if (m->IsRemoved() || (m->IsModified() && !m->IsFresh())) {
            m->SetRemoved(0);
            if (m->Save() != qirOK)
                QIR_REPORT(qirLogWarning, "Can't save the flags of <%s> before moving it", Str(m->Path()));
        }
        // One rename into the first free number: at every instant the
        // message is in exactly one of the two folders.
        const std::string from = Str(m->Path());
        int r = -1;
        long k = count_ < 0 ? 0 : count_;
        for (; k < (long)count_ + 1000000L; ++k) {
            std::string target = dir + "/" + MessageName(k);
            if ((r = MoveNoReplace(from, target)) == 0) {
                arrived.push_back(qirPath(target.c_str()));
                break;
            }
            if (errno != EEXIST && errno != ENOTEMPTY) break;
        }
        if (r == 0) {
            if (k >= count_) count_ = (int)k + 1;
            state[i] = 1;
            ++renamed;
            continue;
        }
        if (errno == EXDEV) {
            // Another file system: a copy, and the original leaves once the
            // copy is on disk (below).
            int status;
            qirPath path = StoreNew(CopyDirectoryInto, m, &status);
            if (status == qirOK) {
                arrived.push_back(path);
                copiedAt.push_back(i);
                continue;
            }
        }
        if (!failed++) {
            firstFailure = from;
            why = strerror(errno);
        }
    }
    if (!staging_.empty() && rmdir(staging_.c_str()) == 0) staging_.clear();
    if (failed)
        QIR_REPORT(qirLogError, "Error moving <%s> into <%s>: %s: %d of %d messages not moved", firstFailure.c_str(),
                   dir.c_str(), why.c_str(), failed, n);
    // The renames on disk, both sides, before the move is reported done.
    if (renamed && (SyncDirectory(dir.c_str()) != 0 ||
                    (source->directory_ && SyncDirectory(Str(*source->directory_)) != 0)))
        QIR_REPORT(qirLogWarning, "Can't write the folders <%s> and <%s> to disk: %s", dir.c_str(),
                   source->directory_ ? Str(*source->directory_) : "", strerror(errno));
    if (!copiedAt.empty()) {
        // The copies are on disk before their originals are given up; then
        // the originals' deletion marks are saved, once for the batch, and
        // only then do they go: a kill at any point leaves each message
        // undeleted in one folder, or in both with the original marked.
        if (SyncFolder(directory_) != 0) {
            QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't write the folder to disk: %s; the originals are kept",
                       sourceName, __LINE__, strerror(errno));
        } else {
            for (int i : copiedAt) {
                messages[i]->SetRemoved(1);
                if (messages[i]->Save() == qirOK) state[i] = 2;
                else messages[i]->SetRemoved(0);
            }
            if (SyncFolder(source->directory_) != 0) {
                QIR_REPORT(qirLogWarning, "Can't write the folder <%s> to disk: %s",
                           source->directory_ ? Str(*source->directory_) : "", strerror(errno));
            } else {
                for (int i : copiedAt)
                    if (state[i] == 2 && messages[i]->RemoveFromDisk() == qirOK) state[i] = 1;
            }
        }
    }
    // The messages that left the source leave its list too: their objects
    // name directories that are now this folder's.
    std::vector<qirMsg*> gone;
    for (int i = 0; i < n; ++i)
        if (state[i] == 1) gone.push_back(messages[i]);
    for (int i = 0; i < n; ++i)
        if (movedFlags) movedFlags[i] = state[i];
    if (!gone.empty()) source->Release(gone.data(), (int)gone.size());
    if (loaded_)
        for (const qirPath& p : arrived) AddLoaded(NewMessage(&p));
    if (arrived.empty()) return qirFailed;
    Flush();
    return (int)arrived.size();
}

void qirFolder::Release(qirMsg* const* messages, int n)
{
    std::vector<qirMsg*> asked(messages, messages + n), gone;
    std::sort(asked.begin(), asked.end(), std::less<qirMsg*>());
    size_t kept = 0;
    for (size_t i = 0; i < arrival_.size(); ++i) {
        qirMsg* m = arrival_[i];
        if (std::binary_search(asked.begin(), asked.end(), m, std::less<qirMsg*>())) {
            qirList::Unlink(m);
            gone.push_back(m);
            continue;
        }
        arrival_[kept] = m;
        places_[kept++] = places_[i];
    }
    arrival_.resize(kept);
    places_.resize(kept);
    for (qirMsg* m : gone) delete m;
    if (loaded_) count_ = (int)arrival_.size();
    else CountOnDisk();
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
    // Gone: a later flush (the owner's close) has nothing to do.
    delete directory_;
    directory_ = nullptr;
    count_ = 0;
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
// The text of one message on its way from the source to the import: in
// memory, unless it grows past spillSize, when it goes on in an anonymous
// temporary file, so that a huge message never sits in memory whole.
class MessageText {
public:
    enum { spillSize = 16 << 20 };
    ~MessageText()
    {
        Close();
        if (spill_) fclose(spill_);
    }
    // Empties the text, keeping room for size bytes (the listed size).
    void Clear(size_t size)
    {
        Close();
        memory_.clear();
        if (size <= spillSize) memory_.reserve(size);
        spilled_ = 0;
        failed_ = 0;
    }
    static int Append(void* context, const char* text, int length)
    {
        MessageText* t = static_cast<MessageText*>(context);
        if (!t->spilled_ && t->memory_.size() + length <= spillSize) {
            t->memory_.append(text, length);
            return 1;
        }
        if (!t->spilled_ && !t->Spill()) return 0;
        return fwrite(text, 1, length, t->spill_) == (size_t)length;
    }
    // The whole text to read from its start, or null; valid until Clear.
    FILE* Open()
    {
        Close();
        if (spilled_) {
            if (fflush(spill_) != 0) return nullptr;
            rewind(spill_);
            return spill_;
        }
        // fmemopen cannot open an empty buffer.
        if (memory_.empty()) memory_.push_back('\n');
        return reader_ = fmemopen(&memory_[0], memory_.size(), "r");
    }
    int Failed() const { return failed_; }

private:
    int Spill()
    {
        if (spill_) {
            rewind(spill_);
            if (ftruncate(fileno(spill_), 0) != 0) {
                fclose(spill_);
                spill_ = nullptr;
            }
        }
        if (!spill_ && !(spill_ = tmpfile())) {
            failed_ = 1;
            return 0;
        }
        spilled_ = 1;
        if (fwrite(memory_.data(), 1, memory_.size(), spill_) != memory_.size()) return 0;
        memory_.clear();
        return 1;
    }
    void Close()
    {
        if (reader_) fclose(reader_);
        reader_ = nullptr;
    }

    std::string memory_;
    FILE* spill_ = nullptr;  // owned, reused from message to message
    FILE* reader_ = nullptr; // over memory_
    int spilled_ = 0;
    int failed_ = 0; // no temporary file could be made
};

struct ImportContext {
    FILE* text;
};
}

// Imports the text into a new message directory made at directory, and
// saves it.
static int ImportAndSave(const char* directory, void* context)
{
    FILE* f = static_cast<ImportContext*>(context)->text;
    qirMsg message{qirPath(directory), qirMsg::Blank()};
    if (!message.IsFresh()) return qirCannotCreate;
    rewind(f);
    if (message.ImportRFC822(f) != qirOK) {
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't import message:\n", sourceName, __LINE__);
        return qirFailed;
    }
    int s = message.Save();
    if (s != qirOK) {
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't save message: Status = %d", sourceName, __LINE__, s);
        return s;
    }
    return qirOK;
}

// Records a stored message at once, so that a fetch cut short later never
// fetches it again: one line appended, not the whole file rewritten (the
// caller saves it whole once the fetch is over).
static void Remember(qirHistory* history, const char* id)
{
    if (!history || !id || !*id) return;
    int r = history->Record(id);
    if (r != qirOK)
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't save the fetch history %s: Status = %d", sourceName, __LINE__,
                   history->Path() ? history->Path() : "", r);
}

// The lines appended per message are replaced by the usual trimmed file.
static void SaveHistory(qirHistory* history, int recorded)
{
    if (!history || !recorded) return;
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

    ProgressReport progress(pop->TotalSize() > 0 ? (uint32_t)pop->TotalSize() : 0, qirLanguage.Text(1000));
    // DELE waits until every stored message is on disk; the server drops the
    // messages only at QUIT anyway, and the history keeps a fetch cut short
    // from storing them twice.
    std::vector<int> toDelete, toFetch;
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
        toFetch.push_back(i);
    }
    // With a server that takes it, the next few RETRs are always on their
    // way while this side stores a message: the two sides work at the same
    // time.
    const size_t ahead = toFetch.size() > 1 && pop->CanPipeline() ? 4 : 0;
    for (size_t k = 0; k < ahead && k < toFetch.size(); ++k) pop->RequestRetrieve(toFetch[k]);
    int recorded = 0;
    uint64_t bytes = 0;
    MessageText text;
    for (size_t k = 0; k < toFetch.size(); ++k) {
        const int i = toFetch[k];
        QIRPOP3_MSG_INFO* info = pop->Info(i);
        QIR_REPORT(qirLogStatistics, "POP: Receiving message %d of %d", i + 1, n);
        if (ahead && k + ahead < toFetch.size()) pop->RequestRetrieve(toFetch[k + ahead]);
        text.Clear(info->Size() > 0 ? (size_t)info->Size() : 0);
        int r = pop->RetrieveWith(i, MessageText::Append, &text);
        FILE* in = r == qirOK ? text.Open() : nullptr;
        if (!in) {
            if (text.Failed())
                QIR_REPORT(qirLogInfo, "POP3: Can't create temporary files, skipping  message %d", i);
            else
                QIR_REPORT(qirLogInfo, "POP3: Can't receive message %d - skipping", i);
            if (r == qirConnectionFailed) break; // nothing more can come
            continue;
        }
        bytes += (uint64_t)info->Size();
        progress.Set(bytes);
        ImportContext context{in};
        int status;
        qirPath path = StoreNew(ImportAndSave, &context, &status);
        if (status != qirOK) continue;
        Remember(history, info->Id());
        ++recorded;
        if (loaded_) AddLoaded(NewMessage(&path));
        if (!keep) toDelete.push_back(i);
    }
    if (!staging_.empty() && rmdir(staging_.c_str()) == 0) staging_.clear();
    // The stored messages reach the disk before the server may forget them
    // and before the history that names them is saved: after a crash, a
    // message is either on disk or fetched again.
    if ((recorded || !toDelete.empty()) && SyncFolder(directory_) != 0) {
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't write the folder to disk: %s; nothing is deleted",
                   sourceName, __LINE__, strerror(errno));
    } else {
        for (int i : toDelete)
            if (pop->Remove(i) == qirConnectionFailed) break;
    }
    delete pop; // QUIT: only now does the server remove what was deleted
    SaveHistory(history, recorded);
    progress.End();
    return FlushFetched("");
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
    long size = box.TotalSize();
    ProgressReport progress(size > 0 ? (uint32_t)std::min<long>(size, UINT32_MAX) : 0, qirLanguage.Text(1000));
    int deleted = 0, recorded = 0;
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
        progress.Set((uint64_t)std::max<long>(info->Offset(), 0));
        if (status != qirOK) continue;
        Remember(history, id);
        ++recorded;
        if (loaded_) AddLoaded(NewMessage(&path));
        if (!keep && box.MarkDeleted(i) == qirOK) ++deleted;
    }
    if (box.Status() != qirOK)
        QIR_REPORT(qirLogError, "MailBox: Error reading %s: Status = %d", Str(spool), box.Status());
    if (!staging_.empty() && rmdir(staging_.c_str()) == 0) staging_.clear();
    // As for POP3: on disk first, then the history, then the spool rewrite.
    int synced = !(recorded || deleted) || SyncFolder(directory_) == 0;
    if (!synced) {
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't write the folder to disk: %s; the mailbox is kept",
                   sourceName, __LINE__, strerror(errno));
        for (qirMsgInfo* m = box.First(); m; m = box.Next(m)) box.Undelete(m->Number());
    }
    SaveHistory(history, recorded);
    if (deleted && synced) {
        int r = box.Commit();
        if (r != qirOK)
            QIR_REPORT(qirLogError, "MailBox: Can't rewrite %s: Status = %d%s%s", Str(spool), r,
                       box.TempPath().empty() ? "" : "; the new text is kept in ", box.TempPath().c_str());
    }
    progress.End();
    return FlushFetched("\n");
}

// The last step of a fetch: the new messages are flushed into the folder
// (an open list window shows them) and counted on disk.
int qirFolder::FlushFetched(const char* reportEnd)
{
    if (Flush() != qirOK) {
        QIR_REPORT(qirLogError, "Flushing error(<%s>,%d)%s", sourceName, __LINE__, reportEnd);
        return qirWriteError;
    }
    CountOnDisk();
    return qirOK;
}

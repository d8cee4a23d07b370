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
#include "qirSyncBatch.h"
#include "qirTempFile.h"
#include "qirUtilities.h"
#include "qirDigest.h"

static const char sourceName[] = "qirFolder";
static const char stagingPrefix[] = ".QIRnew.";
static const char asideMark[] = "-aside-";
// How the log names a received message that no directory holds.
static const char notStored[] = "that was not stored (its source keeps it)";

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
    // A total past 32 bits is shown in coarser units.
    ProgressReport(uint64_t total, const qirString& first, const qirString* second = nullptr)
    {
        if (!qirProgressReporter) return;
        while ((total >> shift_) > UINT32_MAX) ++shift_;
        lines_.Append(new qirString(first));
        if (second) lines_.Append(new qirString(*second));
        qirProgressReporter->Begin((uint32_t)(total >> shift_), 0, 1, &lines_);
        begun_ = 1;
    }
    ~ProgressReport() { End(); }
    // Never past the total the report began with.
    void Set(uint64_t current)
    {
        if (begun_ && qirProgressReporter)
            qirProgressReporter->Set((uint32_t)std::min<uint64_t>(current >> shift_, qirProgressReporter->Total()));
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
    int shift_ = 0;
};
}

// ---------------------------------------------------------------- load

int qirFolder::SaveAll(int noDirectoryOk)
{
    if (!noDirectoryOk && !directory_) return qirNotOpen;
    // In the order the messages were loaded: the same set as the list's,
    // and a walk through memory rather than across it after a sort.
    // Each changed file is synced before it replaces the old one; together,
    // so that saving a thousand flags pays one round of syncs, not a
    // thousand.
    qirSyncBatch::Replacing together;
    for (qirMsg* m : arrival_)
        if (m->Save() != qirOK) return qirFailed;
    return together.Finish() == qirOK ? qirOK : qirFailed;
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
    {
        // As in SaveAll; finished before anything is removed or moved.
        qirSyncBatch::Replacing together;
        for (qirMsg* m : arrival_)
            if (saved == qirOK && !m->IsRemoved() && m->Save() != qirOK) saved = qirFailed;
        if (together.Finish() != qirOK) saved = qirFailed;
    }
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

int qirFolder::EnsureStaging()
{
    if (!directory_) return qirNotOpen;
    // Nobody else removes it while this process lives.
    if (!staging_.empty()) return qirOK;
    // Private to this process: nothing else can appear inside it, and a
    // name starting with "." is never taken for a message.
    std::string tmpl = std::string(Str(*directory_)) + "/" + stagingPrefix + std::to_string(getpid()) + ".XXXXXX";
    if (!mkdtemp(&tmpl[0])) {
        staging_.clear();
        return qirCannotCreate;
    }
    staging_ = tmpl;
    return qirOK;
}

void qirFolder::DropStaging()
{
    if (!staging_.empty() && rmdir(staging_.c_str()) == 0) staging_.clear();
}

std::string qirFolder::Stage(int (*fill)(const char*, void*), void* context, int* status)
{
    *status = EnsureStaging();
    if (*status != qirOK) return std::string();
    static unsigned serial = 0;
    std::string work = staging_ + "/m" + std::to_string(serial++);
    int r = fill(work.c_str(), context);
    if (r != qirOK) {
        qirRemoveDirectory(work.c_str(), 0);
        // What the log held about a received message's content names it.
        if (qirLog) qirLog->EndReceivedMessage(notStored);
        *status = r;
        return std::string();
    }
    return work;
}

qirPath qirFolder::Place(const std::string& from, int* status, int stagingFd, int folderFd)
{
    std::string dir = directory_ ? Str(*directory_) : "";
    // Names relative to the open directories, when given.
    const char* source = from.c_str();
    if (stagingFd != AT_FDCWD) {
        size_t slash = from.rfind('/');
        if (slash != std::string::npos) source += slash + 1;
    }
    // The first free number at or above the count; leftovers are never
    // reused, whatever they hold.
    for (long n = count_ < 0 ? 0 : count_; directory_; ++n) {
        std::string target = dir + "/" + MessageName(n);
        const char* to = folderFd != AT_FDCWD ? target.c_str() + dir.size() + 1 : target.c_str();
        if (qirRenameNoReplaceAt(stagingFd, source, folderFd, to) == 0) {
            if (n >= count_) count_ = (int)n + 1;
            *status = qirOK;
            return qirPath(target.c_str());
        }
        if (errno != EEXIST && errno != ENOTEMPTY && errno != EISDIR && errno != ENOTDIR) break;
        if (n >= (long)count_ + 1000000L) break;
    }
    *status = qirCannotCreate;
    return qirPath("");
}

qirPath qirFolder::Publish(const std::string& work, int* status, int stagingFd, int folderFd)
{
    qirPath path = Place(work, status, stagingFd, folderFd);
    if (*status != qirOK) qirRemoveDirectory(work.c_str(), 0);
    return path;
}

qirPath qirFolder::StoreNew(int (*fill)(const char*, void*), void* context, int* status)
{
    std::string work = Stage(fill, context, status);
    if (*status != qirOK) return qirPath("");
    return Publish(work, status);
}

// ---------------------------------------------------------------- copy in

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

int qirFolder::MoveIn(qirFolder* source, qirMsg* const* messages, int n, int* movedFlags)
{
    std::vector<int> state(n > 0 ? n : 0, 0);
    if (!directory_ || !source || source == this || n <= 0) {
        for (int i = 0; i < n; ++i)
            if (movedFlags) movedFlags[i] = 0;
        return n > 0 ? qirFailed : 0;
    }
    const std::string dir = Str(*directory_);
    const std::string from = source->directory_ ? Str(*source->directory_) : "";
    std::vector<qirPath> arrived;
    std::vector<std::pair<int, std::string>> staged; // copies of another file system's messages
    int failed = 0, renamed = 0;
    std::string firstFailure, why;
    auto fail = [&](const qirMsg* m) {
        if (!failed++) {
            firstFailure = Str(m->Path());
            why = strerror(errno);
        }
    };
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
        int status;
        qirPath path = Place(Str(m->Path()), &status);
        if (status == qirOK) {
            arrived.push_back(path);
            state[i] = 1;
            ++renamed;
            continue;
        }
        if (errno != EXDEV) {
            fail(m);
            continue;
        }
        // Another file system: a copy, and the original leaves once the
        // copy is on disk (below).
        std::string work = Stage(CopyDirectoryInto, m, &status);
        if (status == qirOK) staged.push_back({i, work});
        else fail(m);
    }
    // The renames on disk, both sides, before the move is told done.
    qirSyncBatch folders(dir.c_str());
    folders.Add(dir.c_str());
    if (!from.empty()) folders.Add(from.c_str());
    if (renamed && folders.Sync() != qirOK)
        QIR_REPORT(qirLogWarning, "Can't write the folders <%s> and <%s> to disk: %s", dir.c_str(), from.c_str(),
                   strerror(errno));
    if (!staged.empty()) {
        // The copies reach the disk before they enter this folder, and the
        // folder before their originals are given up; then the originals'
        // deletion marks are saved, synced once for the batch, and only then
        // do the originals go.  A kill at any point leaves each message
        // undeleted in one folder, or in both with a mark on the original.
        qirSyncBatch copies(dir.c_str());
        for (auto& s : staged) copies.AddTree(s.second.c_str());
        std::vector<int> copiedAt;
        if (copies.Sync() != qirOK) {
            for (auto& s : staged) {
                qirRemoveDirectory(s.second.c_str(), 0);
                fail(messages[s.first]);
            }
        } else {
            for (auto& s : staged) {
                int status;
                qirPath path = Publish(s.second, &status);
                if (status != qirOK) {
                    fail(messages[s.first]);
                    continue;
                }
                arrived.push_back(path);
                copiedAt.push_back(s.first);
            }
        }
        qirSyncBatch here(dir.c_str());
        here.Add(dir.c_str());
        if (!copiedAt.empty() && here.Sync() != qirOK) {
            QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't write the folder <%s> to disk: %s; the originals are kept",
                       sourceName, __LINE__, dir.c_str(), strerror(errno));
        } else if (!copiedAt.empty()) {
            qirSyncBatch marks(from.c_str());
            {
                qirSyncBatch::Deferred deferred;
                for (int i : copiedAt) {
                    messages[i]->SetRemoved(1);
                    if (messages[i]->Save() != qirOK) {
                        messages[i]->SetRemoved(0);
                        continue;
                    }
                    state[i] = 2;
                    marks.Add((std::string(Str(messages[i]->Path())) + "/Body.PARSED").c_str());
                }
            }
            marks.Add(from.c_str());
            if (marks.Sync() != qirOK) {
                QIR_REPORT(qirLogWarning, "Can't write the folder <%s> to disk: %s", from.c_str(), strerror(errno));
            } else {
                for (int i : copiedAt)
                    if (state[i] == 2 && messages[i]->RemoveFromDisk() == qirOK) state[i] = 1;
            }
        }
    }
    if (!staging_.empty() && rmdir(staging_.c_str()) == 0) staging_.clear();
    if (failed)
        QIR_REPORT(qirLogError, "Error moving <%s> into <%s>: %s: %d of %d messages not moved", firstFailure.c_str(),
                   dir.c_str(), why.c_str(), failed, n);
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

// ---------------------------------------------------------------- fetch

void (*qirFolder::fetchStep)(const char* step, int count) = nullptr;
qirFolder::FetchPace qirFolder::fetchPace;

static void Step(const char* step, int count)
{
    if (qirFolder::fetchStep) qirFolder::fetchStep(step, count);
}

namespace {
// Bytes stored in one round of syncs at most: with the count of
// fetchPace, enough that the disk sees few rounds, few enough that a fetch
// killed part way stores little twice.
const size_t roundBytes = 16u << 20;

// The text of one message on its way from the source to the import: in
// memory, unless it grows past spillSize, when it goes on in an unnamed
// file beside the folder, so that a huge message never sits in memory
// whole.  Its digest is taken on the way.
class MessageText {
public:
    enum { spillSize = 16 << 20 };
    explicit MessageText(const std::string* spillDir) : spillDir_(spillDir) {}
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
        digest_ = qirDigest();
    }
    static int Append(void* context, const char* text, int length)
    {
        MessageText* t = static_cast<MessageText*>(context);
        t->digest_.Add(text, (size_t)length);
        if (!t->spilled_ && t->memory_.size() + length <= spillSize) {
            t->memory_.append(text, length);
            return 1;
        }
        if (!t->spilled_ && !t->Spill()) return 0;
        return fwrite(text, 1, length, t->spill_) == (size_t)length;
    }
    // A text held elsewhere (n bytes at text, not copied) to read from its
    // start, or null; valid until Clear and while the text stays.
    FILE* OpenOver(const char* text, size_t n)
    {
        Close();
        if (n == 0) return Open();
        return reader_ = fmemopen(const_cast<char*>(text), n, "r");
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
    uint64_t Digest() const { return digest_.Value(); }
    uint64_t Length() const { return digest_.Length(); }

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
        if (!spill_) {
            // On the folder's own file system, not wherever /tmp lies.
            int fd = spillDir_ && !spillDir_->empty() ? open(spillDir_->c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600) : -1;
            spill_ = fd >= 0 ? fdopen(fd, "w+") : nullptr;
            if (!spill_ && fd >= 0) close(fd);
            if (!spill_) spill_ = qirTempFile();
        }
        if (!spill_) {
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

    const std::string* spillDir_;
    std::string memory_;
    FILE* spill_ = nullptr;  // owned, reused from message to message
    FILE* reader_ = nullptr; // over memory_
    int spilled_ = 0;
    int failed_ = 0; // no temporary file could be made
    qirDigest digest_;
};

struct ImportContext {
    FILE* text;
};
}

// Imports the text into a new message directory made at directory, and
// saves it.  Nothing is synced here: the directory is synced whole before
// it is published.
static int ImportAndSave(const char* directory, void* context)
{
    FILE* f = static_cast<ImportContext*>(context)->text;
    qirSyncBatch::Deferred deferred;
    qirMsg message{qirPath(directory), qirMsg::Blank()};
    if (!message.IsFresh()) return qirCannotCreate;
    rewind(f);
    if (message.ImportRFC822(f) != qirOK) {
        if (qirLog)
            qirLog->ReportContent(qirLogError, "ERROR(<%s>,%d) Can't import message:\n", sourceName, __LINE__);
        return qirFailed;
    }
    int s = message.Save();
    if (s != qirOK) {
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't save message: Status = %d", sourceName, __LINE__, s);
        return s;
    }
    return qirOK;
}

// The usual trimmed file replaces the lines appended round by round.
static void SaveHistory(qirHistory* history, int recorded)
{
    if (!history || !recorded) return;
    int r = history->Save();
    if (r != qirOK && r != qirHistoryOverflow)
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't save the fetch history %s: Status = %d", sourceName, __LINE__,
                   history->Path() ? history->Path() : "", r);
}

int qirFolder::StageFetched(FILE* text, const char* id, const qirFetchProof& proof, int source,
                            std::vector<Staged>* round)
{
    ImportContext context{text};
    int status;
    std::string work = Stage(ImportAndSave, &context, &status);
    if (status != qirOK) return status;
    round->push_back({work, id ? id : "", proof, source, {}});
    if (!roundSync_) roundSync_.reset(new qirSyncBatch(directory_ ? Str(*directory_) : ""));
    roundSync_->AddTree(work.c_str());
    roundSync_->Start();
    // The log names the message once it is where it stays.
    if (qirLog) round->back().reports = qirLog->TakeReceivedMessage();
    Step("staged", (int)round->size());
    return qirOK;
}

// The order that keeps a power cut from losing or half-storing anything:
// every file and directory of the round on the disk, then the renames into
// the folder, the folder's directory on the disk, and only then the history
// lines that name them.  The sources of what is in the folder for sure go
// to published; the caller may delete those at the source.
int qirFolder::PublishRound(std::vector<Staged>* round, qirHistory* history, std::vector<int>* published)
{
    if (round->empty()) return qirOK;
    const std::string dir = directory_ ? Str(*directory_) : "";
    // Started as each message was staged.
    std::unique_ptr<qirSyncBatch> batch = std::move(roundSync_);
    if (!batch) {
        batch.reset(new qirSyncBatch(dir.c_str()));
        for (const Staged& m : *round) batch->AddTree(m.work.c_str());
    }
    if (batch->Sync() != qirOK) {
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't write %d new messages to disk: %s; they stay at the source",
                   sourceName, __LINE__, (int)round->size(), strerror(errno));
        for (Staged& m : *round) {
            qirRemoveDirectory(m.work.c_str(), 0);
            if (qirLog) qirLog->EndReceivedMessage(notStored, &m.reports);
        }
        round->clear();
        return qirWriteError;
    }
    Step("synced", (int)round->size());
    std::vector<std::pair<qirPath, const Staged*>> in;
    // One rename each, between two directories held open for the round.
    int stagingFd = staging_.empty() ? -1 : open(staging_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int folderFd = stagingFd < 0 ? -1 : open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) {
        if (stagingFd >= 0) close(stagingFd);
        stagingFd = folderFd = AT_FDCWD;
    }
    for (Staged& m : *round) {
        int status;
        // Staged in this process's staging directory, by its own name.
        int direct = stagingFd != AT_FDCWD && m.work.compare(0, staging_.size() + 1, staging_ + "/") == 0;
        qirPath path = direct ? Publish(m.work, &status, stagingFd, folderFd) : Publish(m.work, &status);
        if (status == qirOK) in.push_back({path, &m});
        else QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't move a new message into <%s>", sourceName, __LINE__,
                        dir.c_str());
        if (qirLog)
            qirLog->EndReceivedMessage(status == qirOK ? ("stored as " + std::string(Str(path))).c_str() : notStored,
                                       &m.reports);
    }
    if (stagingFd != AT_FDCWD) {
        close(stagingFd);
        close(folderFd);
    }
    int r = qirOK;
    qirSyncBatch folder(dir.c_str());
    folder.Add(dir.c_str());
    if (!in.empty() && folder.Sync() != qirOK) {
        // In the folder, but perhaps not after a power cut: neither
        // remembered nor deleted at the source, so at worst fetched twice.
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't write the folder <%s> to disk: %s; nothing is deleted",
                   sourceName, __LINE__, dir.c_str(), strerror(errno));
        r = qirWriteError;
    } else {
        Step("published", (int)in.size());
        if (history) {
            for (auto& p : in) history->Record(p.second->id.c_str(), p.second->proof);
            int w = history->WritePending();
            if (w != qirOK)
                QIR_REPORT(qirLogError, "ERROR(<%s>,%d) Can't save the fetch history %s: Status = %d", sourceName,
                           __LINE__, history->Path() ? history->Path() : "", w);
        }
        Step("recorded", (int)in.size());
        for (auto& p : in) published->push_back(p.second->source);
    }
    for (auto& p : in)
        if (loaded_) AddLoaded(NewMessage(&p.first));
    round->clear();
    return r;
}

namespace {
// Where the fetch of one message from the server stands.
enum Plan { planFetch, planVerify };
struct Wanted {
    int index;
    int plan;
    int size;
    std::string id;
};

// The same message in a new session: same number, size and identifier.
int SameRecord(QIRPOP3* pop, const Wanted& w)
{
    QIRPOP3_MSG_INFO* info = pop->Info(w.index);
    return info && info->Size() == w.size && (info->HasId() ? w.id == info->Id() : w.id.empty());
}
}

int qirFolder::FetchPOP3(qirString server, qirString service, qirString user, qirString password,
                         qirHistory* history, int keep)
{
    // A message whose content cannot be read whole is still fetched: what
    // is wrong with it goes to the log, never into a box of its own.
    qirReceivedStretch received;
    if (history) history->BeginFetch();
    QIRPOP3* pop = new QIRPOP3(Str(server), Str(service), Str(user), Str(password));
    if (pop->Status() != qirOK) {
        int status = pop->Status();
        QIR_REPORT(qirLogError, "POP: Error establishing connection");
        delete pop; // no QUIT after a failed connection (the client knows)
        return status;
    }
    QIR_REPORT(qirLogDebug, "POP: Connection established");
    RemoveStaleStaging();

    // A message known with the size the server lists now is the one stored
    // before.  Left on the server, it is skipped; to be deleted there, it is
    // retrieved once more and deleted only when its text is the stored one.
    std::vector<Wanted> wanted;
    std::vector<int> toDelete;
    uint64_t total = 0;
    const int n = pop->Count();
    for (int i = 0; i < n; ++i) {
        QIRPOP3_MSG_INFO* info = pop->Info(i);
        if (!info) {
            QIR_REPORT(qirLogInfo, "POP: Can't access message info for message %d - skipping", i);
            continue;
        }
        int plan = planFetch;
        if (info->HasId() && history) {
            qirFetchProof listed;
            listed.size = info->Size();
            int m = history->Match(info->Id(), listed);
            if (keep && m >= qirHistory::matchKnown) {
                QIR_REPORT(qirLogStatistics, "POP: Message %d already in history - skipping", i);
                continue;
            }
            if (!keep && m >= qirHistory::matchSize) plan = planVerify;
        }
        wanted.push_back({i, plan, info->Size(), info->HasId() ? info->Id() : ""});
        total += (uint64_t)std::max(info->Size(), 0);
    }
    // Its total is what this fetch retrieves, not the whole mailbox.
    ProgressReport progress(total, qirLanguage.Text(1000));
    const double started = QIRPOP3::Now();
    const double checkDeadline = started + fetchPace.checkSeconds + (double)total / fetchPace.bytesPerSecond;

    if (EnsureStaging() != qirOK) wanted.clear();
    MessageText text(&staging_);
    std::vector<Staged> round;
    std::vector<int> published;
    size_t roundSize = 0;
    int diskFailed = 0, stored = 0;
    uint64_t bytes = 0;
    size_t ahead = 0, asked = 0; // retrievals asked ahead: wanted[0, asked)
    for (size_t k = 0; k < wanted.size() && !diskFailed; ++k) {
        const Wanted& w = wanted[k];
        if (asked <= k) {
            ahead = wanted.size() - k > 1 && pop->CanPipeline() ? 4 : 0;
            asked = k;
        }
        while (ahead && asked < wanted.size() && asked < k + 1 + ahead) pop->RequestRetrieve(wanted[asked++].index);
        QIR_REPORT(qirLogStatistics, "POP: Receiving message %d of %d", w.index + 1, n);
        text.Clear(w.size > 0 ? (size_t)w.size : 0);
        // Bounds from the listed size: a server that never stops sending or
        // sends a byte at a time cannot hold the fetch.
        pop->SetReadLimit(w.size > 0 ? 2 * (long long)w.size + fetchPace.margin : fetchPace.ceiling);
        pop->SetDeadline(std::min(checkDeadline, QIRPOP3::Now() + fetchPace.seconds + w.size / fetchPace.bytesPerSecond));
        int r = pop->RetrieveWith(w.index, MessageText::Append, &text);
        FILE* in = r == qirOK ? text.Open() : nullptr;
        if (!in) {
            if (pop->Cut() == QIRPOP3::cutTooLong)
                QIR_REPORT(qirLogError, "POP3: Message %d is far longer than the %d bytes the server listed - left on the server",
                           w.index, w.size);
            else if (pop->Cut() == QIRPOP3::cutTimedOut && QIRPOP3::Now() >= checkDeadline)
                QIR_REPORT(qirLogError, "POP3: The check took longer than its %.0f s - the rest stays on the server",
                           checkDeadline - started);
            else if (pop->Cut() == QIRPOP3::cutTimedOut)
                QIR_REPORT(qirLogError, "POP3: Message %d of %d bytes arrives too slowly - left on the server", w.index,
                           w.size);
            else if (text.Failed())
                QIR_REPORT(qirLogInfo, "POP3: Can't create temporary files, skipping  message %d", w.index);
            else
                QIR_REPORT(qirLogInfo, "POP3: Can't receive message %d - skipping", w.index);
            if (r != qirConnectionFailed) continue;
            if (!pop->Cut() || QIRPOP3::Now() >= checkDeadline) break; // nothing more can come
            // A fresh session for the rest; what this one was to delete is
            // deleted there, when it is still the same message.
            if (PublishRound(&round, history, &published) != qirOK) diskFailed = 1;
            stored |= !published.empty();
            roundSize = 0;
            delete pop;
            pop = new QIRPOP3(Str(server), Str(service), Str(user), Str(password));
            if (pop->Status() != qirOK) {
                QIR_REPORT(qirLogError, "POP: Error establishing connection");
                break;
            }
            std::vector<int> still;
            for (int i : published)
                if (std::any_of(wanted.begin(), wanted.end(), [&](const Wanted& x) { return x.index == i && SameRecord(pop, x); }))
                    still.push_back(i);
            published.swap(still);
            still.clear();
            for (int i : toDelete)
                if (std::any_of(wanted.begin(), wanted.end(), [&](const Wanted& x) { return x.index == i && SameRecord(pop, x); }))
                    still.push_back(i);
            toDelete.swap(still);
            size_t kept = k + 1;
            for (size_t j = k + 1; j < wanted.size(); ++j)
                if (SameRecord(pop, wanted[j])) wanted[kept++] = wanted[j];
            wanted.resize(kept);
            asked = 0;
            continue;
        }
        bytes += (uint64_t)std::max(w.size, 0);
        progress.Set(bytes);
        qirFetchProof proof;
        proof.size = w.size;
        proof.digest = text.Digest();
        proof.hasDigest = 1;
        if (w.plan == planVerify && history->Match(w.id.c_str(), proof) == qirHistory::matchSame) {
            // Stored by an earlier fetch whose DELE never took effect.
            QIR_REPORT(qirLogStatistics, "POP: Message %d already in history - skipping", w.index);
            toDelete.push_back(w.index);
            continue;
        }
        if (StageFetched(in, w.id.c_str(), proof, w.index, &round) != qirOK) continue;
        roundSize += text.Length();
        if (round.size() >= fetchPace.roundMessages || roundSize >= roundBytes) {
            if (PublishRound(&round, history, &published) != qirOK) diskFailed = 1;
            stored |= !published.empty();
            roundSize = 0;
        }
    }
    if (PublishRound(&round, history, &published) != qirOK) diskFailed = 1;
            stored |= !published.empty();
    DropStaging();
    pop->SetReadLimit(0);
    pop->SetDeadline(0);
    // Only what is on the disk leaves the server, and only at QUIT.
    if (!keep) {
        toDelete.insert(toDelete.end(), published.begin(), published.end());
        std::sort(toDelete.begin(), toDelete.end());
        Step("deleting", (int)toDelete.size());
        for (int i : toDelete)
            if (pop->Remove(i) == qirConnectionFailed) break;
    }
    delete pop; // QUIT: only now does the server remove what was deleted
    SaveHistory(history, stored);
    progress.End();
    return FlushFetched("");
}

// ---------------------------------------------------------------- mailbox fetch

int qirFolder::FetchMailbox(const qirPath& spool, qirHistory* history, int keep)
{
    qirReceivedStretch received; // as for POP3
    qirLogBatch logLines;        // a line or two per letter, written round by round
    if (history) history->BeginFetch();
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
        // Only finishing a rewrite that was cut short fails otherwise.
        QIR_REPORT(qirLogError, "MailBox: Can't finish the interrupted rewrite of %s: Status = %d", Str(spool),
                   box.Status());
        return box.Status();
    }
    QIR_REPORT(qirLogDebug, "MailBox: mailbox is succesfully opened.");
    if (box.Recovered() > 0)
        QIR_REPORT(qirLogWarning, "MailBox: Finished the interrupted rewrite of %s", Str(spool));
    else if (box.Recovered() < 0)
        QIR_REPORT(qirLogError, "MailBox: %s was changed after its rewrite was interrupted; that rewrite's text is kept in %s",
                   Str(spool), box.AsidePath().c_str());
    RemoveStaleStaging();
    // The whole spool is read once to learn every letter's proof; then only
    // the new letters are read again (from the page cache) and stored.
    // Without a history nothing is proved: the lengths are enough.
    box.SetDigests(history != nullptr);
    if (box.Scan() != qirOK)
        QIR_REPORT(qirLogError, "MailBox: Error reading %s: Status = %d", Str(spool), box.Status());
    std::vector<int> wanted;
    uint64_t total = 0;
    int deleted = 0;
    for (qirMsgInfo* info = box.First(); info; info = box.Next(info)) {
        int i = info->Number();
        qirFetchProof proof = info->Proof();
        if (!proof.Known()) continue; // cut short by a read error
        const char* id = Str(info->HistoryId());
        int m = history && *id ? history->Match(id, proof) : qirHistory::matchUnknown;
        if (m == qirHistory::matchSame || (keep && m >= qirHistory::matchKnown)) {
            QIR_REPORT(qirLogInfo, "MailBox: Message %d already in history - skipping", i);
            // Stored by a fetch whose rewrite of the spool never happened.
            if (!keep && box.MarkDeleted(i) == qirOK) ++deleted;
            continue;
        }
        wanted.push_back(i);
        total += (uint64_t)proof.size;
    }
    ProgressReport progress(total, qirLanguage.Text(1000));
    if (EnsureStaging() != qirOK) wanted.clear();
    MessageText text(&staging_);
    std::vector<Staged> round;
    std::vector<int> published;
    size_t roundSize = 0;
    int diskFailed = 0;
    uint64_t bytes = 0;
    for (size_t k = 0; k < wanted.size() && !diskFailed; ++k) {
        qirMsgInfo* info = box.Find(wanted[k]);
        qirFetchProof proof = info->Proof();
        QIR_REPORT(qirLogStatistics, "MailBox: Receiving message %d of %d", info->Number() + 1, box.Count());
        // Most letters are read straight from the mailbox's read-ahead.
        const char* view = nullptr;
        size_t length = 0;
        int v = box.TextOf(info->Number(), &view, &length);
        FILE* in = nullptr;
        if (v == qirOK) {
            text.Clear(0);
            in = text.OpenOver(view, length);
        } else if (v == 1) {
            text.Clear((size_t)proof.size);
            if (box.ReadText(info->Number(), MessageText::Append, &text) == qirOK) in = text.Open();
        }
        if (!in) {
            QIR_REPORT(qirLogError, "MailBox: Can't create temporary files, skipping  message %d", info->Number());
            continue;
        }
        bytes += (uint64_t)proof.size;
        progress.Set(bytes);
        if (StageFetched(in, Str(info->HistoryId()), proof, info->Number(), &round) != qirOK) continue;
        roundSize += (size_t)proof.size;
        if (round.size() >= fetchPace.roundMessages || roundSize >= roundBytes) {
            if (PublishRound(&round, history, &published) != qirOK) diskFailed = 1;
            roundSize = 0;
            logLines.Flush();
        }
    }
    if (PublishRound(&round, history, &published) != qirOK) diskFailed = 1;
    logLines.Flush();
    DropStaging();
    if (!keep)
        for (int i : published)
            if (box.MarkDeleted(i) == qirOK) ++deleted;
    // On disk first, then the history, then the spool rewrite.
    SaveHistory(history, !published.empty());
    if (deleted) {
        Step("deleting", deleted);
        int r = box.Commit();
        if (r != qirOK)
            QIR_REPORT(qirLogError, "MailBox: Can't rewrite %s: Status = %d%s%s%s", Str(spool), r,
                       box.TempPath().empty() ? "" : "; it is finished from ", box.TempPath().c_str(),
                       box.TempPath().empty() ? "" : " when the mailbox is next opened");
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

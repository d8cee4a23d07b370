#include "qirHistory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "qirAtomicFile.h"
#include "qirStatus.h"
#include "qirUtilities.h"

namespace {

// A line of the file cannot hold a line end, so an identifier is kept
// without any: Add, Load and FindAndMark all see the same form.
std::string Normalise(const char* id, size_t length)
{
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length && id[i]; ++i)
        if (id[i] != '\r' && id[i] != '\n') out += id[i];
    return out;
}

} // namespace

qirHistory::qirHistory(const char* path, int limit) : path_(qirStrdup(path)), limit_(limit < 0 ? 0 : limit) {}

qirHistory::~qirHistory()
{
    CloseJournal();
    index_.clear();
    qirList::Remove(nullptr);
    delete[] path_;
}

void qirHistory::Insert(std::string id, int seen)
{
    if (id.empty()) return;
    qirHistoryEntry* e = new qirHistoryEntry(id.c_str(), seen);
    qirList::Append(e);
    index_.emplace(std::move(id), e); // keeps an earlier entry of the same id
}

int qirHistory::Load()
{
    FILE* f = path_ ? fopen(path_, "r") : nullptr;
    if (!f) return qirCannotOpen;
    char* line = nullptr;
    size_t size = 0;
    ssize_t n;
    // Lines of any length: an identifier written by Save reads back whole.
    while ((n = getline(&line, &size, f)) >= 0) Insert(Normalise(line, static_cast<size_t>(n)), 0);
    int failed = ferror(f);
    free(line);
    fclose(f);
    return failed ? qirUnreadable : qirOK;
}

int qirHistory::FindAndMark(const char* id)
{
    if (!id) return 0;
    std::string key = Normalise(id, strlen(id));
    if (key.empty()) return 0;
    auto found = index_.find(key);
    if (found == index_.end()) return 0;
    found->second->seen_ = 1;
    return 1;
}

void qirHistory::Add(const char* id, int seen)
{
    if (!id) return;
    Insert(Normalise(id, strlen(id)), seen);
}

void qirHistory::CloseJournal()
{
    if (journal_ >= 0) close(journal_);
    journal_ = -1;
}

// Writes the whole line or reports a failure (the caller then saves the
// file whole, which drops any piece written).
static int WriteAll(int fd, const char* data, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, data, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return -1;
        data += w;
        n -= static_cast<size_t>(w);
    }
    return 0;
}

int qirHistory::AppendLine(const std::string& id)
{
    if (!path_) return qirCannotOpen;
    if (journal_ < 0) {
        journal_ = open(path_, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (journal_ < 0) return qirCannotOpen;
        // A line cut short by an earlier crash must not swallow this one.
        struct stat st;
        char last = '\n';
        if (fstat(journal_, &st) != 0 || (st.st_size > 0 && pread(journal_, &last, 1, st.st_size - 1) != 1) ||
            (last != '\n' && WriteAll(journal_, "\n", 1) != 0)) {
            CloseJournal();
            return qirWriteError;
        }
    }
    std::string line = id + '\n';
    if (WriteAll(journal_, line.data(), line.size()) != 0) {
        CloseJournal();
        return qirWriteError;
    }
    return qirOK;
}

int qirHistory::Record(const char* id)
{
    if (!id) return qirOK;
    std::string key = Normalise(id, strlen(id));
    if (key.empty()) return qirOK;
    Insert(key, 1);
    if (AppendLine(key) == qirOK) return qirOK;
    int r = Save();
    return r == qirHistoryOverflow ? qirOK : r;
}

void qirHistory::PurgeUnmarked()
{
    // Unlinking the first node is constant time; the kept ones go back in
    // order, so the whole purge is one pass.
    qirList kept;
    while (qirObject* node = qirList::First()) {
        qirList::Unlink(node);
        qirHistoryEntry* e = static_cast<qirHistoryEntry*>(node);
        if (e->seen_)
            kept.Append(e);
        else
            delete e;
    }
    index_.clear();
    while (qirObject* node = kept.First()) {
        kept.Unlink(node);
        qirHistoryEntry* e = static_cast<qirHistoryEntry*>(node);
        qirList::Append(e);
        index_.emplace(e->id_.Text(), e);
    }
}

int qirHistory::Save()
{
    // The rename below leaves an open descriptor on the old file.
    CloseJournal();
    qirAtomicFile file(path_);
    if (file.Open() != qirOK) return qirCannotOpen;
    FILE* f = file.Stream();
    int written = 0;
    int failed = 0;
    for (qirHistoryEntry* e = Last(); e && written < limit_; e = Prev(e), ++written) {
        const char* id = e->id_.Text();
        size_t n = strlen(id);
        if (fwrite(id, 1, n, f) != n || putc('\n', f) == EOF) {
            failed = 1;
            break;
        }
    }
    if (failed) {
        file.Abort();
        return qirWriteError;
    }
    if (file.Commit() != qirOK) return qirWriteError;
    return limit_ - written < limit_ / 100 ? qirHistoryOverflow : qirOK;
}

#include "qirHistory.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "qirAtomicFile.h"
#include "qirStatus.h"
#include "qirSyncBatch.h"
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

std::string qirFetchProof::Text() const
{
    if (!Known()) return std::string();
    // Written for every letter a fetch stores: no printf.
    std::string text = "L" + std::to_string(size);
    if (hasDigest) {
        static const char hex[] = "0123456789abcdef";
        char d[18] = {' ', 'D'};
        unsigned long long v = static_cast<unsigned long long>(digest);
        for (int i = 17; i >= 2; --i, v >>= 4) d[i] = hex[v & 15];
        text.append(d, sizeof d);
    }
    return text;
}

int qirFetchProof::Parse(const char* text)
{
    *this = qirFetchProof();
    if (!text || text[0] != 'L' || !isdigit(static_cast<unsigned char>(text[1]))) return 0;
    char* end = nullptr;
    errno = 0;
    long long n = strtoll(text + 1, &end, 10);
    if (errno || n < 0 || end - text > 20) return 0;
    if (!*end) {
        size = n;
        return 1;
    }
    if (end[0] != ' ' || end[1] != 'D' || strlen(end + 2) != 16) return 0;
    uint64_t d = 0;
    for (const char* p = end + 2; *p; ++p) {
        int v = isdigit(static_cast<unsigned char>(*p)) ? *p - '0' : (*p >= 'a' && *p <= 'f') ? *p - 'a' + 10 : -1;
        if (v < 0) return 0;
        d = d << 4 | static_cast<uint64_t>(v);
    }
    size = n;
    digest = d;
    hasDigest = 1;
    return 1;
}

qirHistory::qirHistory(const char* path, int limit) : path_(qirStrdup(path)), limit_(limit < 0 ? 0 : limit) {}

qirHistory::~qirHistory()
{
    CloseJournal();
    index_.clear();
    qirList::Remove(nullptr);
    delete[] path_;
}

qirHistoryEntry* qirHistory::Insert(std::string id, int seen)
{
    if (id.empty()) return nullptr;
    qirHistoryEntry* e = new qirHistoryEntry(id.c_str(), seen);
    qirList::Append(e);
    index_[std::move(id)].push_back(e); // after earlier entries of the same id
    return e;
}

int qirHistory::Load()
{
    FILE* f = path_ ? fopen(path_, "r") : nullptr;
    if (!f) return qirCannotOpen;
    char* line = nullptr;
    size_t size = 0;
    ssize_t n;
    // Lines of any length: an identifier written by Save reads back whole.
    while ((n = getline(&line, &size, f)) >= 0) {
        std::string text = Normalise(line, static_cast<size_t>(n));
        // A proof after the last TAB; a line without a well-formed one is an
        // identifier alone, whatever it holds.
        qirFetchProof proof;
        size_t tab = text.rfind('\t');
        if (tab != std::string::npos && proof.Parse(text.c_str() + tab + 1)) text.erase(tab);
        if (qirHistoryEntry* e = Insert(std::move(text), 0)) e->proof_ = proof;
    }
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
    found->second.front()->seen_ = 1;
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

int qirHistory::AppendLines(const std::string& lines)
{
    if (!path_) return qirCannotOpen;
    if (journal_ < 0) {
        journal_ = open(path_, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (journal_ < 0) return qirCannotOpen;
        // A line cut short by an earlier crash must not swallow the next.
        struct stat st;
        char last = '\n';
        if (fstat(journal_, &st) != 0 || (st.st_size > 0 && pread(journal_, &last, 1, st.st_size - 1) != 1) ||
            (last != '\n' && WriteAll(journal_, "\n", 1) != 0)) {
            CloseJournal();
            return qirWriteError;
        }
        // A file made just now must have its name on the disk too.
        if (st.st_size == 0 && qirSyncBatch::Enabled() && qirSyncParent(path_) != 0) {
            CloseJournal();
            return qirWriteError;
        }
    }
    if (WriteAll(journal_, lines.data(), lines.size()) != 0 ||
        (qirSyncBatch::Enabled() && fdatasync(journal_) != 0)) {
        CloseJournal();
        return qirWriteError;
    }
    return qirOK;
}

void qirHistory::BeginFetch() { ++generation_; }

int qirHistory::Match(const char* id, const qirFetchProof& proof)
{
    if (!id) return matchUnknown;
    auto found = index_.find(Normalise(id, strlen(id)));
    if (found == index_.end()) return matchUnknown;
    int best = matchUnknown;
    qirHistoryEntry* chosen = nullptr;
    for (qirHistoryEntry* e : found->second) {
        if (generation_ && e->added_ == generation_) continue;
        const qirFetchProof& kept = e->proof_;
        int m;
        if (!kept.Known()) m = matchKnown;
        else if (!proof.Known() || kept.size != proof.size) m = matchDiffers;
        else if (kept.hasDigest && proof.hasDigest) m = kept.digest == proof.digest ? matchSame : matchDiffers;
        else m = matchSize;
        if (best == matchUnknown && m == matchDiffers) best = matchDiffers;
        if (m <= matchUnknown) continue;
        if (m > best || (m == best && chosen && chosen->seen_ && !e->seen_)) {
            best = m;
            chosen = e;
        }
    }
    if (chosen) chosen->seen_ = 1;
    return best;
}

void qirHistory::Record(const char* id, const qirFetchProof& proof)
{
    if (!id) return;
    std::string key = Normalise(id, strlen(id));
    qirHistoryEntry* e = Insert(key, 1);
    if (!e) return;
    e->proof_ = proof;
    e->added_ = generation_;
    pending_ += key;
    if (proof.Known()) pending_ += '\t' + proof.Text();
    pending_ += '\n';
}

int qirHistory::WritePending()
{
    if (pending_.empty()) return qirOK;
    std::string lines;
    lines.swap(pending_);
    if (AppendLines(lines) == qirOK) return qirOK;
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
        index_[e->id_.Text()].push_back(e);
    }
}

int qirHistory::Save()
{
    // The rename below leaves an open descriptor on the old file.
    CloseJournal();
    pending_.clear(); // the whole file holds them
    qirAtomicFile file(path_);
    if (file.Open() != qirOK) return qirCannotOpen;
    FILE* f = file.Stream();
    int written = 0;
    int failed = 0;
    for (qirHistoryEntry* e = Last(); e && written < limit_; e = Prev(e), ++written) {
        const char* id = e->id_.Text();
        size_t n = strlen(id);
        std::string proof = e->proof_.Known() ? '\t' + e->proof_.Text() : std::string();
        if (fwrite(id, 1, n, f) != n || fwrite(proof.data(), 1, proof.size(), f) != proof.size() ||
            putc('\n', f) == EOF) {
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

#include "qirUtilities.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <netdb.h>
#include <pwd.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "qirStatus.h"

enum { copyBlock = 10240 };

static int ReadSome(int fd, char* buf, size_t n)
{
    for (;;) {
        ssize_t r = read(fd, buf, n);
        if (r >= 0 || errno != EINTR) return int(r);
    }
}

// Stores every byte or fails: a full disk must never pass as a copy.
static int WriteAll(int fd, const char* buf, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, buf, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (w == 0) return -1;
        buf += w;
        n -= size_t(w);
    }
    return 0;
}

static int OpenRetry(const char* path, int flags, mode_t mode = 0)
{
    for (;;) {
        int fd = open(path, flags, mode);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

static int Pump(int in, int out)
{
    char buf[copyBlock];
    for (;;) {
        int n = ReadSome(in, buf, sizeof buf);
        if (n < 0) return -1;
        if (n == 0) return 0;
        if (WriteAll(out, buf, size_t(n)) != 0) return -1;
    }
}

static int SameFile(int fd, const char* path)
{
    struct stat a, b;
    return fstat(fd, &a) == 0 && stat(path, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens the source of a copy: only a regular file.  A directory would
// fail only after the target was truncated, a fifo or a device could block
// or never end; either way the user's target is lost, so they are refused
// before it is touched.
static int OpenSource(const char* source)
{
    int in = OpenRetry(source, O_RDONLY | O_NONBLOCK);
    if (in < 0) return -1;
    struct stat st;
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return -1;
    }
    int flags = fcntl(in, F_GETFL);
    if (flags >= 0) fcntl(in, F_SETFL, flags & ~O_NONBLOCK);
    return in;
}

int qirCopyFile(const char* source, const char* target)
{
    if (!source || !target) return -1;
    int in = OpenSource(source);
    if (in < 0) return -1;
    // Truncating the source itself would lose it.
    if (SameFile(in, target)) {
        close(in);
        return -1;
    }
    int out = OpenRetry(target, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) {
        close(in);
        return -1;
    }
    struct stat st;
    int regular = fstat(out, &st) == 0 && S_ISREG(st.st_mode);
    int rc = Pump(in, out);
    close(in);
    if (close(out) != 0) rc = -1;
    // The partial copy goes; a device or fifo named as target stays.
    if (rc != 0 && regular) unlink(target);
    return rc;
}

int qirCopyToNewFile(const char* source, const char* target)
{
    if (!source || !target) return -1;
    int in = OpenSource(source);
    if (in < 0) return -1;
    int out = OpenRetry(target, O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (out < 0) {
        int exists = errno == EEXIST;
        close(in);
        return exists ? qirCannotCreate : -1;
    }
    int rc = Pump(in, out);
    close(in);
    if (close(out) != 0) rc = -1;
    // What this call made goes again: nothing half-copied stays.
    if (rc != 0) unlink(target);
    return rc;
}

int qirAppendFile(const char* source, const char* target)
{
    if (!source || !target) return -1;
    int in = OpenSource(source);
    if (in < 0) return -1;
    if (SameFile(in, target)) {
        close(in);
        return -1;
    }
    int out = OpenRetry(target, O_WRONLY | O_CREAT | O_EXCL, 0644);
    int created = out >= 0;
    if (!created) out = OpenRetry(target, O_WRONLY | O_CREAT, 0644);
    struct stat st;
    if (out < 0 || fstat(out, &st) != 0) {
        if (out >= 0) close(out);
        close(in);
        return -1;
    }
    off_t oldSize = st.st_size;
    int rc = lseek(out, 0, SEEK_END) < 0 ? -1 : Pump(in, out);
    close(in);
    if (close(out) != 0) rc = -1;
    if (rc != 0) {
        // Give the user's file back as it was.
        if (created) unlink(target);
        else if (truncate(target, oldSize) != 0) rc = -1;
    }
    return rc;
}

// Directory trees

static std::string Join(const char* dir, const char* name)
{
    std::string s(dir);
    s += '/';
    s += name;
    return s;
}

static int IsDotEntry(const char* n) { return n[0] == '.' && (!n[1] || (n[1] == '.' && !n[2])); }

// Opens a directory for a walk; with follow 0 a link swapped in after the
// lstat is refused rather than walked.
static DIR* OpenWalk(const char* dir, int follow)
{
    int fd = OpenRetry(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
    if (fd < 0) return nullptr;
    DIR* d = fdopendir(fd);
    if (!d) close(fd);
    return d;
}

int qirRemoveDirectory(const char* dir, int verbose)
{
    struct stat st;
    // A link to a directory is not a directory here: removing through it
    // would empty a tree that lies elsewhere.
    if (!dir || lstat(dir, &st) != 0) return qirTreeCannotExamine;
    if (!S_ISDIR(st.st_mode)) return qirTreeNotDirectory;
    if (verbose) fprintf(stderr, "Removing directory: <%s>\n", dir);
    DIR* d = OpenWalk(dir, 0);
    if (!d) return qirTreeCannotOpen;
    int code = qirTreeDone;
    while (struct dirent* e = readdir(d)) {
        if (IsDotEntry(e->d_name)) continue;
        std::string path = Join(dir, e->d_name);
        struct stat es;
        // lstat: a link is removed as a link, its target left alone.
        if (lstat(path.c_str(), &es) != 0) {
            closedir(d);
            return qirTreeCannotCreate;
        }
        if (S_ISDIR(es.st_mode)) {
            if (qirRemoveDirectory(path.c_str(), verbose) != 0) {
                code = qirTreeSubdirFailed;
                fprintf(stderr, "Error removing directory: <%s>\n", path.c_str());
            }
        } else if (unlink(path.c_str()) != 0) {
            code = qirTreeFileFailed;
            fprintf(stderr, "Error removing file: <%s>\n", path.c_str());
        } else if (verbose) {
            fprintf(stderr, "File: <%s> removed OK!\n", path.c_str());
        }
    }
    closedir(d);
    if (code == qirTreeDone && rmdir(dir) != 0) {
        code = qirTreeCannotRemove;
        fprintf(stderr, "Error removing directory: <%s>\n", dir);
    }
    return code;
}

// Recreates a link at the target instead of copying what it points to.
static int CopyLink(const char* source, const char* target)
{
    char buf[PATH_MAX];
    ssize_t n = readlink(source, buf, sizeof buf - 1);
    if (n < 0) return -1;
    buf[n] = 0;
    return symlink(buf, target) == 0 ? 0 : -1;
}

static int CopyEntry(const char* source, const char* target, const struct stat& st, int share)
{
    if (S_ISLNK(st.st_mode)) return CopyLink(source, target);
    if (S_ISREG(st.st_mode)) return (share && link(source, target) == 0) ? 0 : qirCopyFile(source, target);
    return -1; // devices, fifos and sockets are not copied
}

// The copy and the move share the walk; move removes what was copied.
// The top of a copy may be a link to a directory; the top of a move may
// not, since the move removes what it walks.  Below the top links are
// copied as links.
static int CopyTree(const char* source, const char* target, int verbose, int move, int follow, int share = 0)
{
    struct stat st;
    if (!source || !target || (follow ? stat(source, &st) : lstat(source, &st)) != 0) return qirTreeCannotExamine;
    if (!S_ISDIR(st.st_mode)) return qirTreeNotDirectory;
    if (verbose) fprintf(stderr, move ? "Moving directory: <%s>=><%s>\n" : "Copying directory: <%s>=><%s>\n", source, target);
    DIR* d = OpenWalk(source, follow);
    if (!d) return qirTreeCannotOpen;
    struct stat ts;
    // Writable while it fills; the source's bits are set at the end, so a
    // read-only source directory still copies.
    if (mkdir(target, 0700) != 0 || stat(target, &ts) != 0) {
        fprintf(stderr, "Error creating directory: <%s>\n", target);
        closedir(d);
        return qirTreeCannotCreate;
    }
    int code = qirTreeDone;
    while (struct dirent* e = readdir(d)) {
        if (IsDotEntry(e->d_name)) continue;
        std::string from = Join(source, e->d_name);
        std::string to = Join(target, e->d_name);
        struct stat es;
        if (lstat(from.c_str(), &es) != 0) {
            closedir(d);
            return qirTreeCannotCreate;
        }
        // A target made inside the source must not be walked into.
        if (es.st_dev == ts.st_dev && es.st_ino == ts.st_ino) continue;
        if (S_ISDIR(es.st_mode)) {
            if (CopyTree(from.c_str(), to.c_str(), verbose, move, 0, share) != 0) {
                code = qirTreeSubdirFailed;
                fprintf(stderr, move ? "Error moving directory: <%s>=><%s>\n" : "Error copying directory: <%s>=><%s>\n",
                        from.c_str(), to.c_str());
            }
            continue;
        }
        // The source goes only after its copy is complete and checked.
        int failed = CopyEntry(from.c_str(), to.c_str(), es, share) != 0;
        if (!failed && move && unlink(from.c_str()) != 0) failed = 1;
        if (failed) {
            code = qirTreeFileFailed;
            fprintf(stderr, move ? "Error moving file: <%s>=><%s>\n" : "Error copying file: <%s>=><%s>\n", from.c_str(),
                    to.c_str());
        } else if (verbose) {
            fprintf(stderr, move ? "File: <%s>=><%s> moved OK!\n" : "File: <%s>=><%s> copied OK!\n", from.c_str(),
                    to.c_str());
        }
    }
    closedir(d);
    chmod(target, st.st_mode & 07777);
    if (move && code == qirTreeDone && rmdir(source) != 0) {
        code = qirTreeCannotRemove;
        fprintf(stderr, "Error moving directory: <%s>=><%s>\n", source, target);
    }
    return code;
}

int qirMoveDirectory(const char* source, const char* target, int verbose)
{
    if (source && target && rename(source, target) == 0) return qirTreeDone;
    return CopyTree(source, target, verbose, 1, 0);
}

int qirCopyDirectory(const char* source, const char* target, int verbose)
{
    return CopyTree(source, target, verbose, 0, 1);
}

int qirShareDirectory(const char* source, const char* target)
{
    return CopyTree(source, target, 0, 0, 1, 1);
}

int qirRenameNoReplace(const char* from, const char* to)
{
    return qirRenameNoReplaceAt(AT_FDCWD, from, AT_FDCWD, to);
}

int qirRenameNoReplaceAt(int fromDir, const char* from, int toDir, const char* to)
{
    if (renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without the flag: claim the name with an exclusive mkdir,
    // then replace that empty directory of our own.
    struct stat st;
    if (fstatat(fromDir, from, &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
    if (S_ISDIR(st.st_mode)) {
        if (mkdirat(toDir, to, 0700) != 0) return -1;
        if (renameat(fromDir, from, toDir, to) == 0) return 0;
        int saved = errno;
        unlinkat(toDir, to, AT_REMOVEDIR);
        errno = saved;
        return -1;
    }
    if (fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return renameat(fromDir, from, toDir, to);
}

int qirPutAside(const char* path, const char* prefix, std::string* aside)
{
    static unsigned serial = 0;
    std::string dir = path;
    size_t slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
    for (int tries = 0; tries < 1000; ++tries) {
        std::string name = dir + prefix + std::to_string(getpid()) + "." + std::to_string(serial++);
        if (qirRenameNoReplace(path, name.c_str()) == 0) {
            *aside = name;
            return 0;
        }
        if (errno != EEXIST && errno != ENOTEMPTY) return -1;
    }
    return -1;
}

int qirScanDirectory(const char* dir, void (*visit)(const char*, unsigned char, void*), void* context)
{
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    alignas(struct dirent64) char buffer[32768];
    int r = 0;
    while (true) {
        ssize_t n = getdents64(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n < 0) r = -1;
            break;
        }
        for (ssize_t at = 0; at < n;) {
            const struct dirent64* e = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += e->d_reclen;
            const char* name = e->d_name;
            if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]))) continue;
            visit(name, e->d_type, context);
        }
    }
    close(fd);
    return r;
}

int qirReadWholeFile(const char* path, std::string* text)
{
    text->clear();
    int fd = path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) return qirCannotOpen;
    char chunk[16384];
    int r = 0;
    while (true) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n < 0) {
                text->clear();
                r = qirFailed;
            }
            break;
        }
        text->append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return r;
}

int qirFileSize(const char* path)
{
    // One call, not an open: a folder sorted by size asks this of every
    // message.
    struct stat st;
    if (!path || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size > INT_MAX ? -1 : int(st.st_size);
}

int qirIs7BitFile(const char* path)
{
    int fd = path ? OpenRetry(path, O_RDONLY) : -1;
    if (fd < 0) return qirCannotOpen;
    unsigned char buf[copyBlock];
    int result = 1;
    for (;;) {
        int n = ReadSome(fd, reinterpret_cast<char*>(buf), sizeof buf);
        if (n <= 0) break;
        for (int i = 0; i < n; ++i)
            if (buf[i] > 127) {
                result = 0;
                break;
            }
        if (!result) break;
    }
    close(fd);
    return result;
}

int qirFlock(int fd, int operation) { return flock(fd, operation); }

int qirStat(const char* path, struct stat* buf) { return stat(path, buf); }

char* qirStrdup(const char* s)
{
    if (!s) return nullptr;
    size_t n = strlen(s);
    char* p = new char[n + 1];
    memcpy(p, s, n + 1);
    return p;
}

// User facts

char* qirHomeDirectory()
{
    setpwent();
    struct passwd* pw = getpwuid(geteuid());
    char* home = pw && pw->pw_dir ? qirStrdup(pw->pw_dir) : nullptr;
    endpwent();
    return home;
}

char* qirUserHomeDirectory(const char* user)
{
    if (!user) return nullptr;
    setpwent();
    struct passwd* pw = getpwnam(user);
    char* home = pw && pw->pw_dir ? qirStrdup(pw->pw_dir) : nullptr;
    endpwent();
    return home;
}

char* qirUserAddress()
{
    setpwent();
    struct passwd* pw = getpwuid(geteuid());
    std::string login = pw && pw->pw_name ? pw->pw_name : "";
    endpwent();
    if (login.empty()) return nullptr;
    char host[1024];
    if (gethostname(host, sizeof host) != 0) return nullptr;
    host[sizeof host - 1] = 0;
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_flags = AI_CANONNAME;
    struct addrinfo* info = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &info) != 0 || !info) return nullptr;
    std::string address = login + "@" + (info->ai_canonname ? info->ai_canonname : host);
    freeaddrinfo(info);
    return qirStrdup(address.c_str());
}

char* qirUserFullName()
{
    setpwent();
    struct passwd* pw = getpwuid(geteuid());
    if (!pw) {
        endpwent();
        return nullptr;
    }
    std::string gecos = pw->pw_gecos ? pw->pw_gecos : "";
    std::string name;
    if (!gecos.empty() && gecos[0] == '&') {
        name = pw->pw_name ? pw->pw_name : "";
        if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = char(name[0] - 'a' + 'A');
    } else {
        name = gecos.substr(0, gecos.find(','));
    }
    endpwent();
    if (name.size() > 1023) name.resize(1023);
    return qirStrdup(name.c_str());
}

qirList* qirSplitText(const qirString& text, int n, const char* separators)
{
    if (!separators || text.IsEmpty() || n < 1) return nullptr;
    qirList* list = new qirList;
    const char* t = text.Text();
    size_t len = strlen(t);
    size_t pos = 0;
    while (pos < len) {
        size_t piece = len - pos < size_t(n) ? len - pos : size_t(n);
        if (piece == size_t(n)) {
            for (size_t i = piece - 1; i >= 1; --i)
                if (strchr(separators, t[pos + i]) && t[pos + i]) {
                    piece = i + 1;
                    break;
                }
        }
        list->Append(new qirString(t + pos, int(piece)));
        pos += piece;
    }
    return list;
}

const char* qirVersionNumber() { return "1.0 Beta3"; }

qirString qirVersionString() { return qirString("Quorvane. version ").Concat(qirVersionNumber()); }

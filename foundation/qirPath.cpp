#include "qirPath.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "qirStatus.h"

qirPath::qirPath(const qirPath& other) : qirString(other) { ExpandTilde(); }
qirPath::qirPath(const qirString& text) : qirString(text) { ExpandTilde(); }
qirPath::qirPath(const qirString* text) : qirString(text) { ExpandTilde(); }
qirPath::qirPath(const char* text) : qirString(text) { ExpandTilde(); }
qirPath::~qirPath() {}

qirPath& qirPath::Assign(const qirString* text)
{
    qirString::Assign(text ? text->Text() : "");
    ExpandTilde();
    return *this;
}

qirPath& qirPath::Assign(const char* text)
{
    qirString::Assign(text);
    ExpandTilde();
    return *this;
}

qirPath& qirPath::Assign(const qirString& text)
{
    qirString::Assign(text);
    ExpandTilde();
    return *this;
}

int qirPath::ExpandTilde()
{
    const char* t = Text();
    if (!t || t[0] != '~') return qirOK;
    const char* rest;
    struct passwd* pw;
    if (t[1] == '/' || t[1] == 0) {
        pw = getpwuid(geteuid());
        rest = t + 1;
    } else {
        const char* slash = strchr(t + 1, '/');
        std::string user(t + 1, slash ? size_t(slash - t - 1) : strlen(t + 1));
        pw = getpwnam(user.c_str());
        rest = slash ? slash : "";
    }
    if (!pw || !pw->pw_dir) return qirUnknownUser;
    std::string expanded = std::string(pw->pw_dir) + rest;
    qirString::Assign(expanded.c_str());
    return qirOK;
}

qirString qirPath::Dirname() const
{
    const char* t = Text();
    const char* slash = t ? strrchr(t, '/') : nullptr;
    if (!slash) return qirString("");
    return qirString(std::string(t, size_t(slash - t)).c_str());
}

qirString qirPath::Basename() const
{
    const char* t = Text();
    const char* slash = t ? strrchr(t, '/') : nullptr;
    return qirString(slash ? slash + 1 : "");
}

qirString qirPath::Extension() const
{
    const char* t = Text();
    const char* dot = t ? strrchr(t, '.') : nullptr;
    return qirString(dot ? dot + 1 : "");
}

qirString qirPath::Stem() const
{
    qirString base = Basename();
    const char* b = base.Text();
    const char* dot = b ? strrchr(b, '.') : nullptr;
    if (!dot) return qirString("");
    return qirString(std::string(b, size_t(dot - b)).c_str());
}

// Directory, then "/" and the base name, then "." and the extension.
static std::string Rebuild(const qirString& dir, const qirString& base, const qirString& ext)
{
    std::string s = dir.Text() ? dir.Text() : "";
    if (!base.IsEmpty()) {
        s += '/';
        s += base.Text();
        if (!ext.IsEmpty()) {
            s += '.';
            s += ext.Text();
        }
    }
    return s;
}

void qirPath::SetBasename(qirString name)
{
    Assign(Rebuild(Dirname(), name, qirString("")).c_str());
}

void qirPath::SetDirname(qirString dir)
{
    Assign(Rebuild(dir, Basename(), qirString("")).c_str());
}

void qirPath::SetExtension(qirString ext)
{
    // A base name without a dot is its own stem: "/x/book" + "LCK" is
    // "/x/book.LCK", never "/x" (lock paths are built this way); a path
    // without "/" is all base name.
    const char* t = Text() ? Text() : "";
    const char* slash = strrchr(t, '/');
    const char* base = slash ? slash + 1 : t;
    if (!*base) {
        Assign(Rebuild(Dirname(), qirString(""), ext).c_str());
        return;
    }
    const char* dot = strrchr(base, '.');
    const char* stemEnd = dot && dot != base ? dot : base + strlen(base);
    std::string s(t, size_t(stemEnd - t));
    if (!ext.IsEmpty()) {
        s += '.';
        s += ext.Text();
    }
    Assign(s.c_str());
}

int qirPath::Exists() const
{
    const char* t = Text();
    return t && access(t, F_OK) == 0 ? qirOK : qirNotFound;
}

int qirPath::IsDirectory() const
{
    struct stat st;
    const char* t = Text();
    if (!t || stat(t, &st) != 0) return qirCannotOpen;
    return S_ISDIR(st.st_mode) ? qirOK : qirNotFound;
}

int qirPath::Unlink()
{
    const char* t = Text();
    return t && unlink(t) == 0 ? qirOK : qirUnlinkFailed;
}

int qirPath::Rename(const char* newName)
{
    const char* t = Text();
    return t && newName && rename(t, newName) == 0 ? qirOK : qirUnlinkFailed;
}

// qirDirectory

qirDirectory::qirDirectory(const qirDirectory& other)
    : qirPath(static_cast<const qirPath&>(other)), handle_(other.handle_), last_(other.last_) {}
qirDirectory::qirDirectory(const qirPath& path) : qirPath(path) {}
qirDirectory::qirDirectory(const char* path) : qirPath(path) {}
qirDirectory::qirDirectory(const qirString& path) : qirPath(path) {}
qirDirectory::qirDirectory(const qirString* path) : qirPath(path) {}
qirDirectory::~qirDirectory() {}

qirDirectory& qirDirectory::Assign(const qirDirectory& other)
{
    if (this == &other) return *this;
    qirPath::Assign(static_cast<const qirString&>(other));
    handle_ = other.handle_;
    last_ = other.last_;
    return *this;
}

int qirDirectory::Open()
{
    if (IsEmpty()) return qirNotOpen;
    DIR* d = opendir(Text());
    if (!d) return qirCannotOpen;
    handle_ = d;
    last_ = nullptr;
    return qirOK;
}

int qirDirectory::Close()
{
    if (!handle_) return qirFailed;
    int rc = closedir(handle_);
    handle_ = nullptr;
    last_ = nullptr;
    return rc == 0 ? qirOK : qirFailed;
}

int qirDirectory::Rewind()
{
    if (handle_) rewinddir(handle_);
    last_ = nullptr;
    return qirOK;
}

qirPath qirDirectory::NextEntry()
{
    if (!handle_) return qirPath("");
    last_ = readdir(handle_);
    if (!last_) return qirPath("");
    // Built without a fixed buffer, so long names cannot overrun.
    std::string entry = Text();
    entry += '/';
    entry += last_->d_name;
    return qirPath(entry.c_str());
}

int qirDirectory::Create() const
{
    const char* t = Text();
    return t && mkdir(t, 0700) == 0 ? qirOK : qirCannotCreate;
}

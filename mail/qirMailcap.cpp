#include "qirMailcap.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "qirError.h"
#include "qirMsgComponent.h"
#include "qirPath.h"
#include "qirProcessId.h"
#include "qirStatus.h"

namespace {

enum { LineLimit = 2047 }; // characters of a physical line, its line feed included

std::string Str(const qirString& s) { return s.Text() ? s.Text() : ""; }

// The text after a field's first "=", leading blanks skipped; " " for a
// field without "="; "" when the entry has no field of that name.  A field
// is found by its beginning, so a view command starting "test" counts too.
std::string Field(const qirConfiguration* entry, const char* name)
{
    size_t n = strlen(name);
    for (const qirString* v = entry->ValueList()->First(); v; v = qirStringList::Next(v)) {
        const char* text = v->Text();
        if (!text || strlen(text) < n) continue;
        if (strncasecmp(text, name, n) != 0) continue;
        const char* eq = strchr(text, '=');
        if (!eq) return " ";
        ++eq;
        while (*eq == ' ' || *eq == '\t') ++eq;
        return eq;
    }
    return "";
}

// The expansion; the file is mapped unless it is a command built here.
std::string ExpandWith(const char* pattern, const char* file, const qirContentType& type, int fileIsCommand)
{
    std::string out;
    if (!pattern) return out;
    auto safe = [](const qirString& s) { return Str(qirMailcap::ShellSafe(s.Text())); };
    for (const char* p = pattern; *p; ++p) {
        if (*p == '\\') {
            // A backslash keeps the next character as it is ("\%" a "%");
            // substituted values are never unescaped.
            if (p[1]) out += *++p;
        } else if (*p == '%') {
            ++p;
            if (*p == 's') {
                if (fileIsCommand || qirMailcap::PlainPath(file)) out += file ? file : "";
                else out += Str(qirMailcap::ShellSafe(file));
            } else if (*p == 't') {
                out += safe(type.type) + "/" + safe(type.subtype);
            } else if (*p == '{') {
                const char* close = strchr(p, '}');
                if (!close) return "";
                std::string name(p + 1, close - p - 1);
                if (strcasecmp(name.c_str(), "boundary") == 0) out += safe(type.boundary);
                else if (strcasecmp(name.c_str(), "name") == 0) out += safe(type.partName);
                else if (strcasecmp(name.c_str(), "charset") == 0) out += safe(type.charset);
                else return "";
                p = close;
            } else {
                return "";
            }
        } else {
            out += *p;
        }
    }
    return out;
}

// A test command runs inside the window's event handler: one that hangs
// or waits for input must not hang the window with it.
const int testLimitMs = 2000;

// The exit status of the test command run through the shell, with its
// input from /dev/null, in a process group of its own that is killed when
// it outlives the limit; -1 when it could not run or was killed.  Only
// this pid is waited for: the window's recorded children are not touched.
int RunTest(const char* command)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        qirPrepareChild();
        int in = open("/dev/null", O_RDONLY);
        if (in >= 0) dup2(in, 0);
        execl("/bin/sh", "sh", "-c", command, (char*)nullptr);
        _exit(127);
    }
    setpgid(pid, pid);
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    long pauseNs = 200000; // short first: most tests end within a few ms
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0 && errno != EINTR) return -1;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long ms = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (ms >= testLimitMs) break;
        struct timespec pause = {0, pauseNs};
        nanosleep(&pause, nullptr);
        if (pauseNs < 10000000) pauseNs *= 2;
    }
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {}
    if (qirLog) qirLog->Report(qirLogWarning, "qirMailcap: the test <%s> did not end within %d ms: skipped.", command, testLimitMs);
    return -1;
}

} // namespace

qirMailcap::qirMailcap() {}

qirMailcap::qirMailcap(const char* path) { LoadFile(path); }

qirMailcap::~qirMailcap() {}

qirString qirMailcap::ShellSafe(const char* text)
{
    std::string out = text ? text : "";
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        int ok = (u < 0x80 && isalnum(u)) || strchr("._+-/", u) != nullptr;
        if (!ok || u == 0) c = '_';
    }
    if (!out.empty() && out[0] == '-') out[0] = '_';
    return qirString(out.c_str());
}

int qirMailcap::PlainPath(const char* path)
{
    if (!path || !*path || *path == '-') return 0;
    for (const char* name = path;;) {
        const char* slash = strchr(name, '/');
        std::string one(name, slash ? (size_t)(slash - name) : strlen(name));
        if (Str(qirMsgComponent::SafeName(one.c_str(), (int)one.size())) != one) return 0;
        if (!slash) return 1;
        name = slash + 1;
    }
}

qirString qirMailcap::Expand(const char* pattern, const char* file, const qirContentType& type)
{
    return qirString(ExpandWith(pattern, file, type, 0).c_str());
}

int qirMailcap::LoadConfigured()
{
    qirList::Remove(nullptr);
    int loaded = 0;
    for (int i = 0;; ++i) {
        qirString name = qirConfig.Get("Mailcap.MailcapFiles", i);
        if (name.IsEmpty()) break;
        qirPath path;
        path.SetText(name.Text()); // unexpanded, so that an unknown user shows
        if (path.ExpandTilde() != qirOK) continue;
        if (LoadFile(path.Text()) == qirOK) ++loaded;
    }
    if (!loaded) {
        if (qirLog) qirLog->Report(qirLogError, "qirMailcap:No one qirMailcap file loaded.");
        return qirNotFound;
    }
    return qirOK;
}

int qirMailcap::LoadFile(const char* path)
{
    FILE* f = path ? fopen(path, "r") : nullptr;
    if (!f) return qirCannotOpen;
    char buf[LineLimit + 1];
    std::string line;
    int status = qirOK;
    while (fgets(buf, sizeof buf, f)) {
        size_t n = strlen(buf);
        if (n == 0 || buf[n - 1] != '\n') {
            status = qirBadValue;
            break;
        }
        buf[--n] = 0;
        if (n > 0 && buf[n - 1] == '\\') {
            buf[n - 1] = 0;
            line += buf;
            continue;
        }
        line += buf;
        AddLine(line.c_str());
        line.clear();
    }
    fclose(f);
    return status;
}

void qirMailcap::AddLine(const char* line)
{
    const char* p = line;
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p || *p == '#') return;
    std::vector<std::string> fields;
    while (*p) {
        while (*p == ' ' || *p == '\t') ++p;
        std::string field;
        int ended = 0;
        for (; *p; ++p) {
            if (*p == '\\' && p[1]) {
                field += *p++;
                field += *p;
            } else if (*p == ';') {
                ended = 1;
                ++p;
                break;
            } else {
                field += *p;
            }
        }
        if (ended) {
            size_t n = field.size();
            while (n > 0 && (field[n - 1] == ' ' || field[n - 1] == '\t')) --n;
            field.resize(n);
        }
        fields.push_back(field);
    }
    if (fields.size() < 2) return;
    qirConfiguration* group = Child(fields[0].c_str());
    if (!group) {
        group = new qirConfiguration(fields[0].c_str());
        qirList::Append(group);
    }
    qirConfiguration* entry = new qirConfiguration(std::to_string(group->Count()).c_str());
    for (size_t i = 1; i < fields.size(); ++i) entry->ValueList()->Set(qirString(fields[i].c_str()), int(i - 1));
    group->Append(entry);
}

qirConfiguration* qirMailcap::FindType(const char* type, const char* subtype) const
{
    std::string exact = std::string(type ? type : "") + "/" + (subtype ? subtype : "");
    std::string any = std::string(type ? type : "") + "/*";
    qirConfiguration* wild = nullptr;
    for (qirConfiguration* g = FirstChild(); g; g = NextChild(g)) {
        if (g->Name().EqualsIgnoreCase(exact.c_str())) return g;
        if (!wild && g->Name().EqualsIgnoreCase(any.c_str())) wild = g;
    }
    return wild;
}

qirString qirMailcap::Command(const qirContentType& type, const char* file)
{
    qirString none("");
    // A path the quoting would change names another file: no command.
    if (!PlainPath(file)) {
        if (qirLog) qirLog->Report(qirLogWarning, "qirMailcap: file name <%s> is not safe for the shell.", file ? file : "");
        return none;
    }
    qirConfiguration* group = FindType(type.type.Text(), type.subtype.Text());
    if (!group) return none;
    const qirConfiguration* chosen = nullptr;
    for (qirConfiguration* entry = group->FirstChild(); entry; entry = NextChild(entry)) {
        std::string test = Field(entry, "test");
        if (test.empty()) {
            chosen = entry;
            break;
        }
        std::string command = ExpandWith(test.c_str(), file, type, 0);
        if (command.empty()) continue;
        if (RunTest(command.c_str()) == 0) {
            chosen = entry;
            break;
        }
    }
    if (!chosen) return none;
    std::string view = ExpandWith(Str(chosen->Value(0)).c_str(), file, type, 0);
    if (view.empty()) return none;
    if (Field(chosen, "needsterminal").empty()) return qirString(view.c_str());
    std::string terminal = Str(qirConfig.Get("Mailcap.Terminal"));
    // The built-in terminal takes the command too, or it would run nothing.
    if (terminal.empty()) terminal = "xterm -e %s";
    else terminal += " " + Str(qirConfig.Get("Mailcap.TerminalFlags"));
    return qirString(ExpandWith(terminal.c_str(), view.c_str(), type, 1).c_str());
}

qirString qirMailcap::ViewCommand(const qirMsgComponent& part)
{
    return Command(part.ContentType(), part.Path().Text());
}

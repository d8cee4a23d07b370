#include "qirTestProgram.h"

#include <dirent.h>

#include <algorithm>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

// A GUI test that ctest gave an X server of its own (its resource groups,
// see tests/CMakeLists.txt) draws there, and so does all it runs.
static const bool displayTaken = [] {
    const char* given = getenv("CTEST_RESOURCE_GROUP_0_DISPLAYS"); // "id:N,slots:1"
    if (!given || strncmp(given, "id:", 3) != 0) return false;
    setenv("DISPLAY", (":" + std::string(given + 3, strcspn(given + 3, ","))).c_str(), 1);
    return true;
}();

static qirSanitizerReportHandler reportHandler = nullptr;

void qirOnSanitizerReport(qirSanitizerReportHandler handler) { reportHandler = handler; }

// Where the programs this process runs write their sanitizer reports (one
// file a process, the name followed by "." and its pid): beside the
// inherited log_path, so that a run's sweep finds them too, else in /tmp.
static const std::string& ReportPrefix()
{
    static const std::string prefix = [] {
        std::string options = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
        std::string base = "/tmp/qirsan";
        size_t at = options.rfind("log_path=");
        if (at != std::string::npos) {
            size_t from = at + 9, to = options.find(':', from);
            base = options.substr(from, to == std::string::npos ? std::string::npos : to - from);
        }
        return base + "-" + std::to_string(getpid()) + "-child";
    }();
    return prefix;
}

static bool InheritedLogPath()
{
    const char* options = getenv("ASAN_OPTIONS");
    return options && strstr(options, "log_path=");
}

// Hands every report written since the last call to the handler (or to
// standard error); reports of this process's own go to /tmp only when no
// run asked for them elsewhere, and are removed once handed on.
static void CollectSanitizerReports()
{
    static std::vector<std::string> seen;
    std::string dir = ReportPrefix().substr(0, ReportPrefix().rfind('/'));
    std::string stem = ReportPrefix().substr(dir.size() + 1) + ".";
    for (const std::string& name : qirListDirectory(dir)) {
        if (name.compare(0, stem.size(), stem) != 0) continue;
        std::string path = dir + "/" + name;
        if (std::find(seen.begin(), seen.end(), path) != seen.end()) continue;
        std::string report = "sanitizer report of a program run by this test (" + path + "):\n" + qirReadFile(path);
        if (InheritedLogPath())
            seen.push_back(path);
        else
            unlink(path.c_str());
        if (reportHandler)
            reportHandler(report);
        else
            fprintf(stderr, "%s\n", report.c_str());
    }
}

// In the child: the sanitizer options, then env over the inherited
// environment ("-NAME" with an empty value removes NAME), then the program;
// never returns.  The child ends with the test process, which a report of
// its own may end at any moment.
[[noreturn]] static void Exec(const std::string& program, const std::vector<std::string>& args,
                              const std::vector<std::pair<std::string, std::string>>& env)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The shims preloaded into the real binary come before the sanitizer
    // runtime; leak checks and the rest are the run's (LSAN_OPTIONS).
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        std::string options = getenv(name) ? getenv(name) : "";
        if (!options.empty()) options += ":";
        if (std::string(name) == "ASAN_OPTIONS") options += "verify_asan_link_order=0:";
        setenv(name, (options + "log_path=" + ReportPrefix()).c_str(), 1);
    }
    for (const auto& kv : env) {
        if (kv.second.empty() && kv.first[0] == '-')
            unsetenv(kv.first.c_str() + 1);
        else
            setenv(kv.first.c_str(), kv.second.c_str(), 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

qirTestRun qirRunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::pair<std::string, std::string>>& env)
{
    qirTestRun run;
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return run;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        Exec(program, args, env);
    }
    close(out[1]);
    close(err[1]);
    struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    char buf[4096];
    while (open > 0 && poll(fds, 2, -1) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? run.out : run.err).append(buf, static_cast<size_t>(n));
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    CollectSanitizerReports();
    return run;
}

bool qirBackgroundProgram::Start(const std::string& program, const std::vector<std::string>& args,
                                 const std::vector<std::pair<std::string, std::string>>& env)
{
    Stop();
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) dup2(devnull, 1);
        Exec(program, args, env);
    }
    pid_ = pid;
    return pid > 0;
}

int qirBackgroundProgram::Ended(int* status)
{
    int s;
    if (pid_ <= 0 || waitpid(pid_, &s, WNOHANG) != pid_) return 0;
    pid_ = -1;
    if (status) *status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
    CollectSanitizerReports();
    return 1;
}

int qirBackgroundProgram::Wait(int ms)
{
    int status;
    for (int waited = 0; waited <= ms; waited += 10) {
        if (Ended(&status)) return status;
        usleep(10000);
    }
    return -1;
}

void qirBackgroundProgram::Stop(int signal)
{
    if (pid_ <= 0) return;
    kill(pid_, signal);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    CollectSanitizerReports();
}

void qirBackgroundProgram::Signal(int signal) const
{
    if (pid_ > 0) kill(pid_, signal);
}

std::string qirShell(const std::string& command)
{
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

std::string qirFindWindow(const std::string& name, int seconds)
{
    std::string out = qirShell("timeout " + std::to_string(seconds) + " xdotool search --sync --name '^" + name +
                               "$' 2>/dev/null | head -1");
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

void qirPullDown(const std::string& w, int x, int y)
{
    // Without a window manager a window mapped later may cover it.
    qirShell("xdotool windowraise " + w + " sleep 0.1 mousemove --window " + w + " " + std::to_string(x + 8) +
             " 12 mousedown 1 sleep 0.3 mousemove --window " + w + " " + std::to_string(x + 18) + " " +
             std::to_string(y) + " sleep 0.3 mouseup 1");
}

void qirMainMenu(const std::string& w, int y) { qirPullDown(w, 22, y); }

std::string qirMakeTempDir(const char* prefix)
{
    std::string templ = std::string("/tmp/") + prefix + ".XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data())) return std::string();
    return std::string(buf.data());
}

void qirRemoveTree(const std::string& dir)
{
    if (dir.size() < 6 || dir.compare(0, 5, "/tmp/") != 0) return;
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) {
    }
}

std::string qirReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<std::string> qirReadMboxMessages(const char* path)
{
    std::string data = qirReadFile(path);
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t body = data.find('\n', pos);
        if (body == std::string::npos) break;
        size_t next = data.find("\n\nFrom ", body);
        size_t end = next == std::string::npos ? data.size() : next + 1;
        out.push_back(data.substr(body + 1, end - body - 1));
        pos = next == std::string::npos ? data.size() : next + 2;
    }
    return out;
}

std::vector<std::string> qirListDirectory(const std::string& path)
{
    std::vector<std::string> out;
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') out.push_back(e->d_name);
        closedir(d);
    }
    return out;
}

int qirLiveInGroup(int group)
{
    int n = 0;
    for (const std::string& pid : qirListDirectory("/proc")) {
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string stat = qirReadFile("/proc/" + pid + "/stat");
        size_t close = stat.rfind(')');
        char state = 0;
        int ppid = 0, pgrp = 0;
        if (close != std::string::npos && sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &ppid, &pgrp) == 3 &&
            pgrp == group && state != 'Z')
            n++;
    }
    return n;
}

// Runs a program as a child process with extra environment and captures
// what it writes, for tests of the real binaries.
#ifndef QIR_TEST_PROGRAM_H
#define QIR_TEST_PROGRAM_H

#include <csignal>
#include <string>
#include <utility>
#include <vector>

struct qirTestRun {
    int status = -1; // exit status, or 128 + signal
    std::string out, err;
};

// Programs run here write their AddressSanitizer, LeakSanitizer and
// UndefinedBehaviorSanitizer reports to files of their own, which are read
// back each time one of them ends and handed to the handler (the test
// programs fail the running test with it); without one they go to
// standard error.
typedef void (*qirSanitizerReportHandler)(const std::string& report);
void qirOnSanitizerReport(qirSanitizerReportHandler handler);

qirTestRun qirRunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::pair<std::string, std::string>>& env);

// A program running beside the test (the real qir under the X server)
// until it ends; one still running when the object goes is killed.
class qirBackgroundProgram {
public:
    ~qirBackgroundProgram() { Stop(); }
    // Starts program with args, its standard output on /dev/null and env set
    // over the test's own environment: false when it could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::pair<std::string, std::string>>& env);
    // 1 once it has ended (its exit status, or 128 + signal, in *status).
    int Ended(int* status = nullptr);
    // The exit status within ms milliseconds, or -1 while it still runs.
    int Wait(int ms);
    // Sends the signal, if it still runs, and waits for its end.
    void Stop(int signal = SIGKILL);
    // Sends the signal, if it still runs, and goes on.
    void Signal(int signal) const;
    int Running() const { return pid_ > 0; }
    // Its process id while it runs, else -1.
    int Pid() const { return pid_; }

private:
    int pid_ = -1;
};

// What a shell command line printed.
std::string qirShell(const std::string& command);
// The id of the first window titled exactly name that xdotool finds within
// seconds, or "".
std::string qirFindWindow(const std::string& name, int seconds);
// Raises the program's window w, pulls down the menu whose title starts x
// pixels into its menu bar and lets go over the item at height y, as a
// user picks it.  Items lie about 18.5 pixels apart, the first at 36.
void qirPullDown(const std::string& w, int x, int y);
// The same for the window's first menu.
void qirMainMenu(const std::string& w, int y);

// A fresh temporary directory; removed by the caller with qirRemoveTree.
std::string qirMakeTempDir(const char* prefix = "qirtest");
void qirRemoveTree(const std::string& dir);
std::string qirReadFile(const std::string& path);
// The names in a directory but those beginning with ".", in its order.
std::vector<std::string> qirListDirectory(const std::string& path);
// The processes of a process group that are alive (zombies whose parent is
// gone do not count).
int qirLiveInGroup(int group);
// The messages of an mbox file, each without its "From " line.
std::vector<std::string> qirReadMboxMessages(const char* path);

#endif

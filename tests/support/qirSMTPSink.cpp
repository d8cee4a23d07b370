#include "qirSMTPSink.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "qirTestProgram.h"

#ifndef QIR_SOURCE_DIR
#define QIR_SOURCE_DIR "."
#endif

static const char python[] = "/usr/bin/python3";

int qirSMTPSink::Available()
{
    static int known = -1;
    if (known < 0) {
        std::string command = std::string(python) + " -c 'import aiosmtpd' 2>/dev/null";
        known = access(python, X_OK) == 0 && system(command.c_str()) == 0;
    }
    return known;
}

qirSMTPSink::qirSMTPSink(const std::vector<std::string>& options)
{
    if (!Available()) return;
    dir_ = qirMakeTempDir("qirsink");
    std::string script = std::string(QIR_SOURCE_DIR) + "/tests/support/smtp_sink.py";
    std::vector<std::string> words = {python, script, dir_};
    words.insert(words.end(), options.begin(), options.end());
    pid_ = fork();
    if (pid_ == 0) {
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(&w[0]);
        argv.push_back(nullptr);
        execv(python, argv.data());
        _exit(127);
    }
    std::string portFile = dir_ + "/port";
    for (int i = 0; i < 400 && pid_ > 0; ++i) {
        std::string text = qirReadFile(portFile);
        if (!text.empty()) {
            port_ = atoi(text.c_str());
            break;
        }
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        usleep(25000);
    }
}

qirSMTPSink::~qirSMTPSink()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status;
        waitpid(pid_, &status, 0);
    }
    if (!dir_.empty()) qirRemoveTree(dir_);
}

std::vector<qirSinkMessage> qirSMTPSink::Messages() const
{
    std::vector<qirSinkMessage> out;
    for (int n = 1;; ++n) {
        std::string base = dir_ + "/" + std::to_string(n);
        struct stat st;
        if (stat((base + ".eml").c_str(), &st) != 0) break;
        qirSinkMessage m;
        m.raw = qirReadFile(base + ".eml");
        for (size_t i = 0; i < m.raw.size(); ++i)
            if (!(m.raw[i] == '\r' && i + 1 < m.raw.size() && m.raw[i + 1] == '\n')) m.text += m.raw[i];
        std::string env = qirReadFile(base + ".env");
        size_t start = 0;
        for (size_t nl; (nl = env.find('\n', start)) != std::string::npos; start = nl + 1) {
            std::string line = env.substr(start, nl - start);
            if (start == 0) m.from = line;
            else m.recipients.push_back(line);
        }
        out.push_back(m);
    }
    return out;
}

std::vector<qirSinkMessage> qirSMTPSink::WaitFor(size_t n, double seconds) const
{
    std::vector<qirSinkMessage> got = Messages();
    for (int i = 0; got.size() < n && i < seconds * 50; ++i) {
        usleep(20000);
        got = Messages();
    }
    return got;
}

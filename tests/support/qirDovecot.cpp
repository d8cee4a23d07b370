#include "qirDovecot.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "qirTestProgram.h"

namespace {

const char* const dovecotBinary = "/usr/sbin/dovecot";

std::string FreePort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return std::to_string(ntohs(a.sin_port));
}

bool WriteFile(const std::string& path, const std::string& text, mode_t mode)
{
    FILE* f = fopen(path.c_str(), "w");
    if (!f)
        return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = fclose(f) == 0 && ok;
    return ok && chmod(path.c_str(), mode) == 0;
}

// The server hands out mbox text as it stands (no unescaping), so the
// messages are stored unchanged: a test must not put a "From " line after
// an empty line.
std::string MboxEntry(const std::string& message)
{
    std::string out = "From qir-test@localhost Thu Jan  1 00:00:00 2020\n" + message;
    if (!message.empty() && message.back() != '\n')
        out += '\n';
    return out + "\n";
}

} // namespace

qirDovecot::qirDovecot(const std::vector<std::string>& messages)
{
    dir_ = qirMakeTempDir("qir-dovecot");
    if (dir_.empty()) {
        error_ = "no temporary directory";
        return;
    }
    // The login process cannot run as root: as root the server uses its own
    // unprivileged users and the mail belongs to "dovecot"; otherwise all of
    // it runs as the caller.
    if (geteuid() == 0) {
        const passwd* pw = getpwnam("dovecot");
        if (!pw || !getpwnam("dovenull")) {
            error_ = "the dovecot and dovenull users are missing";
            return;
        }
        mailUid_ = pw->pw_uid;
        mailGid_ = pw->pw_gid;
        internalUser_ = "dovecot";
        loginUser_ = "dovenull";
    } else {
        const passwd* pw = getpwuid(geteuid());
        mailUid_ = geteuid();
        mailGid_ = getegid();
        internalUser_ = loginUser_ = pw ? pw->pw_name : "";
    }
    for (int attempt = 0; attempt < 3 && !Start(messages); ++attempt) {
    }
}

qirDovecot::~qirDovecot()
{
    Stop();
    if (!dir_.empty())
        qirRemoveTree(dir_);
}

bool qirDovecot::WriteConfig()
{
    const std::string& d = dir_;
    std::string conf =
        "base_dir = " + d + "/run\n"
        "state_dir = " + d + "/state\n"
        "log_path = " + d + "/dovecot.log\n"
        "info_log_path = " + d + "/dovecot.log\n"
        "protocols = pop3\n"
        "listen = 127.0.0.1\n"
        "ssl = no\n"
        "disable_plaintext_auth = no\n"
        "auth_mechanisms = plain\n"
        "auth_failure_delay = 0\n"
        "default_login_user = " + loginUser_ + "\n"
        "default_internal_user = " + internalUser_ + "\n"
        "first_valid_uid = 1\n"
        "first_valid_gid = 1\n"
        "mail_location = mbox:" + d + "/mail:INBOX=" + d + "/mail/inbox\n"
        "mbox_write_locks = fcntl\n"
        "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " + d + "/passwd\n}\n"
        "userdb {\n  driver = passwd-file\n  args = username_format=%u " + d + "/passwd\n}\n"
        "service pop3-login {\n  inet_listener pop3 {\n    address = 127.0.0.1\n    port = " + port_ + "\n  }\n}\n";
    std::string passwd = std::string(User()) + ":{PLAIN}" + Password() + ":" + std::to_string(mailUid_) + ":" +
                         std::to_string(mailGid_) + "::" + d + "/mail::\n";
    return WriteFile(d + "/dovecot.conf", conf, 0644) && WriteFile(d + "/passwd", passwd, 0644);
}

bool qirDovecot::Start(const std::vector<std::string>& messages)
{
    error_.clear();
    port_ = FreePort();
    const std::string mail = dir_ + "/mail";
    chmod(dir_.c_str(), 0755);
    mkdir((dir_ + "/run").c_str(), 0755);
    mkdir((dir_ + "/state").c_str(), 0755);
    mkdir(mail.c_str(), 0700);
    std::string mbox;
    for (const std::string& m : messages)
        mbox += MboxEntry(m);
    if (!WriteConfig() || !WriteFile(mail + "/inbox", mbox, 0600) ||
        chown(mail.c_str(), mailUid_, mailGid_) != 0 || chown((mail + "/inbox").c_str(), mailUid_, mailGid_) != 0) {
        error_ = "cannot write the server's files in " + dir_;
        return true; // trying again would not help
    }
    std::string conf = dir_ + "/dovecot.conf", out = dir_ + "/master.out";
    pid_t pid = fork();
    if (pid == 0) {
        // A process group of its own, so Stop reaches every child.
        setpgid(0, 0);
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        execl(dovecotBinary, dovecotBinary, "-F", "-c", conf.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0) {
        error_ = "cannot fork";
        return true;
    }
    setpgid(pid, pid);
    master_ = pid;
    if (WaitReady())
        return true;
    Stop();
    error_ += "\n" + qirReadFile(out) + qirReadFile(dir_ + "/dovecot.log");
    return false;
}

bool qirDovecot::WaitReady()
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status;
        if (waitpid(master_, &status, WNOHANG) == master_) {
            master_ = -1;
            error_ = "dovecot ended at start-up";
            return false;
        }
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a;
        memset(&a, 0, sizeof a);
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(atoi(port_.c_str())));
        bool ready = false;
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            pollfd p = {fd, POLLIN, 0};
            char greeting[16] = "";
            ready = poll(&p, 1, 2000) > 0 && recv(fd, greeting, sizeof greeting - 1, 0) >= 3 &&
                    strncmp(greeting, "+OK", 3) == 0;
            if (ready)
                send(fd, "QUIT\r\n", 6, MSG_NOSIGNAL);
        }
        close(fd);
        if (ready)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error_ = "dovecot did not answer on port " + port_;
    return false;
}

void qirDovecot::Stop()
{
    if (master_ <= 0)
        return;
    kill(-master_, SIGTERM);
    int status;
    bool ended = false;
    for (int i = 0; i < 250 && !ended; ++i) {
        pid_t r = waitpid(master_, &status, WNOHANG);
        ended = r == master_ || (r < 0 && errno == ECHILD);
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!ended) {
        kill(-master_, SIGKILL);
        waitpid(master_, &status, 0);
    }
    // Anything of the group that outlived the master.
    kill(-master_, SIGKILL);
    master_ = -1;
}

std::string qirDovecot::Config(const std::string& password) const
{
    return std::string("UsePOP Yes\nPop3 {\n    Server ") + Host() + "\n    Service " + Port() + "\n    User " + User()
           + "\n    Passwd " + password + "\n}\n";
}

std::string qirDovecot::Mailbox() const
{
    return qirReadFile(dir_ + "/mail/inbox");
}

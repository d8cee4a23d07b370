// A private Dovecot POP3 server for one test: its own configuration, port,
// runtime and mail directories in a temporary directory, one passwd-file
// user whose mbox holds the given messages. The system's service is never
// touched. The destructor stops the server and everything it started.
#ifndef QIR_DOVECOT_H
#define QIR_DOVECOT_H

#include <string>
#include <sys/types.h>
#include <vector>

class qirDovecot {
public:
    // messages: RFC 822 texts with LF line ends, without "From " lines.
    explicit qirDovecot(const std::vector<std::string>& messages = {});
    ~qirDovecot();

    // Empty when the server runs; else what went wrong, with its log.
    const std::string& Error() const { return error_; }
    const char* Host() const { return "127.0.0.1"; }
    const char* Port() const { return port_.c_str(); }
    const char* User() const { return "qir"; }
    const char* Password() const { return "pop-secret"; }
    const std::string& Directory() const { return dir_; }
    std::string Mailbox() const; // the mbox file's text
    // The lines of a user configuration that fetch from this server, with
    // the right password or the one given.
    std::string Config() const { return Config(Password()); }
    std::string Config(const std::string& password) const;

    // Stops the server (SIGTERM to the master, then SIGKILL to whatever of
    // its process group is left); safe to call twice.
    void Stop();

private:
    qirDovecot(const qirDovecot&) = delete;
    qirDovecot& operator=(const qirDovecot&) = delete;
    bool Start(const std::vector<std::string>& messages);
    bool WriteConfig();
    bool WaitReady();

    std::string dir_, port_, error_;
    pid_t master_ = -1;
    uid_t mailUid_ = 0;
    gid_t mailGid_ = 0;
    std::string internalUser_, loginUser_;
};

#endif

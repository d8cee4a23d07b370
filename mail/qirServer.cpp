#include "qirServer.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirLock.h"
#include "qirMsg.h"
#include "qirSMTPAgent.h"
#include "qirSendmailAgent.h"
#include "qirStatus.h"
#include "qirUtilities.h"

qirServer* qirServerInstance = nullptr;

#define QIR_REPORT(level, ...) \
    do { \
        if (qirLog) qirLog->Report(level, __VA_ARGS__); \
    } while (0)

static const char* Str(const qirString& s) { return s.Text() ? s.Text() : ""; }

qirServer::qirServer(int pipe, int interval)
    : qirObject(55), pipe_(pipe), parent_((int)getppid()), queueLock_(nullptr),
      queue_(new qirDirectory(qirConfig.Get("QueueDir"))), interval_(interval > 0 ? interval : 5000)
{
    if (queue_->IsDirectory() != 0) queue_->Create();
    queueLock_ = new qirLock(qirPath(queue_->Concat("/LOCK")));
}

qirServer::~qirServer()
{
    delete queueLock_; // unlocks
    if (queue_) queue_->Close();
    delete queue_;
    delete agent_;
}

void qirServer::SetAgent(qirMailAgent* agent)
{
    if (agent == agent_) return;
    delete agent_;
    agent_ = agent;
}

int qirServer::ParentGone() const { return (int)getppid() != parent_; }

int qirServer::StopRequested()
{
    char byte;
    ssize_t n;
    do
        n = read(pipe_, &byte, 1);
    while (n < 0 && errno == EINTR);
    if (n == 1) return 1;
    if (n != 0) return 0;
    // The end of the pipe: the window process closed it, or it is ending
    // and has not yet left us to a new parent.  Only the first is a stop.
    for (int i = 0; i < 100; ++i) {
        if (ParentGone()) return 0;
        usleep(2000);
    }
    return 1;
}

// Sleeps, but wakes at once for the stop byte or the end of the pipe.
int qirServer::Wait(int milliseconds)
{
    struct pollfd p = {pipe_, POLLIN, 0};
    int r;
    do
        r = poll(&p, pipe_ >= 0 ? 1 : 0, milliseconds);
    while (r < 0 && errno == EINTR);
    return r;
}

int qirServer::Lost()
{
    delete queueLock_;
    queueLock_ = nullptr;
    if (queue_) queue_->Close();
    delete queue_;
    queue_ = nullptr;
    delete agent_;
    agent_ = nullptr;
    QIR_REPORT(qirLogError, "qirServer: parent process is lost. Exit.");
    return 1;
}

static qirMailAgent* MakeAgent()
{
    qirString kind = qirConfig.Get("DeliverAgent");
    if (kind.EqualsIgnoreCase("Sendmail")) return new qirSendmailAgent;
    if (kind.EqualsIgnoreCase("SMTP")) return new qirSMTPAgent(qirConfig.Get("SMTP.Host"), qirConfig.Get("SMTP.Port"));
    QIR_REPORT(qirLogError, "No deliver agent in config file");
    return nullptr;
}

int qirServer::Run()
{
    // A reader that went away must not end the process.
    signal(SIGPIPE, SIG_IGN);
    for (;;) {
        if (StopRequested()) {
            QIR_REPORT(qirLogDebug, "Server done.");
            return 0;
        }
        if (ParentGone()) return Lost();
        if (queueLock_->Lock() == qirOK) break;
        QIR_REPORT(qirLogWarning, "Queue dir locked by another server. Waiting...");
        Wait(interval_);
    }
    QIR_REPORT(qirLogDebug, "Queue dir locked OK.");
    int open = queue_->Open() == qirOK;
    if (!open) QIR_REPORT(qirLogDebug, "Can't open dir. Server iswaiting for exit message.");
    for (;;) {
        if (open) {
            for (qirPath entry = queue_->NextEntry(); !entry.IsEmpty(); entry = queue_->NextEntry()) {
                qirString base = entry.Basename();
                if (entry.Extension() == "LCK" || base == "LOCK" || base.CharAt(0) == '.') continue;
                if (delivered_.count(Str(entry))) continue;
                if (!agent_) agent_ = MakeAgent();
                if (agent_) DeliverOne(entry);
            }
        }
        delete agent_; // an SMTP agent says QUIT
        agent_ = nullptr;
        // Out of the way of sending: what was marked delivered goes now.
        RemoveDelivered();
        if (StopRequested()) break;
        if (ParentGone()) return Lost();
        Wait(interval_);
        if (open) queue_->Rewind();
    }
    if (open) queue_->Close();
    queueLock_->Unlock();
    QIR_REPORT(qirLogDebug, "Server done.");
    return 0;
}

// A free name for entry inside directory: its base name, else with ".N".
static std::string FreeName(const std::string& directory, const std::string& base)
{
    struct stat st;
    std::string target = directory + "/" + base;
    for (int n = 1; lstat(target.c_str(), &st) == 0; ++n) target = directory + "/" + base + "." + std::to_string(n);
    return target;
}

static const char deliveredPrefix[] = ".delivered-";

std::string qirServer::MarkDelivered(const qirPath& entry)
{
    std::string target = FreeName(Str(*queue_), std::string(deliveredPrefix) + Str(entry.Basename()));
    return rename(Str(entry), target.c_str()) == 0 ? target : std::string();
}

void qirServer::RemoveDelivered()
{
    qirDirectory dir(*queue_);
    if (dir.Open() != qirOK) return;
    std::vector<std::string> marked, locks;
    for (qirPath e = dir.NextEntry(); !e.IsEmpty(); e = dir.NextEntry()) {
        if (strncmp(Str(e.Basename()), deliveredPrefix, sizeof deliveredPrefix - 1) == 0) marked.push_back(Str(e));
        else if (e.Extension() == "LCK") locks.push_back(Str(e));
    }
    dir.Close();
    // The lock of an entry marked by a process that was killed then: gone
    // with its entry once nobody holds it (a lock still held belongs to an
    // entry being written).
    struct stat st;
    for (const std::string& l : locks) {
        if (lstat(l.substr(0, l.size() - 4).c_str(), &st) == 0) continue;
        qirLock lock{qirPath(l.c_str())};
        if (lock.Lock() == qirOK) lock.Unlock();
    }
    for (const std::string& m : marked) {
        if (qirRemoveDirectory(m.c_str(), 0) == 0) {
            unremovable_.erase(m);
        } else if (unremovable_.insert(m).second) {
            QIR_REPORT(qirLogError, "qirServer: delivered message %s cannot be removed; it is not sent again",
                       m.c_str());
        }
    }
}

void qirServer::SetAside(const std::string& path, const qirPath& entry, const char* why)
{
    std::string aside = std::string(Str(*queue_)) + "/.refused";
    if (mkdir(aside.c_str(), 0700) != 0 && errno != EEXIST) aside.clear();
    std::string target = aside.empty() ? "" : FreeName(aside, Str(entry.Basename()));
    if (!aside.empty() && rename(path.c_str(), target.c_str()) == 0) {
        QIR_REPORT(qirLogError, "qirServer: message %s %s; moved to %s", Str(entry), why, target.c_str());
        return;
    }
    if (path == Str(entry)) delivered_.insert(Str(entry));
    QIR_REPORT(qirLogError, "qirServer: message %s %s; it stays, and is not sent again", Str(entry), why);
}

int qirServer::DeliverOne(const qirPath& entry)
{
    // The lines of one delivery reach the log in one write.
    if (qirLog) qirLog->Hold();
    QIR_REPORT(qirLogInfo, "Processing %s: ", Str(entry));
    qirLock lock(qirPath(entry.Concat(".LCK")));
    if (lock.Lock() != qirOK) {
        QIR_REPORT(qirLogWarning, "Message is locked. Skipping.");
        if (qirLog) qirLog->Release();
        return qirAlreadyOpen;
    }
    int r;
    {
        // Not made when missing: only a directory is an entry to load.
        int isEntry = entry.IsDirectory() == 0;
        qirMsg message(isEntry ? entry : qirPath(""), nullptr);
        if (!isEntry || message.Load() != qirOK) {
            // Reported once; it is tried again at each scan, quietly.
            if (unloadable_.insert(Str(entry)).second)
                QIR_REPORT(qirLogError, "Deliver Error:cannot load %s; it stays in the queue", Str(entry));
            r = qirUnreadable;
        } else {
            unloadable_.erase(Str(entry));
            // Marked the instant the server has taken it: a process killed
            // after that does not send it again.  A kill between the
            // server's reply and this rename is the one window left.
            std::string marked;
            int accepted = 0;
            if (agent_)
                agent_->SetAccepted([&] {
                    accepted = 1;
                    marked = MarkDelivered(entry);
                });
            r = agent_ ? agent_->Send(&message) : qirNotOpen;
            if (agent_) agent_->SetAccepted(nullptr);
            if (accepted && marked.empty() && qirRemoveDirectory(Str(entry), 0) != 0) {
                delivered_.insert(Str(entry));
                QIR_REPORT(qirLogError, "qirServer: delivered message %s cannot be removed; it is not sent again",
                           Str(entry));
            }
            if (r == qirOK) {
                QIR_REPORT(qirLogInfo, "Message Deliver OK.");
            } else {
                QIR_REPORT(qirLogError, "Deliver Error:%s", agent_ ? Str(agent_->ErrorText()) : "");
                std::string now = accepted ? marked : std::string(Str(entry));
                if (now.empty()) {
                    // Taken but not marked: removed, or remembered, above.
                } else if (r == qirRecipientRefused) {
                    SetAside(now, entry, "was delivered to some recipients only");
                } else if (agent_ && agent_->IsPermanentFailure()) {
                    SetAside(now, entry, "was refused for good");
                }
            }
        }
    }
    if (lock.Unlock() != qirOK) QIR_REPORT(qirLogError, "qirServer Warning: Can't unlock message in queue");
    if (qirLog) qirLog->Release();
    return r;
}

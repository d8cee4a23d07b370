#include "qirQueueAgent.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirLock.h"
#include "qirMsg.h"
#include "qirStatus.h"
#include "qirUtilities.h"

qirQueueAgent::qirQueueAgent() : queue_(new qirDirectory(qirConfig.Get("QueueDir"))) {}

qirQueueAgent::~qirQueueAgent() { delete queue_; }

// rename that never replaces an existing entry (a plain rename would put a
// directory over an empty one).
static int RenameNew(const char* from, const char* to)
{
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    struct stat st;
    if (lstat(to, &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(from, to);
}

int qirQueueAgent::Send(qirMsg* message)
{
    if (!message) return qirNotOpen;
    std::string dir = queue_->Text() ? queue_->Text() : "";
    if (dir.empty()) return qirNoTempFile;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = dir + "/.Msg_XXXXXX";
        if (!mkdtemp(&temp[0])) return qirNoTempFile;
        std::string entry = dir + "/Msg_" + temp.substr(temp.size() - 6);
        qirLock lock(qirPath((entry + ".LCK").c_str()));
        struct stat st;
        int taken = lock.Lock();
        if (taken != qirOK || lstat(entry.c_str(), &st) == 0) {
            rmdir(temp.c_str());
            if (taken == qirOK || taken == qirLockHeld) continue;
            return qirNoTempFile;
        }
        int r;
        {
            qirMsg copy(qirPath(temp.c_str()), nullptr);
            r = copy.CopyFrom(message);
            if (r == qirOK) r = copy.Save();
        }
        int taken2 = 0; // the final name appeared meanwhile
        if (r == qirOK && RenameNew(temp.c_str(), entry.c_str()) != 0) {
            taken2 = errno == EEXIST || errno == ENOTEMPTY;
            r = qirFailed;
        }
        if (r != qirOK) {
            qirRemoveDirectory(temp.c_str(), 0);
            lock.Unlock();
            if (taken2) continue;
            return qirFailed;
        }
        if (lock.Unlock() != qirOK && qirLog)
            qirLog->Report(qirLogError, "QIR Warning: Can't unlock message in queue");
        last_ = qirPath(entry.c_str());
        return qirOK;
    }
    return qirNoTempFile;
}

#include "qirSendmailAgent.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirMsg.h"
#include "qirStatus.h"
#include "qirTempFile.h"

qirSendmailAgent::~qirSendmailAgent() {}

std::string qirSendmailAgent::Command()
{
    qirString path = qirConfig.Get("Sendmail.Path");
    std::string command = path.Text() ? path.Text() : "";
    int ignoresDots = 0;
    if (qirStringList* flags = qirConfig.Values("Sendmail.Flags")) {
        for (qirString* f = flags->First(); f; f = qirStringList::Next(f)) {
            if (!f->Text()) break;
            if (!strcmp(f->Text(), "-t")) continue;
            if (!strcmp(f->Text(), "-i") || !strcmp(f->Text(), "-oi")) ignoresDots = 1;
            command += ' ';
            command += f->Text();
        }
    }
    if (!ignoresDots) command += " -oi";
    return command;
}

int qirSendmailAgent::Send(qirMsg* message)
{
    if (!message) return qirNotOpen;
    std::vector<std::string> recipients, unsafe;
    Recipients(message, &recipients, &unsafe);
    for (const std::string& r : unsafe)
        if (qirLog) qirLog->Report(qirLogError, "Sendmail: recipient <%s> cannot be given to sendmail", r.c_str());
    if (recipients.empty()) return qirBadValue;

    FILE* temp = qirTempFile();
    if (!temp) return qirNoTempFile;
    int r = message->ExportMIME(temp, 0);
    if (r == qirOK && fflush(temp) != 0) r = qirWriteError;
    if (r != qirOK) {
        fclose(temp);
        return r;
    }
    int fd = fileno(temp);
    lseek(fd, 0, SEEK_SET);

    // "$@" hands the recipients over without the shell reading them.
    std::string command = Command() + " \"$@\"";
    std::vector<const char*> argv = {"/bin/sh", "-c", command.c_str(), "sh"};
    for (const std::string& a : recipients) argv.push_back(a.c_str());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        PrepareChild(0, fd, -1);
        signal(SIGPIPE, SIG_DFL);
        execv("/bin/sh", const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    fclose(temp);
    if (pid < 0) return qirCannotStart;
    int status = 0;
    pid_t w;
    do
        w = waitpid(pid, &status, 0);
    while (w < 0 && errno == EINTR);
    if (w < 0) return qirSendmailFailed;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return qirCannotStart;
    if (status != 0) return qirSendmailFailed;
    Accepted();
    return qirOK;
}

// Program entry: configuration, first run, log, the optional delivery
// process, options, then the window session.
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirLanguageGroup.h"
#include "qirLock.h"
#include "qirStatus.h"
#ifdef QIR_GUI
#include "qirMainWindow.h"
#endif
#include "qirProcessId.h"
#include "qirStartup.h"

static qirObjectCounterGuard qirCounterGuard;

int main(int argc, char** argv)
{
    qir_read_configuration();
    qir_first_run_setup();

    qirString folderDir = qirConfig.Get("FolderDir");
    qirString logPath = folderDir.Concat("/QIR.log");
    qirString serverLogPath = folderDir.Concat("/QIR-server.log");
    int limit = 0;
    if (qirConfig.GetInt("Debug.LogFileLimit", &limit) != 0) limit = -1;

    // One window process per folder directory: two would write Incoming
    // and the log at once.  Taken before the log is opened, so that a
    // second process never trims the first one's log.
    qirLock windowLock(folderDir.Concat("/QIR.LOCK"));
    if (windowLock.Lock() == qirLockHeld) {
        qirOptions options;
        if (options.Parse(argc, argv) != 0) return 0; // version or usage only
        fprintf(stderr, "QIR: another QIR is already running on the folder directory %s\n", folderDir.Data());
        return 1;
    }

    qirLog = new qirError();
    qirLog->Open(logPath.Data(), qirLogDebug, limit);

    int pipeFds[2] = {-1, -1};
    pid_t child = -1;
    if (qirConfig.Get("UseBackgroundDeliverAgent").EqualsIgnoreCase("Yes")) {
        if (pipe(pipeFds) == 0) {
            for (int fd : pipeFds) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            fflush(nullptr); // nothing buffered may be written twice
            child = fork();
        }
    } else {
        qirLog->Write(qirLogDebug, "No one backgound deliver agent started");
    }

    int status = 0;
    if (child == 0) {
        // Only the window process writes the stop byte; with its end of the
        // pipe closed here, the window process's end shows as end of file.
        close(pipeFds[1]);
        qirLog->Abandon();
        delete qirLog;
        qirLog = new qirError();
        qirLog->Open(serverLogPath.Data(), qirLogDebug, limit);
        status = qirRunDeliveryProcess(pipeFds[0]);
        delete qirLog;
        qirLog = nullptr;
        return status;
    }

    signal(SIGFPE, SIG_IGN);
#ifdef QIR_GUI
    status = qir_window_session(argc, argv);
#else
    // Built without the X11 layers: only the version and usage requests.
    qirOptions options;
    status = options.Parse(argc, argv) != 0 ? 0 : 1;
    if (status) fprintf(stderr, "QIR: built without display support\n");
#endif

    qirConfig.Remove(nullptr);
    qirChildList.Remove(nullptr);
#ifdef QIR_GUI
    qirApp->Filters()->Remove(nullptr);
#endif
    qirLanguage.Clear();
    if (child > 0) {
        // A delivery process that has already ended must not end this one.
        signal(SIGPIPE, SIG_IGN);
        char stop = 1;
        if (write(pipeFds[1], &stop, 1) != 1) qirLog->Write(qirLogWarning, "Could not tell the delivery process to stop");
    }
    // The application object closes and deletes the log.
#ifdef QIR_GUI
    delete qirApp;
    qirApp = nullptr;
#endif
    delete qirLog;
    qirLog = nullptr;
    return status;
}

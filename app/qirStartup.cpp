#include "qirStartup.h"

#include "qirServer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "qirConfiguration.h"
#include "qirLanguageGroup.h"
#include "qirPath.h"
#include "qirProcessId.h"
#include "qirUtilities.h"

#ifndef QIR_DATA_PREFIX
#define QIR_DATA_PREFIX "/usr/local/lib"
#endif

qirString qirGlobalConfigPath() { return qirString(QIR_DATA_PREFIX "/QIR.cfg"); }

void qir_read_configuration()
{
    char* home = qirHomeDirectory();
    qirString base(home && *home ? home : "/tmp");
    delete[] home;
    base.Append("/.QIR");

    qirConfig.Set("FolderDir", base);
    qirConfig.Set("QueueDir", base.Concat("/.sendqueue"));
    qirConfig.Set("UserConfig", base.Concat("/user.cfg"));
    qirConfig.Set("AddrBook", base.Concat("/book"));
    qirConfig.Set("Layout", base.Concat("/layout"));

    int globalFailed = qirConfig.Load(qirGlobalConfigPath().Text()) != 0;
    qirString user = qirConfig.Get("UserConfig");
    int userFailed = user.IsEmpty() || qirConfig.Load(user.Text()) != 0;
    if (globalFailed && userFailed) {
        fprintf(stderr, "QIR Warning: Can't read user config from file: %s\n", user.Text() ? user.Text() : "");
        exit(1);
    }

    if (qirConfig.Get("Editor.Editor").IsEmpty()) {
        const char* editor = nullptr;
        for (const char* var : {"WINEDITOR", "EDITOR", "VISUAL"})
            if ((editor = getenv(var)) != nullptr) break;
        qirConfig.Set("Editor.Editor", editor ? editor : "xterm -e vi");
    }

    qirLanguage.Select(nullptr);
}

// The system mailbox: MAIL, else the login name in the first spool
// directory that exists.
static qirString SystemMailbox()
{
    const char* mail = getenv("MAIL");
    if (mail) return qirString(mail);
    struct passwd* pw = getpwuid(geteuid());
    if (!pw || !pw->pw_name) return qirString();
    for (const char* dir : {"/usr/spool/mail", "/usr/mail", "/var/spool/mail", "/var/mail"}) {
        struct stat st;
        if (stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return qirString(dir).Concat("/").Concat(pw->pw_name);
    }
    return qirString();
}

void qir_first_run_setup()
{
    qirString folderDir = qirConfig.Get("FolderDir");
    if (folderDir.IsEmpty()) return;
    struct stat st;
    if (stat(folderDir.Text(), &st) == 0) return;
    mkdir(folderDir.Text(), 0700);

    qirString mailbox = SystemMailbox();
    if (!mailbox.IsEmpty()) {
        qirConfig.Set("MailBox.FileName", mailbox);
        qirConfig.Set("MailBox.LeaveInMailBox", "Yes");
    }

    FILE* f = fopen(folderDir.Concat("/user.cfg").Text(), "a+");
    if (!f) return;
    fputs("MailBox {\n", f);
    if (qirConfiguration* node = qirConfig.Find("MailBox"))
        node->Write(f);
    else
        fputc('\n', f);
    fputs("}", f);
    fclose(f);
}

namespace {

struct OptionRow {
    const char* name;
    int passed;
    int words;
};

const OptionRow optionTable[] = {
    {"-version", 0, 0}, {"--version", 0, 0}, {"-v", 0, 0},
    {"-help", 0, 0}, {"--help", 0, 0}, {"-h", 0, 0}, {"-?", 0, 0},
    {"-bg", 1, 1}, {"background", 1, 1}, {"-dbuf", 1, 0}, {"-display", 1, 1},
    {"-dpi", 1, 1}, {"-fg", 1, 1}, {"-foreground", 1, 1}, {"-flat", 1, 1},
    {"-fn", 1, 1}, {"-font", 1, 1}, {"-geometry", 1, 1}, {"-iconic", 1, 0},
    {"-monochrome", 1, 0}, {"-motif", 1, 0}, {"-name", 1, 1}, {"-nodbuf", 1, 0},
    {"-noshape", 1, 1}, {"-openlook", 1, 0}, {"-reverse", 1, 0}, {"-rv", 1, 0},
    {"-shape", 1, 0}, {"-smotif", 1, 0}, {"-synchronous", 1, 0},
    {"+synchronous", 1, 0}, {"-title", 1, 1}, {"-visual", 1, 1},
    {"-visual_id", 1, 1}, {"-xrm", 1, 1}, {nullptr, 0, 0},
};

const char* const usageLines[] = {
    "Arguments:\n",
    "\t-[version | -version] - display QIR version\n",
    "\t-[help | -help | h] - display usage\n",
    "\t-[fn | font] <font> - font for QIR' menus, buttons, etc - not for viewer/editor\n",
    "\t-[smotif | motif | monochrome | openlook] - \"Look And Feel\" of QIR (-smotif by default)\n",
    "\t-[dbuf | nodbuf] - using double buffer windows (-dbuf by default)\n",
    "\t-display <display> - target workstation display\n",
    "\t-dpi <ratio> - coordinates-to-pixel ratio\n",
    "\t-[foreground | fg] <color> - foreground color\n",
    "\t-geometry - first window's position and size\n",
    "\t-iconic - starts up first window in iconic form\n",
    "\t-name <name> - instance name of the session\n",
    "\t-title <title> - session's default title bar name\n",
};

} // namespace

int qirOptions::Parse(int argc, char** argv)
{
    noDoubleBuffer = fontGiven = 0;
    int wantVersion = 0, wantUsage = 0;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        const OptionRow* row = optionTable;
        while (row->name && strcasecmp(row->name, word) != 0) ++row;
        if (!row->name) {
            fprintf(stderr, "Unknown option: '%s'\n", word);
            continue;
        }
        int index = static_cast<int>(row - optionTable);
        if (row->passed) {
            if (strcasecmp(word, "-nodbuf") == 0)
                noDoubleBuffer = 1;
            else if (strstr(word, "-fn") || strstr(word, "-font"))
                fontGiven = 1;
        } else if (index <= 2) {
            wantVersion = 1;
        } else {
            wantUsage = 1;
        }
        i += row->words; // an option's argument is never itself an option
    }
    if (wantVersion) fprintf(stderr, "%s\n", qirVersionString().Text());
    if (wantUsage) {
        fprintf(stderr, "Usage: %s [arguments]\n", argc > 0 ? argv[0] : "qir");
        for (const char* line : usageLines) fputs(line, stderr);
    }
    return wantVersion || wantUsage ? -6 : 0;
}

char** qirOptions::SessionArguments(int argc, char** argv, int* count) const
{
    int n = argc + (noDoubleBuffer ? 0 : 1) + (fontGiven ? 0 : 2);
    char** words = new char*[n + 1];
    int k = 0;
    for (int i = 0; i < argc; ++i) words[k++] = qirStrdup(argv[i]);
    if (!noDoubleBuffer) words[k++] = qirStrdup("-dbuf");
    if (!fontGiven) {
        // An empty SystemFont gives two empty words, never "-fn" without a
        // font, so the toolkit keeps its own.
        qirString font = qirConfig.Get("SystemFont");
        int empty = font.IsEmpty();
        words[k++] = qirStrdup(empty ? "" : "-fn");
        words[k++] = qirStrdup(empty ? "" : font.Text());
    }
    words[k] = nullptr;
    *count = n;
    return words;
}

void qirFreeArguments(char** words, int count)
{
    if (!words) return;
    for (int i = 0; i < count; ++i) delete[] words[i];
    delete[] words;
}

int qirRunDeliveryProcess(int fd)
{
    qirServerInstance = new qirServer(fd);
    int status = qirServerInstance->Run();
    delete qirServerInstance;
    qirServerInstance = nullptr;
    return status;
}

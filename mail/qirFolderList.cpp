#include "qirFolderList.h"

#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>

#include "qirError.h"
#include "qirStatus.h"

qirFolderList::qirFolderList(qirDirectory directory) : directory_(directory) {}

qirFolderList::~qirFolderList()
{
    while (qirObject* o = qirList::First()) {
        Unlink(o);
        delete o;
    }
}

qirFolder* qirFolderList::MakeFolder(const qirDirectory& path) { return new qirFolder(path); }

int qirFolderList::Scan()
{
    std::string dir = directory_.Text() ? directory_.Text() : "";
    DIR* d = opendir(dir.c_str());
    if (!d) {
        if (qirLog) qirLog->Report(qirLogCritical, "Can't open directory with folders.");
        return qirFailed;
    }
    while (struct dirent* e = readdir(d)) {
        const char* dot = strrchr(e->d_name, '.');
        if (!e->d_name[0] || !dot || strcmp(dot + 1, "QIR") != 0) continue;
        std::string path = dir + "/" + e->d_name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        Append(MakeFolder(qirDirectory(path.c_str())));
    }
    closedir(d);
    return qirOK;
}

qirFolder* qirFolderList::Incoming() const
{
    for (qirFolder* f = First(); f; f = Next(f))
        if (f->IsIncoming()) return f;
    return nullptr;
}

qirFolder* qirFolderList::Outgoing() const
{
    for (qirFolder* f = First(); f; f = Next(f))
        if (f->IsOutgoing()) return f;
    return nullptr;
}

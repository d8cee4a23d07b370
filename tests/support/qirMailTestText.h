// Small helpers the mail tests share: a directory's entries, a message's
// exported text and a message made from RFC 822 text.
#ifndef QIR_MAIL_TEST_TEXT_H
#define QIR_MAIL_TEST_TEXT_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <vector>

#include "qirMsg.h"

// The names in a directory, "." and ".." left out, sorted.
inline std::vector<std::string> Entries(const std::string& dir)
{
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") out.push_back(e->d_name);
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The text an agent is handed: the export without Bcc.
inline std::string Export(qirMsg& m)
{
    char* text = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&text, &size);
    m.ExportMIME(f, 0);
    fclose(f);
    std::string out(text, size);
    free(text);
    return out;
}

// Imports the RFC 822 text into a new message directory at path and saves
// it: 0, or the status of the import or of the save.
inline int ImportMessage(const std::string& path, const std::string& text)
{
    qirMsg m{qirPath(path.c_str())};
    FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    int r = in ? m.ImportRFC822(in) : -1;
    if (in) fclose(in);
    return r != 0 ? r : m.Save();
}

#endif

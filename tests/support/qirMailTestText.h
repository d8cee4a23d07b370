// Small helpers the mail tests share: a directory's entries and a
// message's exported text.
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

#endif

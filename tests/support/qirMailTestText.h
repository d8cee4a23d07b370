// Small helpers the mail tests share: a directory's entries, a message's
// exported text, a message made from RFC 822 text, and received mail with
// fields that do and do not read.
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

// A small message named by its subject, its body "body of SUBJECT",
// imported and saved at path as ImportMessage does.
inline int ImportSubject(const std::string& path, const std::string& subject)
{
    return ImportMessage(path, "From: a@example.org\nSubject: " + subject + "\n\nbody of " + subject + "\n");
}

// Valid mail as common mail libraries write it: MIME-Version, Content-ID,
// Content-Description, Content-Language and Content-Disposition in its
// parts.  Subject "valid N", an attachment "dataN.bin" of bytes 0, 1, 2.
inline std::string qirEveryPartMimeMessage(int n)
{
    std::string k = std::to_string(n), b = "==b" + k + "==";
    return "From: Sender <s@example.org>\nTo: r@example.org\nSubject: valid " + k + "\nMessage-Id: <valid" + k
           + "@example.org>\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"" + b + "\"\n\n--" + b
           + "\nMIME-Version: 1.0\nContent-Type: text/plain; charset=\"utf-8\"\nContent-Transfer-Encoding: 7bit\n"
             "Content-ID: <text" + k + "@example.org>\nContent-Description: the text\nContent-Language: en\n\nbody "
           + k + "\n--" + b + "\nMIME-Version: 1.0\nContent-Type: application/octet-stream\nContent-Disposition: "
           "attachment; filename=\"data" + k + ".bin\"\nContent-Transfer-Encoding: base64\n\nAAEC\n--" + b + "--\n";
}

// Mail with fields that cannot be read: a blank inside a field name, two
// addresses without a comma, a message field in a part header.  Subjects
// "malformed 1" to "malformed 3"; each still has its text.
inline std::vector<std::string> qirMalformedMessages()
{
    return {"From: a@example.org\nSubject: malformed 1\nMessage-Id: <bad1@example.org>\nBad Name: v\n\ntext 1\n",
            "From: a@example.org\nTo: one@example.org two@example.org\nSubject: malformed 2\n"
            "Message-Id: <bad2@example.org>\n\ntext 2\n",
            "From: a@example.org\nSubject: malformed 3\nMessage-Id: <bad3@example.org>\nMIME-Version: 1.0\n"
            "Content-Type: multipart/mixed; boundary=B\n\n--B\nSubject: in a part\nContent-Type: text/plain\n\n"
            "text 3\n--B--\n"};
}

#endif

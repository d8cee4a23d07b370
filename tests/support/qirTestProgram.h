// Runs a program as a child process with extra environment and captures
// what it writes, for tests of the real binaries.
#ifndef QIR_TEST_PROGRAM_H
#define QIR_TEST_PROGRAM_H

#include <string>
#include <utility>
#include <vector>

struct qirTestRun {
    int status = -1; // exit status, or 128 + signal
    std::string out, err;
};

qirTestRun qirRunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::pair<std::string, std::string>>& env);

// A fresh temporary directory; removed by the caller with qirRemoveTree.
std::string qirMakeTempDir(const char* prefix = "qirtest");
void qirRemoveTree(const std::string& dir);
std::string qirReadFile(const std::string& path);
// The messages of an mbox file, each without its "From " line.
std::vector<std::string> qirReadMboxMessages(const char* path);

#endif

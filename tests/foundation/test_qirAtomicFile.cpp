// Writing files through qirAtomicFile, in both modes.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "qirAtomicFile.h"
#include "qirScratchDir.h"
#include "qirStatus.h"

namespace {

TEST(qirAtomicFile, ReplacesOnlyOnCommitAndKeepsTheMode)
{
    qirScratchDir scratch;
    std::string path = scratch.File("f");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "old"), 0);
    chmod(path.c_str(), 0640);
    for (int direct : {0, 1}) {
        qirAtomicFile file(path.c_str(), direct);
        ASSERT_EQ(file.Open(), qirOK);
        fputs(direct ? "new2" : "new1", file.Stream());
        // An existing file is never written in place.
        EXPECT_EQ(qirScratchDir::ReadFile(path), direct ? "new1" : "old");
        EXPECT_EQ(file.Commit(), qirOK);
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
    }
    EXPECT_EQ(qirScratchDir::ReadFile(path), "new2");
    EXPECT_EQ(scratch.Entries(), (std::vector<std::string>{"f"}));
}

TEST(qirAtomicFile, DirectWritesANewFileInPlaceAndRemovesItOnAbort)
{
    qirScratchDir scratch;
    std::string path = scratch.File("n");
    {
        qirAtomicFile file(path.c_str(), 1);
        ASSERT_EQ(file.Open(), qirOK);
        EXPECT_EQ(std::string(file.TempPath()), path);
        fputs("text", file.Stream());
        EXPECT_EQ(file.Commit(), qirOK);
    }
    EXPECT_EQ(qirScratchDir::ReadFile(path), "text");
    unlink(path.c_str());
    {
        qirAtomicFile file(path.c_str(), 1);
        ASSERT_EQ(file.Open(), qirOK);
        fputs("half", file.Stream());
        file.Abort();
    }
    // A half-written file does not stay behind.
    EXPECT_EQ(access(path.c_str(), F_OK), -1);
    {
        qirAtomicFile file(path.c_str(), 1);
        ASSERT_EQ(file.Open(), qirOK);
    } // the destructor aborts
    EXPECT_EQ(access(path.c_str(), F_OK), -1);
    EXPECT_EQ(qirAtomicFile(scratch.File("no/such").c_str(), 1).Open(), qirCannotOpen);
}

} // namespace

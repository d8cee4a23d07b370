#include <gtest/gtest.h>

#include <string>

#include "qirConfiguration.h"
#include "qirLayout.h"
#include "qirScratchDir.h"
#include "qirStatus.h"

namespace {

TEST(qirLayout, MissingFileMeansNoSettings)
{
    qirScratchDir dir;
    qirLayout layout(qirPath(dir.File("layout").c_str()));
    int missing = 0;
    EXPECT_EQ(layout.MenuFlag("Main.Show.Debug", &missing), 1);
    EXPECT_EQ(missing, 1);
    EXPECT_EQ(layout.MenuInt("Incoming.Sort.Method", &missing), 0);
    EXPECT_EQ(missing, 1);
    EXPECT_EQ(layout.MenuFlag("Main.Show.Debug", nullptr), 1);
}

TEST(qirLayout, ReadsFlagsAndIntegers)
{
    qirScratchDir dir;
    std::string path = dir.File("layout");
    ASSERT_EQ(qirScratchDir::WriteFile(path,
                                       "Menu {\n Main { Show { Error YES\n Debug No\n Info \"\"\n Warning maybe } }\n"
                                       " Incoming { Sort { Method 3\n ReverseOrder Yes } }\n"
                                       " Drafts { Sort { Method 3a } }\n}\n"),
              0);
    qirLayout layout(qirPath(path.c_str()));
    struct Flag {
        const char* name;
        int value, missing;
    };
    const Flag flags[] = {
        {"Main.Show.Error", 1, 0},   {"Main.Show.Debug", 0, 0},     {"Main.Show.Info", 1, 1},
        {"Main.Show.Warning", 0, 0}, {"Incoming.Sort.ReverseOrder", 1, 0}, {"Main.Show.ShowAll", 1, 1},
    };
    for (const Flag& f : flags) {
        int missing = -1;
        EXPECT_EQ(layout.MenuFlag(f.name, &missing), f.value) << f.name;
        EXPECT_EQ(missing, f.missing) << f.name;
    }
    int missing = -1;
    EXPECT_EQ(layout.MenuInt("Incoming.Sort.Method", &missing), 3);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(layout.MenuInt("Drafts.Sort.Method", &missing), 0);
    EXPECT_EQ(missing, 1);
}

// Settings written by one session are read by the next; the file holds them
// in nested blocks below a top-level Menu.
TEST(qirLayout, SavesWhenDeletedAndLoadsBack)
{
    qirScratchDir dir;
    std::string path = dir.File("layout");
    {
        qirLayout layout(qirPath(path.c_str()));
        layout.SetMenuInt("Incoming.Sort.Method", 5);
        layout.SetMenuFlag("Incoming.Sort.ReverseOrder", 0);
        layout.SetMenuFlag("Main.Show.Debug", 7);
    }
    qirConfiguration file;
    ASSERT_EQ(file.Load(path.c_str()), 0);
    ASSERT_NE(file.FirstChild(), nullptr);
    EXPECT_STREQ(file.FirstChild()->Name().Text(), "Menu");
    EXPECT_EQ(qirConfiguration::NextChild(file.FirstChild()), nullptr);
    EXPECT_STREQ(file.Get("Menu.Incoming.Sort.Method").Text(), "5");
    EXPECT_STREQ(file.Get("Menu.Incoming.Sort.ReverseOrder").Text(), "No");
    EXPECT_STREQ(file.Get("Menu.Main.Show.Debug").Text(), "Yes");

    qirLayout again(qirPath(path.c_str()));
    int missing = -1;
    EXPECT_EQ(again.MenuInt("Incoming.Sort.Method", &missing), 5);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(again.MenuFlag("Incoming.Sort.ReverseOrder", &missing), 0);
    EXPECT_EQ(again.MenuFlag("Main.Show.Debug", &missing), 1);
    EXPECT_EQ(missing, 0);

    // Reload drops what was changed since and reads the file again.
    again.SetMenuInt("Incoming.Sort.Method", 2);
    again.Reload();
    EXPECT_EQ(again.MenuInt("Incoming.Sort.Method"), 5);
}

TEST(qirLayout, CopiesAreIndependent)
{
    qirScratchDir dir;
    qirLayout a(qirPath(dir.File("a").c_str()));
    a.SetMenuInt("X.Sort.Method", 1);
    qirLayout b(a);
    b.SetMenuInt("X.Sort.Method", 2);
    EXPECT_EQ(a.MenuInt("X.Sort.Method"), 1);
    EXPECT_EQ(b.MenuInt("X.Sort.Method"), 2);
    qirLayout c(qirPath(dir.File("c").c_str()));
    c = a;
    a.SetMenuInt("X.Sort.Method", 3);
    EXPECT_EQ(c.MenuInt("X.Sort.Method"), 1);
    EXPECT_STREQ(c.Path().Text(), dir.File("a").c_str());
}

TEST(qirLayout, SaveIntoAMissingDirectoryFails)
{
    qirScratchDir dir;
    qirLayout nowhere(qirPath(dir.File("no/such/layout").c_str()));
    nowhere.SetMenuFlag("Main.Show.Info", 1);
    EXPECT_EQ(nowhere.Save(), qirCannotOpen);
}

} // namespace

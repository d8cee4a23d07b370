#include <gtest/gtest.h>

#include <string>

#include "qirConfiguration.h"
#include "qirLanguageGroup.h"
#include "qirScratchDir.h"

namespace {

const char kMissing[] = "-?\?\?\?-"; // the text of a missing number

struct TextCase {
    int number;
    const char* text;
};

TEST(qirLanguageGroup, ReadsEveryEntryForm)
{
    qirScratchDir dir;
    std::string path = dir.File("cat");
    ASSERT_EQ(qirScratchDir::WriteFile(path,
                                       "; comment line\n"
                                       "12 Hello world\n"
                                       "13 \"Hello world\" trailing ignored\n"
                                       "14\n"
                                       "15 \t\n"
                                       "not a number 99 x\n"
                                       "\n\n   16 \"tab\\there\"\n"
                                       "17 \"joined \\\n"
                                       "line\"\n"
                                       "18 \"\\b\\f\\n\\r\\v\\\"\\\\\\q\"\n"
                                       "19 \"no closing quote\n"
                                       "20 word\twith-tab\n"
                                       "5 sorted\n"
                                       "-3 negative\n"
                                       "21 first\n"
                                       "21 second\n"
                                       "99999999999999999999 huge\n"
                                       "22"),
              0);
    qirLanguageGroup group;
    ASSERT_EQ(group.Load(path.c_str()), 0);
    const TextCase cases[] = {
        {12, "Hello"},
        {13, "Hello world"},
        {14, ""},
        {15, ""},
        {16, "tab\there"},
        {17, "joined line"},
        {18, "\b\f\n\r\v\"\\q"},
        {19, "no closing quote"},
        {20, "word\twith-tab"},
        {5, "sorted"},
        {-3, "negative"},
        {21, "second"},
        {2147483647, "huge"},
        {22, kMissing},
        {99, kMissing},
        {0, kMissing},
    };
    for (const TextCase& c : cases) EXPECT_STREQ(group.Text(c.number), c.text) << c.number;
    EXPECT_EQ(group.Count(), 13);
}

TEST(qirLanguageGroup, EmptyMissingAndCleared)
{
    qirLanguageGroup group;
    EXPECT_STREQ(group.Text(110), kMissing);
    qirScratchDir dir;
    EXPECT_EQ(group.Load(dir.File("missing").c_str()), -7);
    EXPECT_STREQ(group.Text(110), kMissing);
    EXPECT_EQ(group.Load(nullptr), -7);

    std::string path = dir.File("cat");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "110 OK\n"), 0);
    ASSERT_EQ(group.Load(path.c_str()), 0);
    EXPECT_STREQ(group.Text(110), "OK");
    group.Clear();
    EXPECT_STREQ(group.Text(110), kMissing);
    EXPECT_EQ(group.Language(), qirString(""));
}

// Select reads the global configuration; each case starts from an empty one.
class qirLanguageSelect : public ::testing::Test {
protected:
    void SetUp() override { qirConfig.Remove(nullptr); }
    void TearDown() override { qirConfig.Remove(nullptr); }
};

TEST_F(qirLanguageSelect, ByNameAndByDefault)
{
    qirScratchDir dir;
    std::string en = dir.File("en"), de = dir.File("de");
    ASSERT_EQ(qirScratchDir::WriteFile(en, "110 OK\n"), 0);
    ASSERT_EQ(qirScratchDir::WriteFile(de, "110 Gut\n"), 0);
    qirConfig.Set("LanguageGroup.Languages.English", en.c_str());
    qirConfig.Set("LanguageGroup.Languages.Deutsch", de.c_str());
    qirConfig.Set("LanguageGroup.Languages.Nowhere", dir.File("gone").c_str());
    qirConfig.Set("LanguageGroup.Languages.NoFile", "");

    qirLanguageGroup group;
    EXPECT_EQ(group.Select(""), -6); // no default named yet
    qirConfig.Set("LanguageGroup.DefaultLanguage", "English");
    EXPECT_EQ(group.Select(""), 0);
    EXPECT_EQ(group.Language(), qirString("English"));
    EXPECT_STREQ(group.Text(110), "OK");
    EXPECT_EQ(group.Select("Deutsch"), 0);
    EXPECT_STREQ(group.Text(110), "Gut");

    EXPECT_EQ(group.Select("Nowhere"), -7);
    EXPECT_STREQ(group.Text(110), kMissing);
    EXPECT_EQ(group.Select("NoFile"), -7);
    EXPECT_EQ(group.Select("Klingon"), -7);
    EXPECT_STREQ(group.Text(110), kMissing);
}

TEST_F(qirLanguageSelect, WithoutLanguagesNode)
{
    qirConfig.Set("LanguageGroup.DefaultLanguage", "English");
    qirLanguageGroup group;
    EXPECT_EQ(group.Select("English"), -6);
    EXPECT_STREQ(group.Text(110), kMissing);
}

TEST_F(qirLanguageSelect, RelativeFileIsBelowTheDataPrefix)
{
    if (std::string(QIR_DATA_PREFIX) != QIR_BUILD_DATA) GTEST_SKIP() << "data prefix is not the build tree's data";
    qirConfig.Set("LanguageGroup.Languages.English", "QIR/Languages/English");
    qirLanguageGroup group;
    EXPECT_EQ(group.Select("English"), 0);
    EXPECT_STRNE(group.Text(110), kMissing);
}

TEST(qirLanguageGroup, ShippedEnglishCatalogueHasTheCommonButtons)
{
    qirLanguageGroup group;
    ASSERT_EQ(group.Load(QIR_BUILD_DATA "/QIR/Languages/English"), 0);
    for (int n : {110, 111, 112, 113, 114, 117}) {
        EXPECT_STRNE(group.Text(n), kMissing) << n;
        EXPECT_STRNE(group.Text(n), "") << n;
    }
}

} // namespace

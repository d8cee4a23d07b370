// The viewer's command table and the stack of open commands.
#include <gtest/gtest.h>

#include "qirRTFCommand.h"

TEST(qirRTFCommand, KeywordsGiveTheirCodes) {
    struct Case {
        const char* keyword;
        int code;
    } cases[] = {
        {"rtf-on", 1},      {"nl", 3},           {"param", 4},       {"/param", 5},
        {"comment", 6},     {"ignore-me", 6},    {"/ignore-me", 7},  {"bold", 16},
        {"/flushboth", 31}, {"x-color", 34},     {"href", 42},       {"/href", 43},
        {"", 44},           {"Bold", 44},        {"blink", 44},      {"bold ", 44},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qirRTFCommand::CodeOf(qirString(c.keyword)), c.code) << '"' << c.keyword << '"';
}

TEST(qirRTFCommand, NamesAndUnpairedCodes) {
    qirString name;
    qirRTFCommand::NameOf(0, name);
    EXPECT_STREQ(name.Data(), "NoCommand");
    qirRTFCommand::NameOf(17, name);
    EXPECT_STREQ(name.Data(), "/Bold");
    qirRTFCommand::NameOf(43, name);
    EXPECT_STREQ(name.Data(), "/HRef");
    for (int code : {44, 45, 1000, -1}) {
        qirRTFCommand::NameOf(code, name);
        EXPECT_STREQ(name.Data(), "UnknownCommand") << code;
    }
    for (int code = 0; code < 50; ++code)
        EXPECT_EQ(qirRTFCommand::IsUnpaired(code), code == 1 || code == 2 || code == 3 || code == 44) << code;
}

TEST(qirRTFCommandStack, AlignmentSizeAndMisnestedPops) {
    qirRTFCommandStack stack;
    EXPECT_EQ(stack.TopCode(), 0);
    EXPECT_EQ(stack.Alignment(), 0);
    stack.Push(24);
    stack.Push(16);
    stack.Push(30);
    EXPECT_EQ(stack.Alignment(), 30);
    EXPECT_EQ(stack.Pop(24), -11);   // never looks below the top
    EXPECT_EQ(stack.Count(), 3);
    EXPECT_EQ(stack.Pop(30), 0);
    EXPECT_EQ(stack.Alignment(), 24);
    EXPECT_EQ(stack.TopCode(), 16);

    stack.Clear();
    EXPECT_EQ(stack.Pop(8), -11);
    for (int code : {8, 8, 10})
        stack.Push(code);
    EXPECT_EQ(stack.SizeLevel(), 1);
    EXPECT_EQ(stack.Pop(10), 0);
    EXPECT_EQ(stack.SizeLevel(), 2);
    stack.Clear();
    EXPECT_EQ(stack.SizeLevel(), 0);
    EXPECT_TRUE(stack.IsEmpty());
}

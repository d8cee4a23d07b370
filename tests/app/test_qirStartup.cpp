// The command line and the argument vector handed to the window session.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "qirConfiguration.h"
#include "qirStartup.h"

namespace {

TEST(qirOptions, SessionArgumentsFollowTheOptions)
{
    const struct {
        std::vector<const char*> words; // after argv[0]
        const char* systemFont;         // null: not configured
        const char* session;            // the session's words, "|" apart
    } cases[] = {
        {{}, "fixed", "qir|-dbuf|-fn|fixed"},
        // In any case "-nodbuf" leaves "-dbuf" out.
        {{"-NODBUF"}, "fixed", "qir|-NODBUF|-fn|fixed"},
        {{"-nodbuf"}, "fixed", "qir|-nodbuf|-fn|fixed"},
        // An empty or missing SystemFont: two empty words, not "-fn" alone.
        {{"-nodbuf"}, "", "qir|-nodbuf||"},
        {{}, nullptr, "qir|-dbuf||"},
        // A font option suppresses SystemFont; its argument is no option.
        {{"-fn", "6x13"}, "fixed", "qir|-fn|6x13|-dbuf"},
        {{"-font", "-nodbuf"}, "fixed", "qir|-font|-nodbuf|-dbuf"},
        // Unknown words still reach the session.
        {{"-bogus", "-display", ":9"}, "fixed", "qir|-bogus|-display|:9|-dbuf|-fn|fixed"},
    };
    for (const auto& c : cases) {
        qirConfig.Remove(nullptr);
        if (c.systemFont) qirConfig.Set("SystemFont", c.systemFont);
        std::vector<char*> argv = {const_cast<char*>("qir")};
        for (const char* w : c.words) argv.push_back(const_cast<char*>(w));
        qirOptions options;
        EXPECT_EQ(options.Parse(static_cast<int>(argv.size()), argv.data()), 0);
        int count = 0;
        char** words = options.SessionArguments(static_cast<int>(argv.size()), argv.data(), &count);
        std::string joined;
        for (int i = 0; i < count; ++i) joined += (i ? "|" : "") + std::string(words[i]);
        EXPECT_EQ(words[count], nullptr);
        EXPECT_EQ(joined, c.session) << c.session;
        qirFreeArguments(words, count);
    }
    qirConfig.Remove(nullptr);
}

} // namespace

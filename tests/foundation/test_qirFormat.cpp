// Formats from the configuration and the catalogue are filled as text, and
// a shell word keeps whatever it quotes.
#include <gtest/gtest.h>

#include "qirFormat.h"

#include <cstdlib>
#include <string>

namespace {

TEST(FormatTest, ConversionsTakeTheirArgumentsAsText) {
    struct Case {
        const char* format;
        std::vector<std::string> args;
        const char* filled;
        int conversions;
    } cases[] = {
        {"From %s at %s", {"ann", "noon"}, "From ann at noon", 2},
        {"%d%% of %ld bytes", {"50", "1024"}, "50% of 1024 bytes", 2},
        {"%-20s|%5d", {"a", "7"}, "a|7", 2},
        {"%s %s", {"only"}, "only ", 2},              // a missing argument gives ""
        {"%n %x %", {"no"}, "%n %x %", 0},            // not taken: stays as written
        {"%s", {"%s%n%x"}, "%s%n%x", 1},              // arguments are never formats
        {nullptr, {}, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format ? c.format : "(null)");
        EXPECT_EQ(qirFillFormat(c.format, c.args), c.filled);
        EXPECT_EQ(qirFormatArgumentCount(c.format), c.conversions);
    }
}

TEST(FormatTest, AShellWordReachesTheCommandUnchanged) {
    for (const char* text : {"/tmp/my file.ps", "it's", "''", "$(touch x); `id` \"q\" \\ *", ""}) {
        SCOPED_TRACE(text);
        std::string command = "printf '%s' " + std::string(qirShellQuote(text).Data());
        FILE* p = popen(command.c_str(), "r");
        ASSERT_NE(p, nullptr);
        char buffer[256] = {};
        size_t n = fread(buffer, 1, sizeof buffer - 1, p);
        pclose(p);
        EXPECT_EQ(std::string(buffer, n), text);
    }
}

}  // namespace

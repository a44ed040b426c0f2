// What reaches the journal of a line that carries bytes read from a file.

#include "base/program_log.h"

#include <gtest/gtest.h>

#include <string>

TEST(ProgramLog, EscapesEveryByteThatIsNotPrintableUtf8)
{
    const struct {
        std::string raw, shown;
    } cases[] = {
        {"profiles/Home.xml: no <name>", "profiles/Home.xml: no <name>"},
        {"B\xc3\xbcro \xe2\x82\xac \xf0\x9f\x93\xb6", "B\xc3\xbcro \xe2\x82\xac \xf0\x9f\x93\xb6"}, // 2, 3, 4 bytes
        {"a\nb\tc\x1b[31m\x7f", "a\\x0ab\\x09c\\x1b[31m\\x7f"},
        {std::string("nul\0end", 7), "nul\\x00end"},
        {"latin-1 \xe9t\xe9", "latin-1 \\xe9t\\xe9"},
        {"cut \xe2\x82", "cut \\xe2\\x82"},            // a sequence the text ends inside
        {"overlong \xc0\xaf \xe0\x80\xaf", "overlong \\xc0\\xaf \\xe0\\x80\\xaf"},
        {"surrogate \xed\xa0\x80", "surrogate \\xed\\xa0\\x80"},
        {"past U+10FFFF \xf4\x90\x80\x80", "past U+10FFFF \\xf4\\x90\\x80\\x80"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(escapedForLog(c.raw), c.shown) << c.shown;
    setProgramName("velmorad");
    EXPECT_EQ(logText("quotas.json: \xff", LogBytes::Escaped), "velmorad: quotas.json: \\xff\n");
    EXPECT_EQ(logText("as \x01 is", LogBytes::AsIs), "velmorad: as \x01 is\n");
}

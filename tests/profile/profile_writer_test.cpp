// Amount formatting and text escaping of the profile file writer.

#include "profile/profile_writer.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(ProfileAmountFormat, SixSignificantDigitsWithThreeDigitExponent)
{
    const struct {
        double amount;
        const char* text;
    } cases[] = {
        {1536, "1536"},
        {52428.8, "52428.8"},
        {1234567, "1.23457e+006"},
        {880, "880"},
        {999999, "999999"},
        {999999.5, "1e+006"},  // rounding to 6 digits moves it into exponent form
        {100000, "100000"},
        {123456.7, "123457"},
        {0.5, "0.5"},
        {0.0001, "0.0001"},
        {0.00001234, "1.234e-005"},
        {1e15, "1e+015"},
        {1e100, "1e+100"},
        {1.5e-300, "1.5e-300"},
        {4294967296.0, "4.29497e+009"},
        {1.0 / 3.0, "0.333333"},
        {2.50, "2.5"},
        {0.0, "0"},
        {-1234567, "-1.23457e+006"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatAmount(c.amount), c.text) << c.amount;
}

TEST(ProfileTextEscaping, MarkupCharactersBecomeReferences)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"Default", "Default"},
        {"R&D", "R&amp;D"},
        {"<a>", "&lt;a&gt;"},
        {"&amp;", "&amp;amp;"},
        {"quote \" and '", "quote \" and '"},
        {"line\r\nend", "line&#13;\nend"},
        {"tab\there", "tab\there"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB6", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB6"},
    };
    for (const auto& c : cases) {
        std::string out;
        appendEscaped(out, c.in);
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(ProfileTextEscaping, TextXmlCannotCarryBecomesReplacementCharacter)
{
    const std::string replacement = "\xEF\xBF\xBD";
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"a\x01" "b", "a" + replacement + "b"},
        {std::string("nul\0", 4), "nul" + replacement},
        {"latin1 caf\xE9", "latin1 caf" + replacement},
        {"cut \xE2\x82", "cut " + replacement + replacement},
        {"overlong \xC0\xAF", "overlong " + replacement + replacement},
        {"surrogate \xED\xA0\x80", "surrogate " + replacement + replacement + replacement},
        {"nonchar \xEF\xBF\xBE", "nonchar " + replacement + replacement + replacement},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(storableText(c.in), c.out) << c.in;
        std::string escaped;
        appendEscaped(escaped, c.in);
        EXPECT_EQ(escaped, c.out) << c.in;
    }
}

#include "app/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/number_syntax.h"
#include "tests/test_support.h"

namespace {

using testutil::Args;

std::int32_t Lookup(std::vector<std::string> words, const char* name)
{
    Args args(std::move(words));
    return CheckParameters(args.argc(), args.argv(), name);
}

}  // namespace

TEST(CheckParameters, MatchesAndValues)
{
    struct Case {
        std::vector<std::string> args;
        const char* name;
        std::int32_t expected;
    } cases[] = {
        {{}, "/LUX", -1},
        {{"/lux400"}, "/LUX", 400},
        {{"/Lux"}, "/LUX", 0},
        {{"/LUX", "400"}, "/LUX", 0},
        {{"/LUX 400"}, "/LUX", 400},
        {{"/LUX   400"}, "/LUX", 400},
        {{"/LUX$190"}, "/LUX", 400},
        {{"/LUX0x190"}, "/LUX", 400},
        {{"/LUXX190"}, "/LUX", 400},
        {{"/LUXx190"}, "/LUX", 400},
        {{"/LUX+400"}, "/LUX", 400},
        {{"/LUX-0"}, "/LUX", 0},
        {{"/LUX-400"}, "/LUX", -400},
        {{"/LUX2147483647"}, "/LUX", 2147483647},
        {{"/MTPID-2147483648"}, "/MTPID", -2147483647 - 1},
        {{"/LUX$FFFFFFFF"}, "/LUX", -1},
        {{"/LUX$80000000"}, "/LUX", -2147483647 - 1},
        {{"/LUX-$10"}, "/LUX", -16},
        {{"/LUX$000000000001"}, "/LUX", 1},
        {{"/LUX300", "/lux400"}, "/LUX", 300},
        {{"/NOCA"}, "/NC", -1},
        {{"/NC-1"}, "/NC", -1},
        {{"/NC0"}, "/NC", 0},
        {{"parameter", "1f", "/CUS2-CALI"}, "/CUS2-CALI", 0},
        {{"LUX400"}, "/LUX", -1},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.args) shown += "[" + a + "]";
        EXPECT_EQ(Lookup(c.args, c.name), c.expected) << shown << " " << c.name;
    }
}

TEST(OptionNumber, Malformed)
{
    const char* bad[] = {"",     "+",    "-",   "$",   "X",          "0X",          "A",           "4OO",
                         "400 ", "+-4",  "--4", "4.0", "2147483648", "-2147483649", "99999999999", "$123456789",
                         "$G",   "0X-1", " ",   "1 2"};
    for (const char* text : bad) {
        std::int32_t value = 7;
        EXPECT_FALSE(ParseOptionNumber(text, value)) << "[" << text << "]";
    }
    std::int32_t value = 0;
    EXPECT_TRUE(ParseOptionNumber("-2147483648", value));
    EXPECT_EQ(value, -2147483647 - 1);
    EXPECT_TRUE(ParseOptionNumber("0", value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(ParseOptionNumber("00012", value));
    EXPECT_EQ(value, 12);
}

TEST(CheckCommandLine, ReportsTheFirstMalformedArgument)
{
    struct Case {
        std::vector<std::string> args;
        bool ok;
        const char* bad;
    } cases[] = {
        {{}, true, ""},
        {{"/ACC1-CALI", "/LUX400", "whatever", "/MISSPELT"}, true, ""},
        {{"/LUXA", "/LUX400"}, false, "/LUXA"},
        {{"/LUX300", "/LUXA"}, false, "/LUXA"},
        {{"/NCX"}, false, "/NCX"},
        {{"/LUX2147483648"}, false, "/LUX2147483648"},
        {{"/LUX400 "}, false, "/LUX400 "},
        {{"/ACC-CALI-DELAY5.5"}, false, "/ACC-CALI-DELAY5.5"},
        {{"/CUS2-CALI", "parameter", "1f", "0", "123"}, true, ""},
        {{"/CUS2-CALI", "PARAMETER", "1g"}, false, "1g"},
        {{"/CUS2-CALI", "parameter", "0x1f"}, false, "0x1f"},
        {{"/CUS2-CALI", "parameter", "/NC"}, false, "/NC"},
        {{"/CUS2-CALI", "parameter", "1", "2", "3", "4", "5", "6", "7", "8", "9", "a", "b", "c", "zz"}, true, ""},
        {{"parameter", "zz"}, true, ""},
        {{"/ACC-CALI-DELAY4294967"}, true, ""},
        {{"/ACC-CALI-DELAY-1"}, true, ""},
        {{"/ACC-CALI-DELAY4294968"}, false, "/ACC-CALI-DELAY4294968"},
        {{"/ACC-CALI-DELAY-2"}, false, "/ACC-CALI-DELAY-2"},
        {{"/acc-cali-delay$FFFFFFF0", "/ACC-CALI-DELAY5"}, false, "/acc-cali-delay$FFFFFFF0"},
        // Arguments that begin with no option name before the refused delay.
        {{"foo", "/ACC-CALI-DELAY-5"}, false, "/ACC-CALI-DELAY-5"},
        {{"/CUS2-CALI", "parameter", "1f", "20", "/ACC-CALI-DELAY5000000"}, false, "/ACC-CALI-DELAY5000000"},
    };
    for (const Case& c : cases) {
        Args args(c.args);
        std::string bad;
        std::string shown;
        for (const std::string& a : c.args) shown += "[" + a + "]";
        EXPECT_EQ(CheckCommandLine(args.argc(), args.argv(), bad), c.ok) << shown;
        EXPECT_EQ(bad, c.bad) << shown;
    }
}

TEST(OptionMalformed, OnlyTheDecidingArgumentCounts)
{
    struct Case {
        std::vector<std::string> args;
        bool malformed;
        const char* bad;
    } cases[] = {
        {{}, false, ""},
        {{"/?"}, false, ""},
        {{"/?5"}, false, ""},
        {{"/?X"}, true, "/?X"},
        {{"foo", "/?x", "/?"}, true, "/?x"},
        {{"/?", "/?X"}, false, ""},
        {{"/LUXA"}, false, ""},
    };
    for (const Case& c : cases) {
        Args args(c.args);
        std::string bad;
        EXPECT_EQ(OptionMalformed(args.argc(), args.argv(), "/?", bad), c.malformed) << c.bad;
        EXPECT_EQ(bad, c.bad);
    }
}

TEST(OptionNames, NoNameBeginsAnother)
{
    for (const char* a : kOptionNames)
        for (const char* b : kOptionNames)
            if (a != b) {
                EXPECT_NE(std::strncmp(a, b, std::strlen(b)), 0) << a << " begins with " << b;
            }
}

TEST(OptionConversions, Table)
{
    EXPECT_EQ(ClampAtZero(-1), 0);
    EXPECT_EQ(ClampAtZero(-5), 0);
    EXPECT_EQ(ClampAtZero(300), 300);
    EXPECT_EQ(ToleranceFromOption(-1, 10), 10);
    EXPECT_EQ(ToleranceFromOption(65535, 10), 10);
    EXPECT_EQ(ToleranceFromOption(0, 10), 0);
    EXPECT_EQ(ToleranceFromOption(30, 10), 30);
    EXPECT_EQ(ToleranceFromOption(65534, 10), -2);
    EXPECT_EQ(ToleranceFromOption(0x10005, 10), 5);
    EXPECT_EQ(PhaseFromOption(256), 0);
    EXPECT_EQ(PhaseFromOption(257), 1);
    EXPECT_EQ(ReferenceFromOption(2147483647), 0xFFFF);
    EXPECT_EQ(ReferenceFromOption(70000), 70000 - 65536);
    EXPECT_FLOAT_EQ(BiasLimitFromOption(40), 0.40f);
    EXPECT_EQ(BiasLimitFromOption(15), static_cast<float>(15 / 100.0));
    EXPECT_EQ(ClampAccuracy(0), 1);
    EXPECT_EQ(ClampAccuracy(-1), 1);
    EXPECT_EQ(ClampAccuracy(2), 2);
    EXPECT_EQ(ClampAccuracy(9), 3);
}

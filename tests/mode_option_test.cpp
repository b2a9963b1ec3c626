#include "app/mode_option.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

using testutil::Args;

}  // namespace

TEST(ModeOption, WhichOptionsCount)
{
    struct Case {
        std::vector<std::string> args;
        bool anyMode;
        bool anyTest;
    } cases[] = {
        {{}, false, false},
        {{"/GYRO-CALI", "/NC", "/CS", "/ANGLE", "/ACC1-2P-CALI", "/ACC2-6P-CALI", "/LUX300"}, false, false},
        {{"/acc1-test"}, true, true},
        {{"/PSENSOR-TEST-5"}, true, true},
        {{"/PSENSOR-TEST-1"}, false, false},  // -1 counts as not given
        {{"/LIGHT-CALI"}, true, false},
        {{"/CUS2-CALI", "parameter", "01"}, true, false},
        {{"/COLOR-CALI"}, true, false},
        {{"/ACC2-CALI", "/COLOR-TEST"}, true, true},
    };
    for (Case& c : cases) {
        Args args(c.args);
        std::string shown;
        for (const std::string& a : c.args) shown += "[" + a + "]";
        EXPECT_EQ(AnyModeOptionGiven(args.argc(), args.argv()), c.anyMode) << shown;
        EXPECT_EQ(AnyTestOptionGiven(args.argc(), args.argv()), c.anyTest) << shown;
    }
    int modes = 0;
    for (const char* name : kModeOptions) modes += IsModeOption(name) ? 1 : 0;
    EXPECT_EQ(modes, 14);
    EXPECT_FALSE(IsModeOption("/GYRO-CALI"));
    EXPECT_FALSE(IsModeOption("/NC"));
}

TEST(ModeOption, SelectionRule)
{
    struct Case {
        std::vector<std::string> args;
        const char* row;
        bool selected;
    } cases[] = {
        {{}, "/ACC1-TEST", true},
        {{"/GYRO-CALI", "/NC"}, "/ACC2-CALI", true},
        {{"/ACC1-TEST"}, "/ACC1-TEST", true},
        {{"/ACC1-TEST"}, "/GYRO-TEST", false},
        {{"/ACC1-TEST"}, "/ACC1-CALI", false},
        {{"/ACC1-TEST", "/ACC1-CALI"}, "/ACC1-CALI", true},
        {{"/LIGHT-CALI"}, "/ACC1-CALI", false},
        {{"/PSENSOR-TEST-1"}, "/ACC1-CALI", true},
    };
    for (Case& c : cases) {
        Args args(c.args);
        std::string shown;
        for (const std::string& a : c.args) shown += "[" + a + "]";
        EXPECT_EQ(SelectedByModeRule(args.argc(), args.argv(), c.row), c.selected) << shown << " " << c.row;
    }
}

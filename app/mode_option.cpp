#include "app/mode_option.h"

#include <cstring>

#include "app/options.h"
#include "common/state.h"

const char* const kTestOptions[kTestOptionCount] = {
    "/ACC1-TEST", "/GYRO-TEST", "/COMP-TEST", "/ACC2-TEST", "/LIGHT-TEST", "/COLOR-TEST", "/PSENSOR-TEST",
};

const char* const kModeOptions[kModeOptionCount] = {
    "/ACC1-TEST", "/GYRO-TEST", "/COMP-TEST", "/ACC2-TEST",  "/LIGHT-TEST",   "/COLOR-TEST", "/PSENSOR-TEST",
    "/ACC1-CALI", "/COMP-CALI", "/ACC2-CALI", "/COLOR-CALI", "/PSENSOR-CALI", "/CUS2-CALI",  "/LIGHT-CALI",
};

bool IsModeOption(const char* name)
{
    for (const char* option : kModeOptions)
        if (std::strcmp(option, name) == 0) return true;
    return false;
}

bool AnyModeOptionGiven(int argc, char** argv)
{
    for (const char* option : kModeOptions)
        if (OptionGiven(CheckParameters(argc, argv, option))) return true;
    return false;
}

bool AnyTestOptionGiven(int argc, char** argv)
{
    for (const char* option : kTestOptions)
        if (OptionGiven(CheckParameters(argc, argv, option))) return true;
    return false;
}

bool SelectedByModeRule(int argc, char** argv, const char* name)
{
    if (OptionGiven(CheckParameters(argc, argv, name))) return true;
    for (const char* option : kModeOptions) {
        if (std::strcmp(option, name) == 0) continue;
        if (OptionGiven(CheckParameters(argc, argv, option))) return false;
    }
    return true;
}

bool SelectedByModeRule(const char* name)
{
    return SelectedByModeRule(gArgc, gArgv, name);
}

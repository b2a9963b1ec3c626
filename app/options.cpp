#include "app/options.h"

#include <cstring>

#include "common/number_syntax.h"
#include "common/state.h"

const char* const kOptionNames[kOptionCount] = {
    // run control
    "/?",
    "/MTPID",
    "/HIDCMDDELAYMS",
    "/NAC",
    "/FNC",
    // hub sequence
    "/PRECHECKACC2",
    "/NRC",
    "/FWVER",
    "/RFD",
    "/CHECKINITIALIZE",
    "/CS",
    "/NC",
    // tests
    "/ACC1-TEST",
    "/GYRO-TEST",
    "/COMP-TEST",
    "/ACC2-TEST",
    "/LIGHT-TEST",
    "/COLOR-TEST",
    "/PSENSOR-TEST",
    // calibrations
    "/ACC1-CALI",
    "/GYRO-CALI",
    "/COMP-CALI",
    "/ACC2-CALI",
    "/LIGHT-CALI",
    "/COLOR-CALI",
    "/PSENSOR-CALI",
    "/CUS2-CALI",
    // calibration values
    "/ACC1-PHASE",
    "/ACC2-PHASE",
    "/GYRO-TIMEOUT",
    "/GYRO-OFFSET",
    "/ACCURACY",
    "/LUX",
    "/RVAL",
    "/GVAL",
    "/BVAL",
    "/DISTANCE",
    "/MODE",
    "/CROSSTALKUPPERBOUND",
    "/CROSSTALKLOWERBOUND",
    "/THDH1UPPERBOUND",
    "/THDH1LOWERBOUND",
    "/THDHYSUPPERBOUND",
    "/THDHYSLOWERBOUND",
    "/THDHYSVALUE",
    "/NEWCROSSTALKUPPERBOUND",
    "/NEWCROSSTALKLOWERBOUND",
    // multi-face calibration and angle checks
    "/ACC1-2P-CALI",
    "/ACC1-6P-CALI",
    "/ACC2-2P-CALI",
    "/ACC2-6P-CALI",
    "/ACC-CALI-DELAY",
    "/ANGLE",
    "/CA",
    "/SCA",
    "/NOCA",
    "/NEWCA",
    "/NEWSCA",
    // save step
    "/ACC1-BIAS",
    "/ACC2-BIAS",
    "/NS",
    "/QS",
};

namespace {

std::string UpperCase(const char* text)
{
    std::string copy(text);
    for (char& c : copy)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return copy;
}

bool BeginsWith(const std::string& text, const char* name, std::size_t nameLength)
{
    return text.size() >= nameLength && text.compare(0, nameLength, name) == 0;
}

// The name of the option that text (upper-cased) begins with, or null.
const char* OptionOf(const std::string& text)
{
    for (const char* name : kOptionNames)
        if (BeginsWith(text, name, std::strlen(name))) return name;
    return nullptr;
}

}  // namespace

std::int32_t CheckParameters(int argc, char** argv, const char* name)
{
    const std::size_t nameLength = std::strlen(name);
    for (int i = 1; i < argc; ++i) {
        const std::string copy = UpperCase(argv[i]);
        if (!BeginsWith(copy, name, nameLength)) continue;
        if (copy.size() == nameLength) return 0;
        std::int32_t value = 0;
        // CheckCommandLine has refused every malformed number at start-up, so
        // a lookup never meets one; should it, the option counts as not given.
        if (!ParseOptionNumber(copy.c_str() + nameLength, value)) return -1;
        return value;
    }
    return -1;
}

std::int32_t OptionValue(const char* name)
{
    return CheckParameters(gArgc, gArgv, name);
}

bool IsGiven(const char* name)
{
    return OptionGiven(OptionValue(name));
}

bool OptionMalformed(int argc, char** argv, const char* name, std::string& bad)
{
    const std::size_t nameLength = std::strlen(name);
    for (int i = 1; i < argc; ++i) {
        const std::string copy = UpperCase(argv[i]);
        if (!BeginsWith(copy, name, nameLength)) continue;
        std::int32_t value = 0;
        if (copy.size() == nameLength || ParseOptionNumber(copy.c_str() + nameLength, value)) return false;
        bad = argv[i];
        return true;
    }
    return false;
}

bool CheckCommandLine(int argc, char** argv, std::string& bad)
{
    for (int i = 1; i < argc; ++i) {
        const std::string copy = UpperCase(argv[i]);
        const char* name = OptionOf(copy);
        if (name == nullptr) continue;
        const std::size_t nameLength = std::strlen(name);
        std::int32_t value = 0;
        if (copy.size() > nameLength && !ParseOptionNumber(copy.c_str() + nameLength, value)) {
            bad = argv[i];
            return false;
        }
    }
    // The face delay is waited as seconds x 1000 ms in 32 bits: a negative
    // delay or one that does not fit is no sensible wait.
    const std::int32_t faceDelay = CheckParameters(argc, argv, "/ACC-CALI-DELAY");
    if (faceDelay < -1 || faceDelay > kMaxAccCaliDelaySeconds) {
        // The argument that decided the lookup: the first one that begins with
        // the name. Arguments that begin with no option name have no name to
        // compare.
        static const char kFaceDelay[] = "/ACC-CALI-DELAY";
        for (int i = 1; i < argc; ++i) {
            const char* name = OptionOf(UpperCase(argv[i]));
            if (name != nullptr && std::strcmp(name, kFaceDelay) == 0) {
                bad = argv[i];
                break;
            }
        }
        return false;
    }
    if (CheckParameters(argc, argv, "/CUS2-CALI") == -1) return true;
    for (int i = 1; i < argc; ++i) {
        if (!IsParameterKeyword(argv[i])) continue;
        for (int j = i + 1; j < argc && j <= i + 12; ++j) {
            std::uint32_t value = 0;
            if (!ParseHexParameter(argv[j], value)) {
                bad = argv[j];
                return false;
            }
        }
        break;
    }
    return true;
}

std::int16_t ToleranceFromOption(std::int32_t result, std::int16_t defaultTolerance)
{
    const std::uint16_t bits = static_cast<std::uint16_t>(result & 0xFFFF);
    if (bits == 0xFFFF) return defaultTolerance;
    return static_cast<std::int16_t>(bits);
}

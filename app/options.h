// The option lookup and the conversions that the steps apply to its result.
#pragma once

#include <cstdint>
#include <string>

// Every option name the tool knows, "/?" first.
constexpr int kOptionCount = 62;
extern const char* const kOptionNames[kOptionCount];

// Looks one option up in the argument vector: -1 not given, 0 given alone
// (or with 0), otherwise the number given with it. The first argument that
// begins with the name (case ignored) decides.
std::int32_t CheckParameters(int argc, char** argv, const char* name);

// The same lookup on the run's own command line (gArgc, gArgv), and whether
// it finds the option given.
std::int32_t OptionValue(const char* name);
bool IsGiven(const char* name);

// True, with the argument in bad, when the argument that decides the lookup
// of name goes on with text that is no number.
bool OptionMalformed(int argc, char** argv, const char* name, std::string& bad);

// Checks every argument that begins with an option name, and the Custom
// Sensor 2 parameter words when "/CUS2-CALI" is given, before the run
// touches the hub. False, with the offending argument in bad, on the first
// malformed one.
bool CheckCommandLine(int argc, char** argv, std::string& bad);

// The longest face delay of the multi-face calibration: its milliseconds fit
// in 32 bits.
constexpr std::int32_t kMaxAccCaliDelaySeconds = 4294967;

// Conversions of a lookup result.
inline bool OptionGiven(std::int32_t result)
{
    return result != -1;
}
inline std::int32_t ClampAtZero(std::int32_t result)
{
    return result <= 0 ? 0 : result;
}
// Low 16 bits as signed degrees; the pattern 0xFFFF (option not given, or
// 65535) gives defaultTolerance.
std::int16_t ToleranceFromOption(std::int32_t result, std::int16_t defaultTolerance);
inline std::uint8_t PhaseFromOption(std::int32_t result)
{
    return static_cast<std::uint8_t>(result & 0xFF);
}
inline std::uint16_t ReferenceFromOption(std::int32_t result)
{
    return static_cast<std::uint16_t>(result & 0xFFFF);
}
// n hundredths of g, divided in double precision and stored as float.
inline float BiasLimitFromOption(std::int32_t result)
{
    return static_cast<float>(result / 100.0);
}
// Accuracy after the optional assignment: 0 or less becomes 1, 3 or more 3.
inline std::int32_t ClampAccuracy(std::int32_t accuracy)
{
    return accuracy <= 0 ? 1 : (accuracy >= 3 ? 3 : accuracy);
}

// The options that select tests and calibrations, and the guards built on them.
#pragma once

#include <cstdint>

// The seven test options, in the order the guards look them up.
constexpr int kTestOptionCount = 7;
extern const char* const kTestOptions[kTestOptionCount];

// The fourteen options that select tests or calibrations: the seven test
// options, then the seven calibration options. "/GYRO-CALI", the multi-face
// options and "/NC" are not among them.
constexpr int kModeOptionCount = 14;
extern const char* const kModeOptions[kModeOptionCount];

// True when the name is one of the fourteen.
bool IsModeOption(const char* name);

// True when any of the fourteen is given; the lookups stop at the first one
// given.
bool AnyModeOptionGiven(int argc, char** argv);

// True when any of the seven test options is given; stops at the first one.
bool AnyTestOptionGiven(int argc, char** argv);

// Selection rule of a step that belongs to the option name (one of the
// fourteen): selected when that option is given, or when none of the other
// thirteen is given.
bool SelectedByModeRule(int argc, char** argv, const char* name);
// The same rule on the run's own command line (gArgc, gArgv).
bool SelectedByModeRule(const char* name);

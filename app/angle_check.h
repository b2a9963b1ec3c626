// The lid-angle check before calibration.
#pragma once

#include <cstdint>

// Where the hub sequence goes after the check.
enum class AngleCheckOutcome {
    Continue,         // the check passed or did not run: face delay and flow choice follow
    TotalResult,      // ResultFlag holds ResultAngleFail: on to the total result
    EndWithoutTotal,  // "/ANGLE" printed the angle: on to the end, no total result line
};

AngleCheckOutcome CheckAngleBeforeCalibration(std::uint8_t hub);

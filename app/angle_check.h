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

// The two range tests, inclusive bounds; a negative tolerance passes no angle.
// Tablet mode: 0 <= angle <= tol, or 360 - tol <= angle <= 360.
bool TabletModeTest(std::int32_t angle, std::int32_t tol);
// Lying mode: 180 - tol <= angle <= 180 + tol.
bool LyingModeTest(std::int32_t angle, std::int32_t tol);

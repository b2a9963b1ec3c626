#include "app/angle_check.h"

AngleCheckOutcome CheckAngleBeforeCalibration(std::uint8_t hub)
{
    // Not built yet: no angle is read and the sequence goes on as after a check that passed.
    (void)hub;
    return AngleCheckOutcome::Continue;
}

bool TabletModeTest(std::int32_t angle, std::int32_t tol)
{
    return (angle >= 0 && angle <= tol) || (angle >= 360 - tol && angle <= 360);
}

bool LyingModeTest(std::int32_t angle, std::int32_t tol)
{
    return angle >= 180 - tol && angle <= 180 + tol;
}

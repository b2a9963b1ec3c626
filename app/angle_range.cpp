#include "app/angle_check.h"

bool TabletModeTest(std::int32_t angle, std::int32_t tol)
{
    return (angle >= 0 && angle <= tol) || (angle >= 360 - tol && angle <= 360);
}

bool LyingModeTest(std::int32_t angle, std::int32_t tol)
{
    return angle >= 180 - tol && angle <= 180 + tol;
}

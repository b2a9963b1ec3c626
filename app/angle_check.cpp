#include "app/angle_check.h"

#include "app/options.h"
#include "app/run_frame.h"
#include "common/output.h"
#include "common/state.h"
#include "hub/inventory.h"
#include "hub/sensor_values.h"
#include "hub/transport.h"

namespace {

// Tablet-mode tolerance when "/CA" leaves it open.
constexpr std::int16_t kDefaultTabletTolerance = 10;

// The check runs with "/CA" or "/SCA", or when none of the options that pick
// tests or one-shot calibrations (or "/NC") is given; both accelerometers
// must be present, and "/NOCA" skips it.
bool AngleCheckRuns()
{
    static const char* const kSkippingOptions[] = {
        "/NC",           "/ACC1-TEST", "/GYRO-TEST", "/COMP-TEST",    "/ACC2-TEST", "/LIGHT-TEST", "/COLOR-TEST",
        "/PSENSOR-TEST", "/ACC1-CALI", "/ACC2-CALI", "/PSENSOR-CALI", "/CUS2-CALI", "/LIGHT-CALI",
    };
    bool runs = IsGiven("/CA") || IsGiven("/SCA");
    if (!runs) {
        runs = true;
        for (const char* option : kSkippingOptions)
            if (IsGiven(option)) {
                runs = false;
                break;
            }
    }
    return runs && SensorList[SensorSlotAcc1] == SensorPresent && SensorList[SensorSlotAcc2] == SensorPresent &&
           !IsGiven("/NOCA");
}

// Both accelerometers' readings after an angle out of range; a failed read
// prints what it left.
void PrintAccelerometers(std::uint8_t hub)
{
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    GetSensorValue3D(hub, SensorIdAcc1, &x, &y, &z);
    PrintBoth("ACC1: %1.2f, %1.2f, %1.2f\r\n", static_cast<double>(x), static_cast<double>(y), static_cast<double>(z));
    GetSensorValue3D(hub, SensorIdAcc2, &x, &y, &z);
    PrintBoth("ACC2: %1.2f, %1.2f, %1.2f\r\n", static_cast<double>(x), static_cast<double>(y), static_cast<double>(z));
}

}  // namespace

AngleCheckOutcome CheckAngleBeforeCalibration(std::uint8_t hub)
{
    if (!AngleCheckRuns()) return AngleCheckOutcome::Continue;

    // -1 degree has the same 16 bits as an empty hub slot.
    const std::int16_t angle = GetAngle(hub);
    if (static_cast<std::uint16_t>(angle) == 0xFFFF) {
        ResultFlag = ResultAngleFail;
        return AngleCheckOutcome::TotalResult;
    }
    const std::int32_t a = angle;

    if (IsGiven("/ANGLE")) {
        PrintBoth("\r\nCurrent Angle=%d\r\n", a);
        return AngleCheckOutcome::EndWithoutTotal;
    }

    // A multi-face calibration turns the machine: no range applies.
    if (ISNeedACC6PhaseCali != 0) return AngleCheckOutcome::Continue;

    // "/SCA" selects lying mode unless its low 16 bits are all ones.
    const std::int32_t lying = OptionValue("/SCA");
    if ((lying & 0xFFFF) != 0xFFFF) {
        if (LyingModeTest(a, ToleranceFromOption(lying, 0))) {
            PrintBoth("The machine is lying-mode.\r\n(Angle=%d)\r\n\r\n", a);
            return AngleCheckOutcome::Continue;
        }
        PrintBoth("The machine is not lying-mode.\r\n(Angle=%d)\r\n", a);
    } else {
        if (TabletModeTest(a, ToleranceFromOption(OptionValue("/CA"), kDefaultTabletTolerance))) {
            PrintBoth("The machine is tablet-mode.\r\n(Angle=%d)\r\n\r\n", a);
            return AngleCheckOutcome::Continue;
        }
        PrintBoth("The machine is not tablet-mode.\r\n(Angle=%d)\r\n", a);
    }
    PrintAccelerometers(hub);
    ResultFlag = ResultAngleFail;
    return AngleCheckOutcome::TotalResult;
}

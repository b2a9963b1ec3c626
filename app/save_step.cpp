#include "app/save_step.h"

#include "app/angle_check.h"
#include "app/options.h"
#include "app/result_row.h"
#include "app/run_frame.h"
#include "common/clock.h"
#include "common/output.h"
#include "common/state.h"
#include "hub/inventory.h"
#include "hub/sensor_values.h"
#include "procedures/save_flash.h"

namespace {

constexpr std::int16_t kDefaultNewAngleTolerance = 10;
constexpr std::int32_t kFullAccuracy = 3;

void SetBiasLimits()
{
    const std::int32_t acc1 = OptionValue("/ACC1-BIAS");
    if (OptionGiven(acc1)) MaxACC1Bias = BiasLimitFromOption(acc1);
    const std::int32_t acc2 = OptionValue("/ACC2-BIAS");
    if (OptionGiven(acc2)) MaxACC2Bias = BiasLimitFromOption(acc2);
}

// The report lines of the calibrations that ran; without calibration
// options the run's kept mask. After a multi-face selection only the ACC2
// lines.
std::uint8_t ReportMask()
{
    std::uint8_t mask = RunReportMask;
    bool calibrationOption = false;
    for (const char* option :
         {"/ACC1-CALI", "/COMP-CALI", "/ACC2-CALI", "/COLOR-CALI", "/PSENSOR-CALI", "/CUS2-CALI", "/LIGHT-CALI"})
        if (IsGiven(option)) calibrationOption = true;
    if (calibrationOption) {
        mask = 0;
        if (IsGiven("/ACC1-CALI")) mask |= ReportMaskAcc1;
        if (IsGiven("/ACC2-CALI")) mask |= ReportMaskAcc2;
        if (IsGiven("/LIGHT-CALI")) mask |= ReportMaskLight;
        if (IsGiven("/COMP-CALI")) mask |= ReportMaskCompass;
        if (IsGiven("/COLOR-CALI") && IsGiven("/RVAL") && IsGiven("/GVAL") && IsGiven("/BVAL")) mask |= ReportMaskColor;
    }
    if (ISNeedACC6PhaseCali != 0) mask = ReportMaskAcc2;
    return mask;
}

// The lid angle once more, after the calibrations: the lying-mode range with
// "/SCA", else the tablet-mode range.
void RecheckAngle(std::uint8_t hub)
{
    const std::int32_t angle = GetAngle(hub);
    PrintBoth("\r\n(New Angle=%d)\r\n", angle);
    const bool inRange =
        IsGiven("/SCA") ? LyingModeTest(angle, ToleranceFromOption(OptionValue("/NEWSCA"), kDefaultNewAngleTolerance))
                        : TabletModeTest(angle, ToleranceFromOption(OptionValue("/NEWCA"), kDefaultNewAngleTolerance));
    // No angle (0xFFFF) lies in a range, however wide its tolerance.
    const bool passed = inRange && angle != AngleInvalid;
    if (!passed) ResultFlag += ResultNewAngleFail;
}

bool SaveAllowed()
{
    return ResultFlag == ResultPass && Accuracy == kFullAccuracy;
}

}  // namespace

void RunSaveStep(std::uint8_t hub)
{
    SetBiasLimits();
    const std::uint8_t mask = ReportMask();
    RunReportMask = mask;

    if (IsGiven("/NS")) {
        AddResult(DoSaveDataToFlash(hub, SaveModeReportOnly, mask, ReportSourceBuffer));
        PrintBoth("--== No Data Save To Flash ==--\r\n");
    } else {
        const bool quick = IsGiven("/QS");
        if (!quick) AddResult(DoSaveDataToFlash(hub, SaveModeReportOnly, mask, ReportSourceBuffer));
        if (ResultFlag == ResultPass && SensorList[SensorSlotAcc1] == SensorPresent &&
            SensorList[SensorSlotAcc2] == SensorPresent && !IsGiven("/NOCA") && ISNeedACC6PhaseCali == 0)
            RecheckAngle(hub);
        if (SaveAllowed())
            AddResult(DoSaveDataToFlash(hub, quick ? SaveModeQuick : SaveModeVerified, 0, ReportSourceFlash));
        if (SaveAllowed())
            PrintBoth("--== Save The Result To Flash ==--\r\n");
        else
            PrintBoth("--== No Data Save To Flash ==--\r\n");
    }

    const std::uint32_t elapsed = TickCountMs() - gStartTick;
    PrintBoth("(Total Time: %d s)\n", static_cast<int>(elapsed / 1000u));
}

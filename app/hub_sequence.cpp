#include "app/hub_sequence.h"

#include <cmath>

#include "app/angle_check.h"
#include "app/calibration_block.h"
#include "app/face_delay.h"
#include "app/mode_option.h"
#include "app/multi_face_flow.h"
#include "app/multi_face_selection.h"
#include "app/options.h"
#include "app/run_frame.h"
#include "app/save_step.h"
#include "app/test_block.h"
#include "common/clock.h"
#include "common/output.h"
#include "common/state.h"
#include "hub/hub_control.h"
#include "hub/hub_memory.h"
#include "hub/inventory.h"
#include "hub/sensor_values.h"
#include "hub/transport.h"

namespace {

// The ACC2 pre-check limit in g, on |x|, |y| and on |z| beyond 1 g.
constexpr double kAcc2PrecheckLimit = 0.54;
constexpr std::uint8_t kInitStatusReady = 3;
constexpr std::uint32_t kInitCheckWaitMs = 2000;

// Where the steps hand over to the closing steps.
enum class Exit {
    TotalResult,      // the total result line, then the end
    EndWithoutTotal,  // the end without a total result line ("/FWVER", "/ANGLE")
};

// The second accelerometer's pre-check; ends with the total result. A
// clearing or a reading that did not go through fails it: the reading would
// be taken with the old bias, or be no reading at all.
void PrecheckAcc2(std::uint8_t hub)
{
    std::uint8_t cleared = 0;
    if (OptionValue("/PRECHECKACC2") == 0) cleared |= ClearBufferParameterAndRestartFusion(hub, 1, ClearAreaAcc2Bias);
    if (OptionValue("/PRECHECKACC2") == 1)
        cleared |= ClearBufferParameterAndRestartFusion(hub, 1, ClearAreaAcc2BiasGain);
    if (cleared != 0) {
        PrintBoth("Clear Buffer Fail!\r\n");
        ResultFlag = ResultAcc2PrecheckFail;
        return;
    }

    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    if (GetSensorValue3D(hub, SensorIdAcc2, &x, &y, &z) != 0) {
        PrintBoth("Get ACC2 Value Fail!\r\n");
        ResultFlag = ResultAcc2PrecheckFail;
        return;
    }
    PrintBoth("ACC2: %1.2f, %1.2f, %1.2f\r\n", static_cast<double>(x), static_cast<double>(y), static_cast<double>(z));

    // Single-precision magnitudes, compared in double precision. A z below
    // 1 g in magnitude is not limited.
    const float ax = std::fabs(x);
    const float ay = std::fabs(y);
    const float dz = std::fabs(z) - 1.0f;
    if (static_cast<double>(ax) >= kAcc2PrecheckLimit || static_cast<double>(ay) >= kAcc2PrecheckLimit ||
        static_cast<double>(dz) >= kAcc2PrecheckLimit) {
        PrintBoth("Error!! Accel2 can't more than +/-0.54G .\r\n");
        ResultFlag = ResultAcc2PrecheckFail;
    }
}

void PrintFusionLine()
{
    if (SensorList[SensorSlotAcc1] != SensorPresent || SensorList[SensorSlotCompass] != SensorPresent) return;
    switch (SensorList[SensorSlotGyro]) {
        case SensorAbsent:
            PrintBoth("Fusion: 6D.\r\n");
            break;
        case SensorPresent:
            PrintBoth("Fusion: 9D.\r\n");
            break;
        case GyroVariant:
            PrintBoth("Fusion: 6D..\r\n");
            break;
        default:
            break;
    }
}

// "/CHECKINITIALIZE": the presence check and the initialisation status,
// one point each when they fail.
void CheckInitialization(std::uint8_t hub)
{
    if (CheckSensorExist(hub) != 0) {
        ResultFlag += 1;
        PrintBoth("Check Sensors Fail!\r\n");
    } else {
        PrintBoth("Check Sensors pass!\r\n");
    }
    SleepMs(kInitCheckWaitMs);

    // A read that fails leaves the byte 0: not initialised.
    std::uint8_t status = 0;
    WinDebugReadRegByte(hub, 0x08, 0x12, 0x00, &status);
    if (status == kInitStatusReady) {
        PrintBoth("Initialize Sensors pass!\r\n");
    } else {
        ResultFlag += 1;
        PrintBoth("Initialize Sensors Fail!\r\n");
    }
}

// The save step runs after a calibration option, after a complete colour
// calibration request, or after a run without test options that passed.
bool SaveGateOpen()
{
    for (const char* option : {"/ACC1-CALI", "/ACC2-CALI", "/COMP-CALI", "/LIGHT-CALI", "/PSENSOR-CALI", "/CUS2-CALI"})
        if (IsGiven(option)) return true;
    if (IsGiven("/COLOR-CALI") && IsGiven("/RVAL") && IsGiven("/GVAL") && IsGiven("/BVAL")) return true;
    return ResultFlag == ResultPass && !AnyTestOptionGiven(gArgc, gArgv);
}

// Steps 3 to 16: everything between the parameter-area query and the total
// result. DelayFlag is 0 on entry.
Exit RunSteps(std::uint8_t hub)
{
    if (IsGiven("/PRECHECKACC2")) {
        PrecheckAcc2(hub);
        return Exit::TotalResult;
    }

    // A head that the hub did not clear would go into flash with the block.
    if (!IsGiven("/NRC") && ClearBufferParameterAndRestartFusion(hub, 1, ClearAreaBlockHead) != 0) {
        PrintBoth("Clear Buffer Fail!\r\n");
        ResultFlag += 1;
        return Exit::TotalResult;
    }

    if (IsGiven("/FWVER")) {
        // A version that could not be read is no pass.
        ResultFlag = GetOEMFWVersion() ? ResultPass : 1;
        return Exit::EndWithoutTotal;
    }

    if (OptionValue("/RFD") > 0) SleepMs(static_cast<std::uint32_t>(OptionValue("/RFD")));
    // An inventory that could not be read would take every sensor it missed
    // as absent, and skip its tests and calibrations.
    if (!CheckSensors(hub)) {
        PrintBoth("Get Sensor List Fail!\r\n");
        ResultFlag = ResultSensorMissing;
        return Exit::TotalResult;
    }
    PrintFusionLine();

    if (IsGiven("/CHECKINITIALIZE")) {
        CheckInitialization(hub);
        return Exit::TotalResult;
    }

    if (!AnyModeOptionGiven(gArgc, gArgv) && CheckSensorExist(hub) != 0) {
        PrintBoth("Check Sensors Fail and Stop!\r\n");
        ResultFlag = ResultSensorMissing;
        return Exit::TotalResult;
    }
    if (IsGiven("/CS")) {
        ResultFlag = ResultPass;
        return Exit::TotalResult;
    }

    SelectMultiFaceCalibration();
    switch (CheckAngleBeforeCalibration(hub)) {
        case AngleCheckOutcome::TotalResult:
            return Exit::TotalResult;
        case AngleCheckOutcome::EndWithoutTotal:
            return Exit::EndWithoutTotal;
        case AngleCheckOutcome::Continue:
            break;
    }
    TakeFaceDelay();

    // A multi-face flow takes the place of the tests and the regular
    // calibrations and runs without pacing.
    if (!RunMultiFaceFlow(hub)) {
        // A selection under which no flow ran selects nothing from here on:
        // the one-shot calibrations check their values, the report and the
        // angle re-check run as without it.
        ISNeedACC6PhaseCali = 0;
        DelayFlag = 1;
        RunTestBlock(hub);
        // "/NC" leaves the pacing on up to mode off.
        if (IsGiven("/NC")) return Exit::TotalResult;
        RunCalibrationBlock(hub);
        DelayFlag = 0;
    }

    if (SaveGateOpen()) RunSaveStep(hub);
    return Exit::TotalResult;
}

}  // namespace

void HubSequence(std::uint8_t hub)
{
    HidCustomCmdInit(hub, CustomCmdModeOn);

    // Until the hub confirms the parameter-area query, gBufferAddr is not
    // known to point at the parameter block, and the final clear, which
    // writes two zero bytes there, must not run.
    bool addressesConfirmed = false;
    Exit exit = Exit::TotalResult;
    if (GetEFlashBufferAddr(hub, &gEFlashAddr, &gBufferAddr, &gParamLength) != 0) {
        PrintBoth("Get Address of eFlash&Buffer Fail!\r\n");
        ResultFlag = ResultEFlashBufferAddrFail;
    } else {
        addressesConfirmed = true;
        exit = RunSteps(hub);
    }

    if (exit == Exit::TotalResult) {
        if (ResultFlag == ResultPass)
            PrintBoth("\r\nTotal Result: Pass\r\n");
        else
            PrintBoth("\r\nTotal Result: Fail\r\n");
    }

    if (ResultFlag != ResultPass && addressesConfirmed)
        ClearBufferParameterAndRestartFusion(hub, 0, ClearAreaBlockHead);
    HidCustomCmdInit(hub, CustomCmdModeOff);
}

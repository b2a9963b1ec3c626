#include "app/calibration_block.h"

#include "app/mode_option.h"
#include "app/options.h"
#include "app/result_row.h"
#include "common/output.h"
#include "common/state.h"
#include "hub/inventory.h"
#include "hub/transport.h"
#include "procedures/calibrate.h"
#include "procedures/compass_calibration.h"
#include "procedures/light_calibration.h"

namespace {

// The phase of a one-shot accelerometer calibration: the option's low 8 bits
// when given, else the one-shot phase.
std::uint8_t OneShotPhase(const char* option)
{
    const std::int32_t value = OptionValue(option);
    return OptionGiven(value) ? PhaseFromOption(value) : CaliPhaseOneShot;
}

// The five proximity calibrations; each runs only when all its options are
// given, and takes their values after its label.
void RunProximitySteps(std::uint8_t hub)
{
    if (IsGiven("/DISTANCE") && IsGiven("/MODE")) {
        PrintRowLabel("PSENSOR Calibration          : ");
        gPSensorDistance = OptionValue("/DISTANCE");
        gPSensorMode = OptionValue("/MODE");
        AddResult(DoCalibration(hub, SensorIdPSensor, 0));
    }
    if (IsGiven("/CROSSTALKUPPERBOUND") && IsGiven("/CROSSTALKLOWERBOUND")) {
        PrintRowLabel("PSENSOR CROSSTALK Calibration          : ");
        gPSensorCrossTalkUpperBound = OptionValue("/CROSSTALKUPPERBOUND");
        gPSensorCrossTalkLowerBound = OptionValue("/CROSSTALKLOWERBOUND");
        AddResult(DoCalibration(hub, SensorIdPSensorThreshold, CaliPhaseCrossTalk));
    }
    if (IsGiven("/THDH1UPPERBOUND") && IsGiven("/THDH1LOWERBOUND")) {
        PrintRowLabel("PSENSOR THDH1 Calibration          : ");
        gPSensorTHDH1UpperBound = OptionValue("/THDH1UPPERBOUND");
        gPSensorTHDH1LowerBound = OptionValue("/THDH1LOWERBOUND");
        AddResult(DoCalibration(hub, SensorIdPSensorThreshold, CaliPhaseTHDH1));
    }
    if (IsGiven("/THDHYSUPPERBOUND") && IsGiven("/THDHYSLOWERBOUND") && IsGiven("/THDHYSVALUE")) {
        PrintRowLabel("PSENSOR THDHYS Calibration          : ");
        gPSensorTHDHYSUpperBound = OptionValue("/THDHYSUPPERBOUND");
        gPSensorTHDHYSLowerBound = OptionValue("/THDHYSLOWERBOUND");
        gPSensorTHDHYSValue = OptionValue("/THDHYSVALUE");
        AddResult(DoCalibration(hub, SensorIdPSensorThreshold, CaliPhaseTHDHYS));
    }
    if (IsGiven("/NEWCROSSTALKUPPERBOUND") && IsGiven("/NEWCROSSTALKLOWERBOUND")) {
        PrintRowLabel("PSENSOR NEWCROSSTALK Calibration          : ");
        gPSensorNewCrossTalkUpperBound = OptionValue("/NEWCROSSTALKUPPERBOUND");
        gPSensorNewCrossTalkLowerBound = OptionValue("/NEWCROSSTALKLOWERBOUND");
        AddResult(DoCalibration(hub, SensorIdPSensorThreshold, CaliPhaseNewCrossTalk));
    }
}

}  // namespace

void RunCalibrationBlock(std::uint8_t hub)
{
    if (SensorList[SensorSlotAcc1] != SensorAbsent && SelectedByModeRule("/ACC1-CALI")) {
        PrintRowLabel("Accelerometer Calibration    : ");
        AddResult(DoCalibration(hub, SensorIdAcc1, OneShotPhase("/ACC1-PHASE")));
    }
    // The fusion variant's gyrometer is neither tested nor calibrated.
    // "/GYRO-CALI" selects only this row, and only this row needs it.
    if (SensorList[SensorSlotGyro] == SensorPresent && IsGiven("/GYRO-CALI")) {
        PrintRowLabel("Gyrometer Calibration        : ");
        if (IsGiven("/GYRO-TIMEOUT")) GyroTimeOut = OptionValue("/GYRO-TIMEOUT");
        if (IsGiven("/GYRO-OFFSET")) MaxGyroOffset = static_cast<float>(OptionValue("/GYRO-OFFSET"));
        AddResult(DoCalibration(hub, SensorIdGyro, 0));
    }
    // The accuracy level is settled before the label and kept for the save step.
    if (SensorList[SensorSlotCompass] != SensorAbsent && IsGiven("/COMP-CALI")) {
        if (IsGiven("/ACCURACY")) Accuracy = OptionValue("/ACCURACY");
        Accuracy = ClampAccuracy(Accuracy);
        PrintRowLabel("Compass Calibration        : ");
        AddResult(DoCalibrationForComp(hub));
    }
    if (SensorList[SensorSlotAcc2] != SensorAbsent && SelectedByModeRule("/ACC2-CALI")) {
        PrintRowLabel("2ndAccelerometer Calibration : ");
        AddResult(DoCalibration(hub, SensorIdAcc2, OneShotPhase("/ACC2-PHASE")));
    }
    if (SensorList[SensorSlotAmbientLight] != SensorAbsent && SelectedByModeRule("/LIGHT-CALI") && IsGiven("/LUX")) {
        PrintRowLabel("Light Calibration          : ");
        AddResult(DoAmbientLightCalibration(hub, ReferenceFromOption(OptionValue("/LUX"))));
    }
    if (ColorSensorFlag != 0 && IsGiven("/COLOR-CALI") && IsGiven("/RVAL") && IsGiven("/GVAL") && IsGiven("/BVAL")) {
        PrintRowLabel("Color Calibration          : ");
        const std::uint16_t ref[3] = {
            ReferenceFromOption(OptionValue("/RVAL")),
            ReferenceFromOption(OptionValue("/GVAL")),
            ReferenceFromOption(OptionValue("/BVAL")),
        };
        AddResult(DoColorSensorCalibration(hub, ref));
    }
    // The proximity group is selected once, as a whole.
    if (SelectedByModeRule("/PSENSOR-CALI")) RunProximitySteps(hub);
    if (IsGiven("/CUS2-CALI")) {
        PrintRowLabel("Custom Sensor 2 Calibration          : ");
        AddResult(DoCalibration(hub, SensorIdCustom2, 0));
    }
}

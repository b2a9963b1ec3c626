#include "app/calibration_block.h"

#include "app/mode_option.h"
#include "app/options.h"
#include "common/output.h"
#include "common/state.h"
#include "hub/inventory.h"
#include "hub/transport.h"
#include "procedures/calibrate.h"
#include "procedures/compass_calibration.h"
#include "procedures/light_calibration.h"

namespace {

// Prints the row's label (no line end; the procedure completes the line).
void Label(const char* label)
{
    PrintBoth("%s", label);
}

void Add(std::uint8_t result)
{
    ResultFlag += result;
}

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
        Label("PSENSOR Calibration          : ");
        gPSensorDistance = OptionValue("/DISTANCE");
        gPSensorMode = OptionValue("/MODE");
        Add(DoCalibration(hub, SensorIdPSensor, 0));
    }
    if (IsGiven("/CROSSTALKUPPERBOUND") && IsGiven("/CROSSTALKLOWERBOUND")) {
        Label("PSENSOR CROSSTALK Calibration          : ");
        gPSensorCrossTalkUpperBound = OptionValue("/CROSSTALKUPPERBOUND");
        gPSensorCrossTalkLowerBound = OptionValue("/CROSSTALKLOWERBOUND");
        Add(DoCalibration(hub, SensorIdPSensorThreshold, CaliPhaseCrossTalk));
    }
    if (IsGiven("/THDH1UPPERBOUND") && IsGiven("/THDH1LOWERBOUND")) {
        Label("PSENSOR THDH1 Calibration          : ");
        gPSensorTHDH1UpperBound = OptionValue("/THDH1UPPERBOUND");
        gPSensorTHDH1LowerBound = OptionValue("/THDH1LOWERBOUND");
        Add(DoCalibration(hub, SensorIdPSensorThreshold, CaliPhaseTHDH1));
    }
    if (IsGiven("/THDHYSUPPERBOUND") && IsGiven("/THDHYSLOWERBOUND") && IsGiven("/THDHYSVALUE")) {
        Label("PSENSOR THDHYS Calibration          : ");
        gPSensorTHDHYSUpperBound = OptionValue("/THDHYSUPPERBOUND");
        gPSensorTHDHYSLowerBound = OptionValue("/THDHYSLOWERBOUND");
        gPSensorTHDHYSValue = OptionValue("/THDHYSVALUE");
        Add(DoCalibration(hub, SensorIdPSensorThreshold, CaliPhaseTHDHYS));
    }
    if (IsGiven("/NEWCROSSTALKUPPERBOUND") && IsGiven("/NEWCROSSTALKLOWERBOUND")) {
        Label("PSENSOR NEWCROSSTALK Calibration          : ");
        gPSensorNewCrossTalkUpperBound = OptionValue("/NEWCROSSTALKUPPERBOUND");
        gPSensorNewCrossTalkLowerBound = OptionValue("/NEWCROSSTALKLOWERBOUND");
        Add(DoCalibration(hub, SensorIdPSensorThreshold, CaliPhaseNewCrossTalk));
    }
}

}  // namespace

void RunCalibrationBlock(std::uint8_t hub)
{
    if (SensorList[SensorSlotAcc1] != SensorAbsent && SelectedByModeRule("/ACC1-CALI")) {
        Label("Accelerometer Calibration    : ");
        Add(DoCalibration(hub, SensorIdAcc1, OneShotPhase("/ACC1-PHASE")));
    }
    // The fusion variant's gyrometer is neither tested nor calibrated.
    // "/GYRO-CALI" selects only this row, and only this row needs it.
    if (SensorList[SensorSlotGyro] == SensorPresent && IsGiven("/GYRO-CALI")) {
        Label("Gyrometer Calibration        : ");
        if (IsGiven("/GYRO-TIMEOUT")) GyroTimeOut = OptionValue("/GYRO-TIMEOUT");
        if (IsGiven("/GYRO-OFFSET")) MaxGyroOffset = static_cast<float>(OptionValue("/GYRO-OFFSET"));
        Add(DoCalibration(hub, SensorIdGyro, 0));
    }
    // The accuracy level is settled before the label and kept for the save step.
    if (SensorList[SensorSlotCompass] != SensorAbsent && IsGiven("/COMP-CALI")) {
        if (IsGiven("/ACCURACY")) Accuracy = OptionValue("/ACCURACY");
        Accuracy = ClampAccuracy(Accuracy);
        Label("Compass Calibration        : ");
        Add(DoCalibrationForComp(hub));
    }
    if (SensorList[SensorSlotAcc2] != SensorAbsent && SelectedByModeRule("/ACC2-CALI")) {
        Label("2ndAccelerometer Calibration : ");
        Add(DoCalibration(hub, SensorIdAcc2, OneShotPhase("/ACC2-PHASE")));
    }
    if (SensorList[SensorSlotAmbientLight] != SensorAbsent && SelectedByModeRule("/LIGHT-CALI") && IsGiven("/LUX")) {
        Label("Light Calibration          : ");
        Add(DoAmbientLightCalibration(hub, ReferenceFromOption(OptionValue("/LUX"))));
    }
    if (ColorSensorFlag != 0 && IsGiven("/COLOR-CALI") && IsGiven("/RVAL") && IsGiven("/GVAL") && IsGiven("/BVAL")) {
        Label("Color Calibration          : ");
        const std::uint16_t ref[3] = {
            ReferenceFromOption(OptionValue("/RVAL")),
            ReferenceFromOption(OptionValue("/GVAL")),
            ReferenceFromOption(OptionValue("/BVAL")),
        };
        Add(DoColorSensorCalibration(hub, ref));
    }
    // The proximity group is selected once, as a whole.
    if (SelectedByModeRule("/PSENSOR-CALI")) RunProximitySteps(hub);
    if (IsGiven("/CUS2-CALI")) {
        Label("Custom Sensor 2 Calibration          : ");
        Add(DoCalibration(hub, SensorIdCustom2, 0));
    }
}

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

std::int32_t Lookup(const char* name)
{
    return CheckParameters(gArgc, gArgv, name);
}

bool Given(const char* name)
{
    return OptionGiven(Lookup(name));
}

bool Selected(const char* name)
{
    return SelectedByModeRule(gArgc, gArgv, name);
}

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
    const std::int32_t value = Lookup(option);
    return OptionGiven(value) ? PhaseFromOption(value) : CaliPhaseOneShot;
}

// The five proximity calibrations; each runs only when all its options are
// given, and takes their values after its label.
void RunProximitySteps(std::uint8_t hub)
{
    if (Given("/DISTANCE") && Given("/MODE")) {
        Label("PSENSOR Calibration          : ");
        gPSensorDistance = Lookup("/DISTANCE");
        gPSensorMode = Lookup("/MODE");
        Add(DoCalibration(hub, SensorIdPSensor, 0));
    }
    if (Given("/CROSSTALKUPPERBOUND") && Given("/CROSSTALKLOWERBOUND")) {
        Label("PSENSOR CROSSTALK Calibration          : ");
        gPSensorCrossTalkUpperBound = Lookup("/CROSSTALKUPPERBOUND");
        gPSensorCrossTalkLowerBound = Lookup("/CROSSTALKLOWERBOUND");
        Add(DoCalibration(hub, SensorIdPSensorThreshold, CaliPhaseCrossTalk));
    }
    if (Given("/THDH1UPPERBOUND") && Given("/THDH1LOWERBOUND")) {
        Label("PSENSOR THDH1 Calibration          : ");
        gPSensorTHDH1UpperBound = Lookup("/THDH1UPPERBOUND");
        gPSensorTHDH1LowerBound = Lookup("/THDH1LOWERBOUND");
        Add(DoCalibration(hub, SensorIdPSensorThreshold, CaliPhaseTHDH1));
    }
    if (Given("/THDHYSUPPERBOUND") && Given("/THDHYSLOWERBOUND") && Given("/THDHYSVALUE")) {
        Label("PSENSOR THDHYS Calibration          : ");
        gPSensorTHDHYSUpperBound = Lookup("/THDHYSUPPERBOUND");
        gPSensorTHDHYSLowerBound = Lookup("/THDHYSLOWERBOUND");
        gPSensorTHDHYSValue = Lookup("/THDHYSVALUE");
        Add(DoCalibration(hub, SensorIdPSensorThreshold, CaliPhaseTHDHYS));
    }
    if (Given("/NEWCROSSTALKUPPERBOUND") && Given("/NEWCROSSTALKLOWERBOUND")) {
        Label("PSENSOR NEWCROSSTALK Calibration          : ");
        gPSensorNewCrossTalkUpperBound = Lookup("/NEWCROSSTALKUPPERBOUND");
        gPSensorNewCrossTalkLowerBound = Lookup("/NEWCROSSTALKLOWERBOUND");
        Add(DoCalibration(hub, SensorIdPSensorThreshold, CaliPhaseNewCrossTalk));
    }
}

}  // namespace

void RunCalibrationBlock(std::uint8_t hub)
{
    if (SensorList[SensorSlotAcc1] != SensorAbsent && Selected("/ACC1-CALI")) {
        Label("Accelerometer Calibration    : ");
        Add(DoCalibration(hub, SensorIdAcc1, OneShotPhase("/ACC1-PHASE")));
    }
    // The fusion variant's gyrometer is neither tested nor calibrated.
    // "/GYRO-CALI" selects only this row, and only this row needs it.
    if (SensorList[SensorSlotGyro] == SensorPresent && Given("/GYRO-CALI")) {
        Label("Gyrometer Calibration        : ");
        if (Given("/GYRO-TIMEOUT")) GyroTimeOut = Lookup("/GYRO-TIMEOUT");
        if (Given("/GYRO-OFFSET")) MaxGyroOffset = static_cast<float>(Lookup("/GYRO-OFFSET"));
        Add(DoCalibration(hub, SensorIdGyro, 0));
    }
    // The accuracy level is settled before the label and kept for the save step.
    if (SensorList[SensorSlotCompass] != SensorAbsent && Given("/COMP-CALI")) {
        if (Given("/ACCURACY")) Accuracy = Lookup("/ACCURACY");
        Accuracy = ClampAccuracy(Accuracy);
        Label("Compass Calibration        : ");
        Add(DoCalibrationForComp(hub));
    }
    if (SensorList[SensorSlotAcc2] != SensorAbsent && Selected("/ACC2-CALI")) {
        Label("2ndAccelerometer Calibration : ");
        Add(DoCalibration(hub, SensorIdAcc2, OneShotPhase("/ACC2-PHASE")));
    }
    if (SensorList[SensorSlotAmbientLight] != SensorAbsent && Selected("/LIGHT-CALI") && Given("/LUX")) {
        Label("Light Calibration          : ");
        Add(DoAmbientLightCalibration(hub, ReferenceFromOption(Lookup("/LUX"))));
    }
    if (ColorSensorFlag != 0 && Given("/COLOR-CALI") && Given("/RVAL") && Given("/GVAL") && Given("/BVAL")) {
        Label("Color Calibration          : ");
        const std::uint16_t ref[3] = {
            ReferenceFromOption(Lookup("/RVAL")),
            ReferenceFromOption(Lookup("/GVAL")),
            ReferenceFromOption(Lookup("/BVAL")),
        };
        Add(DoColorSensorCalibration(hub, ref));
    }
    // The proximity group is selected once, as a whole.
    if (Selected("/PSENSOR-CALI")) RunProximitySteps(hub);
    if (Given("/CUS2-CALI")) {
        Label("Custom Sensor 2 Calibration          : ");
        Add(DoCalibration(hub, SensorIdCustom2, 0));
    }
}

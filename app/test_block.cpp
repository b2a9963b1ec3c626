#include "app/test_block.h"

#include "app/mode_option.h"
#include "app/options.h"
#include "common/output.h"
#include "common/state.h"
#include "hub/inventory.h"
#include "hub/transport.h"
#include "procedures/self_test.h"
#include "procedures/sensor_tests.h"

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

}  // namespace

void RunTestBlock(std::uint8_t hub)
{
    if (SensorList[SensorSlotAcc1] != SensorAbsent && SelectedByModeRule("/ACC1-TEST")) {
        Label("Accel Test   : ");
        AccTestMode = OptionValue("/ACC1-TEST");
        Add(DoSelfTest(hub, SensorIdAcc1));
    }
    // The fusion variant's gyrometer is neither tested nor calibrated.
    if (SensorList[SensorSlotGyro] == SensorPresent && SelectedByModeRule("/GYRO-TEST")) {
        Label("Gyro  Test   : ");
        Add(DoSelfTest(hub, SensorIdGyro));
    }
    if (SensorList[SensorSlotCompass] != SensorAbsent && SelectedByModeRule("/COMP-TEST")) {
        Label("Compass Test : ");
        Add(DoSelfTest(hub, SensorIdCompass));
    }
    if (SensorList[SensorSlotAcc2] != SensorAbsent && SelectedByModeRule("/ACC2-TEST")) {
        Label("Accel2 Test  : ");
        Add(DoSelfTest(hub, SensorIdAcc2));
    }
    if (SensorList[SensorSlotAmbientLight] != SensorAbsent && SelectedByModeRule("/LIGHT-TEST")) {
        Label("Light Test   : ");
        Add(DoAmbientLightTest(hub));
    }
    if (ColorSensorFlag != 0 && SelectedByModeRule("/COLOR-TEST")) {
        Label("Color Test   : ");
        Add(DoColorSensorTest(hub));
    }
    // The proximity test has no sensor guard. pTime is written as soon as the
    // rule selects the row, whether or not the test then runs: a negative
    // value (also -1, the option not given) skips it.
    if (SelectedByModeRule("/PSENSOR-TEST")) {
        pTime = OptionValue("/PSENSOR-TEST");
        if (pTime >= 0) {
            Label("PSensor Test   : ");
            Add(DoPSensorTest(hub));
        }
    }
}

#include "app/test_block.h"

#include "app/mode_option.h"
#include "app/options.h"
#include "app/result_row.h"
#include "common/output.h"
#include "common/state.h"
#include "hub/inventory.h"
#include "hub/transport.h"
#include "procedures/self_test.h"
#include "procedures/sensor_tests.h"

void RunTestBlock(std::uint8_t hub)
{
    if (SensorList[SensorSlotAcc1] != SensorAbsent && SelectedByModeRule("/ACC1-TEST")) {
        PrintRowLabel("Accel Test   : ");
        AccTestMode = OptionValue("/ACC1-TEST");
        AddResult(DoSelfTest(hub, SensorIdAcc1));
    }
    // The fusion variant's gyrometer is neither tested nor calibrated.
    if (SensorList[SensorSlotGyro] == SensorPresent && SelectedByModeRule("/GYRO-TEST")) {
        PrintRowLabel("Gyro  Test   : ");
        AddResult(DoSelfTest(hub, SensorIdGyro));
    }
    if (SensorList[SensorSlotCompass] != SensorAbsent && SelectedByModeRule("/COMP-TEST")) {
        PrintRowLabel("Compass Test : ");
        AddResult(DoSelfTest(hub, SensorIdCompass));
    }
    if (SensorList[SensorSlotAcc2] != SensorAbsent && SelectedByModeRule("/ACC2-TEST")) {
        PrintRowLabel("Accel2 Test  : ");
        AddResult(DoSelfTest(hub, SensorIdAcc2));
    }
    if (SensorList[SensorSlotAmbientLight] != SensorAbsent && SelectedByModeRule("/LIGHT-TEST")) {
        PrintRowLabel("Light Test   : ");
        AddResult(DoAmbientLightTest(hub));
    }
    if (ColorSensorFlag != 0 && SelectedByModeRule("/COLOR-TEST")) {
        PrintRowLabel("Color Test   : ");
        AddResult(DoColorSensorTest(hub));
    }
    // The proximity test has no sensor guard. pTime is written as soon as the
    // rule selects the row, whether or not the test then runs: a negative
    // value (also -1, the option not given) skips it.
    if (SelectedByModeRule("/PSENSOR-TEST")) {
        pTime = OptionValue("/PSENSOR-TEST");
        if (pTime >= 0) {
            PrintRowLabel("PSensor Test   : ");
            AddResult(DoPSensorTest(hub));
        }
    }
}

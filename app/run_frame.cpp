#include "app/run_frame.h"

#include <string>

#include "app/hub_sequence.h"
#include "app/options.h"
#include "common/clock.h"
#include "common/output.h"
#include "common/platform.h"
#include "common/state.h"
#include "hub/discovery.h"
#include "procedures/save_flash.h"

namespace {

// The help text; an empty entry is an empty line.
const char* const kHelpLines[] = {
    "/ACC1-TEST, do acc1 test",
    "/GYRO-TEST, do gyro test",
    "/COMP-TEST, do compass test",
    "/ACC2-TEST, do acc2 test",
    "/LIGHT-TEST, do light test",
    "/COLOR-TEST, do color test",
    "/PSENSOR-TEST, do PSensor test",
    "",
    "/ACC1-CALI, do acc1 calibration",
    "/GYRO-CALI, do gyro calibration",
    "/COMP-CALI, do comp calibration",
    "/ACC2-CALI, do acc2 calibration",
    "/LIGHT-CALI, do light calibration",
    "/COLOR-CALI, do color calibration",
    "",
    "/ACC1-BIAS, set maximum bias value. EX: ACC1-BIAS40 is 0.40 ; ACC1-BIAS15 is 0.15",
    "/ACC2-BIAS, set maximum bias value. EX: ACC2-BIAS40 is 0.40 ; ACC2-BIAS15 is 0.15",
    "/ACC1-PHASE, set calibration phase mode. EX: ACC1-PHASE0 is Z+ ; ACC1-PHASE1 is Z-",
    "/ACC2-PHASE, set calibration phase mode. EX: ACC2-PHASE0 is Z+ ; ACC2-PHASE1 is Z-",
    "",
    "/GYRO-TIMEOUT, set time-out of gyro-cali. EX: GYRO-TIMEOUT10 is 10 sec",
    "/GYRO-OFFSET, set maximum offset value after gyro-cali. EX: GYRO-OFFSET6 is 6.0 dps",
    "/ACCURACY, input the state of Accuracy. EX: ACCURACY3 is 3 (Max is 3, Min is 1)",
    "/LUX, input light source value. EX: LUX300 is 300 lux",
    "/RVAL, input color_R source value. EX: RVAL600 is 600 value",
    "/GVAL, input color_G source value. EX: RVAL500 is 500 value",
    "/BVAL, input color_B source value. EX: RVAL400 is 400 value",
    "/FWVER, only get OEM FW version",
    "/ANGLE, only get current angle",
    "/CS, only check sensors exist",
    "/NC, no calibrate",
    "/NS, no save",
    "/NAC, no auto close",
    "/FNC, fail no close",
    "/NRC, no reset and clear buffer",
    "/NOCA, no check angle",
    "/SCA, input the check angle for 2 ACC lying-mode. EX: SCA30 is 180 +/-30 degree",
    "/CA, input the check angle for 2 ACC tablet-mode. EX: CA30 is 0 +/-30 degree",
    "/NEWSCA, input the New check angle for 2 ACC lying-mode after Calibration",
    "/NEWCA, input the New check angle for 2 ACC tablet-mode after Calibration",
    "",
    "/?, help",
    "",
    "/LIGHT-CALI /LUX400, only do light calibration with input 400 lux",
    "/COLOR-CALI /RVAL900 /GVAL800 /BVAL700, only do color_R & color_G & color_B calibration with input 900 & 800 & "
    "700 value",
    "/PSENSOR-CALI /DISTANCE10 /MODE13, only do PSensor calibration with input the parameter value for 10cm distance "
    "and 13 mode",
    "/PSENSOR-CALI /CROSSTALKUPPERBOUND2300 /CROSSTALKLOWERBOUND100, only do PSensor calibration with input the "
    "parameter value for CROSSTALK 2300~100",
    "/PSENSOR-CALI /THDH1UPPERBOUND2300 /THDH1LOWERBOUND100, only do PSensor calibration with input the parameter "
    "value for THDH1 2300~100",
    "/PSENSOR-CALI /THDHYSUPPERBOUND2300 /THDHYSLOWERBOUND100 /THDHYSVALUE50, only do PSensor calibration with input "
    "the parameter value for THDHYS 2300~100",
    "/PSENSOR-CALI /NEWCROSSTALKUPPERBOUND2300 /NEWCROSSTALKLOWERBOUND100, only do PSensor calibration with input the "
    "parameter value for NEWCROSSTALK 2300~100",
    "",
    "/CUS2-CALI, do Custom Sensor 2 calibration",
    "/QS, Quick save no check",
    "",
    "/CUS2-CALI parameter p1 p2 p3 ... p12, do Custom Sensor 2 calibration with parameter",
    "",
    "/ACC2-6P-CALI, do acc2 calibration for 6 phase",
    "/ACC-CALI-DELAY, set delay time for ACC 2/6 phase calibration. EX: ACC-CALI-DELAY5 is 5 sec",
};

void Shutdown(int argc, char** argv)
{
    CloseRunLog();
    if (CheckParameters(argc, argv, "/NAC") != -1) {
        PrintConsole("Please press any key to exit.");
        ConsoleWaitKey();
    }
    if (CheckParameters(argc, argv, "/FNC") != -1 && ResultFlag != 0) {
        PrintConsole("Please press any key to exit.");
        ConsoleWaitKey();
    }
    SleepMs(50);
}

}  // namespace

std::uint32_t gStartTick;

void PrintHelp()
{
    for (const char* line : kHelpLines) PrintConsole("%s\r\n", line);
}

std::int32_t RunTool(int argc, char** argv)
{
    gArgc = argc;
    gArgv = argv;
    ConsoleInit();

    if (CreateInstanceGuard(kInstanceName) == InstanceGuard::AlreadyExists) {
        PrintConsole("This application can not be repeated!\r\n\r\n");
        return ResultAlreadyRunning;
    }

    ResultFlag = ResultPass;
    gStartTick = TickCountMs();
    PrintConsole("XOV Sensor Hub Calibration Tool v0.9.53_x64\r\n\r\n");

    // A malformed help request is a command-line error, met before the run
    // log exists: an earlier run's log stays as it is.
    std::string bad;
    if (OptionMalformed(argc, argv, "/?", bad)) {
        PrintConsole("Invalid command-line argument: %s\r\n", bad.c_str());
        ResultFlag = ResultCommandLineError;
        Shutdown(argc, argv);
        return ResultFlag;
    }
    if (CheckParameters(argc, argv, "/?") != -1) {
        PrintHelp();
        return ResultPass;
    }

    if (OpenRunLog())
        PrintLog("XOV Sensor Hub Calibration Tool v0.9.52_x64\r\n\r\n");
    else
        PrintConsole("Cannot create the run log %s: the run goes on without it.\r\n", kRunLogName);

    if (!CheckCommandLine(argc, argv, bad)) {
        PrintBoth("Invalid command-line argument: %s\r\n", bad.c_str());
        ResultFlag = ResultCommandLineError;
        Shutdown(argc, argv);
        return ResultFlag;
    }

    MainTargetPID = ClampAtZero(CheckParameters(argc, argv, "/MTPID"));
    HIDCMDDelayMS = ClampAtZero(CheckParameters(argc, argv, "/HIDCMDDELAYMS"));

    ConnectHIDDevice(kHubUsagePage, kHubUsage);
    if (SensorCunt == 0) {
        ResultFlag = ResultNoHub;
    } else {
        RunReportMask = ReportMaskAll;
        for (std::uint8_t hub = 0; hub < SensorCunt; ++hub) HubSequence(hub);
    }

    Shutdown(argc, argv);
    return ResultFlag;
}

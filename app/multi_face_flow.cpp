#include "app/multi_face_flow.h"

#include <cstdio>

#include "app/result_row.h"
#include "common/clock.h"
#include "common/output.h"
#include "common/platform.h"
#include "common/state.h"
#include "hub/inventory.h"
#include "hub/transport.h"
#include "procedures/calibrate.h"

namespace {

// One side of the machine that is turned to the top, with its phase code.
struct Face {
    const char* prompt;  // console only
    const char* line;    // console and log; DoCalibration completes it
    std::uint8_t code;
};

struct Flow {
    std::uint8_t sensorId;
    const char* header;
    const Face* faces;
    std::size_t faceCount;
};

#define XOV_SIDE(side) "\r\nThe " side " side faces to the top, then press any key.", "\r\nCalibration " side ": "

// The ACC1 codes of Z- and Z+ are the reverse of the ACC2 codes.
constexpr Face kAcc2SixFaces[] = {
    {XOV_SIDE("Z-"), 0}, {XOV_SIDE("Y-"), 4}, {XOV_SIDE("X+"), 2},
    {XOV_SIDE("Y+"), 5}, {XOV_SIDE("X-"), 3}, {XOV_SIDE("Z+"), 1},
};
constexpr Face kAcc2TwoFaces[] = {{XOV_SIDE("Z-"), 0}, {XOV_SIDE("Z+"), 1}};
constexpr Face kAcc1TwoFaces[] = {{XOV_SIDE("Z-"), 1}, {XOV_SIDE("Z+"), 0}};

#undef XOV_SIDE

constexpr const char* kAcc2Header = "2ndAccelerometer Calibration : \r\n";
constexpr const char* kAcc1Header = "1ndAccelerometer Calibration : \r\n";

constexpr Flow kAcc2SixFaceFlow = {SensorIdAcc2, kAcc2Header, kAcc2SixFaces, 6};
constexpr Flow kAcc2TwoFaceFlow = {SensorIdAcc2, kAcc2Header, kAcc2TwoFaces, 2};
constexpr Flow kAcc1TwoFaceFlow = {SensorIdAcc1, kAcc1Header, kAcc1TwoFaces, 2};

// The flow that the selection names; null for none. The first match decides.
const Flow* ChosenFlow(std::uint8_t selection)
{
    if ((selection & 0x60) == 0x60) return &kAcc2SixFaceFlow;
    if ((selection & 0x20) != 0) return &kAcc2TwoFaceFlow;
    if ((selection & 0x02) != 0) return &kAcc1TwoFaceFlow;
    return nullptr;
}

// Before a face: the fixed delay, or the prompt and one key.
void WaitForFace(const Face& face)
{
    if (AccCaliDelay != 0) {
        // The command line keeps the delay within 0 and the seconds whose
        // milliseconds fit in 32 bits.
        SleepMs(static_cast<std::uint32_t>(AccCaliDelay) * 1000u);
        return;
    }
    PrintConsole("%s", face.prompt);
    std::fflush(ConsoleStream);
    ConsoleWaitKey();
}

void RunFlow(std::uint8_t hub, const Flow& flow)
{
    PrintBoth("%s", flow.header);
    AddResult(DoCalibration(hub, flow.sensorId, CaliPhaseBegin));
    for (std::size_t i = 0; i < flow.faceCount; ++i) {
        const Face& face = flow.faces[i];
        WaitForFace(face);
        PrintBoth("%s", face.line);
        // A failed face does not stop the flow; the returns add up.
        AddResult(DoCalibration(hub, flow.sensorId, face.code));
    }
    PrintBoth("\r\n\r\n");
    AddResult(DoCalibration(hub, flow.sensorId, CaliPhaseFinish));
}

}  // namespace

bool RunMultiFaceFlow(std::uint8_t hub)
{
    // Without the second accelerometer no flow runs, the ACC1 flow included.
    if (SensorList[SensorSlotAcc2] == SensorAbsent) return false;
    const Flow* flow = ChosenFlow(ISNeedACC6PhaseCali);
    if (flow == nullptr) return false;
    RunFlow(hub, *flow);
    return true;
}

#include "common/state.h"

namespace {

// Defaults of the settings that do not start at 0.
constexpr std::int32_t kDefaultGyroTimeOut = 60;
constexpr float kDefaultMaxGyroOffset = 6.0f;
constexpr std::int32_t kDefaultAccuracy = 3;
constexpr float kDefaultMaxAccBias = 0.15f;
constexpr float kDefaultMaxACCOffset = 0.1f;
constexpr std::uint8_t kReportMaskAll = 0xFF;

}  // namespace

HidHandle hFile[kHubSlots];
std::uint8_t SensorCunt;
int gArgc;
char** gArgv;
std::int32_t ResultFlag;
std::int32_t HIDCMDDelayMS;
std::int32_t DelayFlag;
std::int32_t MainTargetPID;
std::int32_t AccCaliDelay;
std::int32_t AccTestMode;
std::int32_t pTime;
std::int32_t GyroTimeOut = kDefaultGyroTimeOut;
float MaxGyroOffset = kDefaultMaxGyroOffset;
std::int32_t Accuracy = kDefaultAccuracy;
float MaxACC1Bias = kDefaultMaxAccBias;
float MaxACC2Bias = kDefaultMaxAccBias;
float MaxACCOffset = kDefaultMaxACCOffset;
std::int32_t gPSensorDistance;
std::int32_t gPSensorMode;
std::int32_t gPSensorCrossTalkUpperBound;
std::int32_t gPSensorCrossTalkLowerBound;
std::int32_t gPSensorTHDH1UpperBound;
std::int32_t gPSensorTHDH1LowerBound;
std::int32_t gPSensorTHDHYSUpperBound;
std::int32_t gPSensorTHDHYSLowerBound;
std::int32_t gPSensorTHDHYSValue;
std::int32_t gPSensorNewCrossTalkUpperBound;
std::int32_t gPSensorNewCrossTalkLowerBound;
std::uint8_t ISNeedACC6PhaseCali;
std::uint8_t SensorList[kSensorListSize];
std::uint8_t ColorSensorFlag;
std::uint32_t gEFlashAddr;
std::uint32_t gBufferAddr;
std::uint16_t gParamLength;
float ColorTransmittance[3];
std::uint8_t RunReportMask = kReportMaskAll;

void ResetProcessState()
{
    for (HidHandle& h : hFile) h = kNoHidHandle;
    SensorCunt = 0;
    gArgc = 0;
    gArgv = nullptr;
    ResultFlag = 0;
    HIDCMDDelayMS = 0;
    DelayFlag = 0;
    MainTargetPID = 0;
    AccCaliDelay = 0;
    AccTestMode = 0;
    pTime = 0;
    GyroTimeOut = kDefaultGyroTimeOut;
    MaxGyroOffset = kDefaultMaxGyroOffset;
    Accuracy = kDefaultAccuracy;
    MaxACC1Bias = kDefaultMaxAccBias;
    MaxACC2Bias = kDefaultMaxAccBias;
    MaxACCOffset = kDefaultMaxACCOffset;
    gPSensorDistance = gPSensorMode = 0;
    gPSensorCrossTalkUpperBound = gPSensorCrossTalkLowerBound = 0;
    gPSensorTHDH1UpperBound = gPSensorTHDH1LowerBound = 0;
    gPSensorTHDHYSUpperBound = gPSensorTHDHYSLowerBound = gPSensorTHDHYSValue = 0;
    gPSensorNewCrossTalkUpperBound = gPSensorNewCrossTalkLowerBound = 0;
    ISNeedACC6PhaseCali = 0;
    for (std::uint8_t& s : SensorList) s = 0;
    ColorSensorFlag = 0;
    gEFlashAddr = gBufferAddr = 0;
    gParamLength = 0;
    for (float& t : ColorTransmittance) t = 0.0f;
    RunReportMask = kReportMaskAll;
}

// Process-wide state shared by the front end, the hub link and the procedures.
// Each variable has one writer; see the comment beside it.
#pragma once

#include <cstdint>

// Opaque device handle of the OS layer; 0 is the empty slot.
using HidHandle = std::uintptr_t;
constexpr HidHandle kNoHidHandle = 0;

constexpr int kHubSlots = 16;

// Hub table and hub count (written by discovery).
extern HidHandle hFile[kHubSlots];
extern std::uint8_t SensorCunt;

// Argument vector of the run (written by the front end at start-up).
extern int gArgc;
extern char** gArgv;

// Result code of the run (written by the front end).
extern std::int32_t ResultFlag;

// Pacing (HIDCMDDelayMS at start-up, DelayFlag by the hub sequence).
extern std::int32_t HIDCMDDelayMS;
extern std::int32_t DelayFlag;

// Product-ID filter of discovery (start-up).
extern std::int32_t MainTargetPID;

// Settings that options fill, with their defaults.
extern std::int32_t AccCaliDelay;
extern std::int32_t AccTestMode;
extern std::int32_t pTime;
extern std::int32_t GyroTimeOut;
extern float MaxGyroOffset;
extern std::int32_t Accuracy;
extern float MaxACC1Bias;
extern float MaxACC2Bias;
extern float MaxACCOffset;
extern std::int32_t gPSensorDistance;
extern std::int32_t gPSensorMode;
extern std::int32_t gPSensorCrossTalkUpperBound;
extern std::int32_t gPSensorCrossTalkLowerBound;
extern std::int32_t gPSensorTHDH1UpperBound;
extern std::int32_t gPSensorTHDH1LowerBound;
extern std::int32_t gPSensorTHDHYSUpperBound;
extern std::int32_t gPSensorTHDHYSLowerBound;
extern std::int32_t gPSensorTHDHYSValue;
extern std::int32_t gPSensorNewCrossTalkUpperBound;
extern std::int32_t gPSensorNewCrossTalkLowerBound;
extern std::uint8_t ISNeedACC6PhaseCali;

// Sensor inventory (written by the hub link's inventory).
constexpr int kSensorListSize = 12;
extern std::uint8_t SensorList[kSensorListSize];
extern std::uint8_t ColorSensorFlag;

// Parameter-area addresses and length (written when the hub sequence starts).
extern std::uint32_t gEFlashAddr;
extern std::uint32_t gBufferAddr;
extern std::uint16_t gParamLength;

// Colour transmittances in percent (written by colour calibration).
extern float ColorTransmittance[3];

// The save step's report mask, kept from hub to hub (all lines, 0xFF, at
// the start of the run; written by the front end).
extern std::uint8_t RunReportMask;

// Puts every variable above back to its start-of-process value.
// The tool never calls it; tests that run several runs in one process do.
void ResetProcessState();
